// The interactive dialogue of a CliSiTef function: start, command loop,
// automatic answers, final-result evaluation and the operation wrappers.
#include <vector>

#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_informacao.h"
#include "tef/ruviriduza_resp_clisitef.h"

namespace tef {
namespace {

// "@" and "/n" in library messages are line breaks.
std::string Converter(const std::string& texto) {
  std::string s;
  for (char c : texto) {
    if (c == '@') s += "\r\n";
    else s += c;
  }
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, 2, "/n") == 0) {
      r += "\r\n";
      ++i;
    } else {
      r += s[i];
    }
  }
  return r;
}

std::string Digitos(const std::string& s) {
  std::string r;
  for (char c : TrimTef(s)) {
    if (c >= '0' && c <= '9') r += c;
  }
  return r;
}

// Digits of the trimmed text, cut or left-padded with "0" to width.
std::string DigitosLargura(const std::string& s, size_t largura) {
  std::string d = Digitos(s);
  if (d.size() > largura) return d.substr(0, largura);
  return std::string(largura - d.size(), '0') + d;
}

// A typed amount: either separator marks the decimals; anything else is 0.
std::string NormalizarValor(const std::string& digitado) {
  const std::optional<TCurrency> v = TCurrency::Parse(TrimTef(digitado));
  return (v ? *v : TCurrency()).FormatComma();
}

// Card data typed by the operator never reaches a log or a stored record:
// a card number keeps at most its first six and last four digits; expiry
// and security code are hidden whole.
bool CampoSensivel(int tipoCampo) {
  return tipoCampo == clisitef::kCampoNumeroCartao || tipoCampo == clisitef::kCampoDataVencimento ||
         tipoCampo == clisitef::kCampoCodigoSeguranca;
}

std::string Mascarar(int tipoCampo, const std::string& valor) {
  if (valor.empty()) return valor;
  if (tipoCampo == clisitef::kCampoNumeroCartao) {
    if (valor.size() <= 10) return std::string(valor.size(), '*');
    return valor.substr(0, 6) + std::string(valor.size() - 10, '*') +
           valor.substr(valor.size() - 4);
  }
  return "****";
}

int ParaInteiro(const std::string& s) {
  const std::string t = TrimTef(s);
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool ok = i < t.size() && t.size() - i <= 9;
  for (size_t k = i; ok && k < t.size(); ++k) ok = t[k] >= '0' && t[k] <= '9';
  if (!ok) throw ERuVirIdUzaErro("'" + s + "' não é um valor inteiro válido");
  return std::stoi(t);
}

}  // namespace

// ---------------------------------------------------------------- start

int TRuVirIdUzaCliSiTef::IniciarFuncao(int Modalidade, const std::string& Cabecalho,
                                       TCurrency Valor, const std::string& RestricoesFuncao) {
  if (AguardandoResposta()) throw ERuVirIdUzaErro("Requisição anterior não concluida");
  ExigirDLL();
  const auto inicia = Entrada(fFuncoes.IniciaFuncaoSiTefInterativo);
  fIniciouRequisicao = true;
  // What the previous function was (a reprint, a return) says nothing about
  // this one, even when it ends at its start without a dialogue.
  fReimpressao = false;
  fCancelamento = false;
  fDevolucao = false;
  const platform::TDateTime agora = Env().Now();
  const std::string data = platform::FormatDateTime("yyyymmdd", agora);
  const std::string hora = platform::FormatDateTime("hhnnss", agora);
  const std::string valor = Valor.FormatComma();
  Resp().Clear();
  const int documento = platform::SecondsOfDay(agora);
  SetIDSeq(documento);
  const std::string doc = std::to_string(documento);
  using namespace clisitef;
  TRuVirIdUzaArquivo& c = Resp().Conteudo();
  c.GravaInformacao(kCampoControle, kControleHeader, platform::Utf8ToAnsi(Cabecalho).bytes());
  c.GravaInformacao(kCampoControle, kControleDocumento, doc);
  c.GravaInformacao(kCampoControle, kControleDocumentoVinculado, doc);
  c.GravaInformacao(kCampoControle, kControleValorCentavos,
                    std::to_string(Valor.ToCents(TArredondamento::MeioParaCima)));
  // The library finishes a transaction by the date and time of its start:
  // kept with the response, and so in its backup file for a recovery.
  c.GravaInformacao(kCampoControle, kControleDataInicio, data);
  c.GravaInformacao(kCampoControle, kControleHoraInicio, hora);
  Resp().SetTipoGP(gpCliSiTef);
  if (OnAntesIniciarFuncao) {
    try {
      OnAntesIniciarFuncao(Modalidade, doc, data, hora);
    } catch (...) {
      fIniciouRequisicao = false;
      throw;
    }
  }
  GravaLog("*** IniciaFuncaoSiTefInterativo. Modalidade: " + std::to_string(Modalidade) +
           " Valor: " + valor + " Documento: " + doc + " Data: " + data + " Hora: " + hora +
           " Operador: " + fOperador + " Restricoes: " + RestricoesFuncao);
  const auto ansi = [](const std::string& s) { return platform::Utf8ToAnsi(s); };
  return inicia(Modalidade, valor.c_str(), doc.c_str(), data.c_str(), hora.c_str(),
                ansi(fOperador).c_str(), ansi(RestricoesFuncao).c_str());
}

// ---------------------------------------------------------------- loop

// One run of the command loop: what the library asked last, the answer being
// built for it and the messages on show. The handlers below each perform one
// command; they share this state and nothing else.
class TRuVirIdUzaCliSiTef::Dialogo {
 public:
  Dialogo(TRuVirIdUzaCliSiTef& m, const std::string& numeroCartao,
          const std::string& dataVencimento, const std::string& cvv, std::string qtdParcela)
      : m_(m),
        comp_(m.Owner()),
        resp_(static_cast<TRuVirIdUzaRespCliSiTef&>(m.Resp())),
        numeroCartao_(numeroCartao),
        dataVencimento_(dataVencimento),
        cvv_(cvv),
        qtdParcela_(std::move(qtdParcela)) {}

  int Executar(bool capturar);

 private:
  // The library's last call: returns its result and reads its text.
  int Chamar();
  void ExecutarComando();
  void GravarCampo();
  void ResponderMenu();
  std::string MenuAutomatico() const;
  void AguardarTecla();
  void ObterCampo();
  void ObterCampoComum();
  void ObterCheque();
  void ObterValor();
  void Fechar();

  void RemoverMensagens() {
    msgOperador_.clear();
    msgCliente_.clear();
    comp_.DoExibeMsg(opmRemoverMsgOperador, "");
    comp_.DoExibeMsg(opmRemoverMsgCliente, "");
  }
  void ExibirAmbas(const std::string& texto) {
    msgOperador_ = msgCliente_ = texto;
    comp_.DoExibeMsg(opmExibirMsgOperador, texto);
    comp_.DoExibeMsg(opmExibirMsgCliente, texto);
  }
  void PerguntarCampo(int tipo, TRuVirIdUzaCliSiTefOperacaoCampo operacao) {
    if (comp_.OnObtemCampo) {
      comp_.OnObtemCampo(texto_, minimo_, maximo_, tipo, operacao, resposta_, digitado_,
                         voltarMenu_);
    }
  }
  void Gravar(const std::string& valor) {
    resp_.GravaInformacao(tipoCampo_, platform::Utf8ToAnsi(valor));
  }
  static void SeVazio(std::string& campo, const std::string& valor) {
    if (campo.empty()) campo = valor;
  }

  TRuVirIdUzaCliSiTef& m_;
  decltype(TCliSiTefFuncoes::ContinuaFuncaoSiTefInterativo) continuaFuncao_ = nullptr;
  TRuVirIdUza& comp_;
  TRuVirIdUzaRespCliSiTef& resp_;
  const std::string& numeroCartao_;
  const std::string& dataVencimento_;
  const std::string& cvv_;
  std::string qtdParcela_;  // a count typed once holds for the rest of the run

  std::vector<char> buffer_ = std::vector<char>(clisitef::kTamanhoBuffer, '\0');
  int continua_ = clisitef::kContinuaSeguir;
  std::string resposta_;  // UTF-8; Windows-1252 in the buffer
  bool digitado_ = true;
  bool voltarMenu_ = false;
  std::string titulo_, msgOperador_, msgCliente_;
  std::string finalAnsi_;    // the library's text of the final call
  int campoRespondido_ = 0;  // field type of the command the answer is for

  // What the library asked in its last call.
  int comando_ = 0;
  int tipoCampo_ = 0;
  short minimo_ = 0;
  short maximo_ = 0;
  std::string textoAnsi_;  // raw, trailing blanks removed
  std::string texto_;      // the same in UTF-8
};

int TRuVirIdUzaCliSiTef::ContinuarFuncao(bool Capturar, const std::string& NumeroCartao,
                                         const std::string& DataVencimento, const std::string& CVV,
                                         std::string QtdParcela) {
  Dialogo dialogo(*this, NumeroCartao, DataVencimento, CVV, std::move(QtdParcela));
  return dialogo.Executar(Capturar);
}

int TRuVirIdUzaCliSiTef::Dialogo::Executar(bool capturar) {
  continuaFuncao_ = m_.Entrada(m_.fFuncoes.ContinuaFuncaoSiTefInterativo);
  m_.fIniciouRequisicao = true;
  m_.fReimpressao = false;
  m_.fCancelamento = false;
  m_.fDevolucao = false;
  comp_.LimparDadosDialogo();
  m_.SetAguardandoResposta(true);
  int sts = 0;
  try {
    do {
      sts = Chamar();
      if (sts != clisitef::kContinuar) {
        finalAnsi_ = std::string(buffer_.data());
        m_.GravaLog("*** ContinuaFuncaoSiTefInterativo, Finalizando: STS = " +
                    std::to_string(sts));
      } else {
        if (tipoCampo_ > 0) resposta_ = m_.ValorResposta(tipoCampo_);
        ExecutarComando();
      }

      if (voltarMenu_) continua_ = clisitef::kContinuaVoltar;
      else if (!digitado_) continua_ = clisitef::kContinuaInterromper;
      if ((voltarMenu_ && sts == clisitef::kContinuar) || !digitado_) RemoverMensagens();

      const std::string ansi = platform::Utf8ToAnsi(resposta_).bytes();
      const size_t n = std::min(ansi.size(), buffer_.size() - 1);
      std::copy_n(ansi.data(), n, buffer_.data());
      buffer_[n] = '\0';
    } while (sts == clisitef::kContinuar);

    // Taken before the answer overwrote the buffer: the captured track is
    // what the library returned with the final result.
    if (capturar && sts == clisitef::kOk) {
      comp_.fLeituraCartao += platform::AnsiToUtf8(finalAnsi_.substr(0, 10));
      RemoverMensagens();
    }
  } catch (...) {
    try {
      Fechar();
    } catch (...) {
      // The handler's failure is the one the caller needs to see.
    }
    throw;
  }
  Fechar();
  return sts;
}

int TRuVirIdUzaCliSiTef::Dialogo::Chamar() {
  m_.GravaLog("ContinuaFuncaoSiTefInterativo, Chamando: Continua = " + std::to_string(continua_) +
              " Buffer = " +
              (CampoSensivel(campoRespondido_) ? Mascarar(campoRespondido_, resposta_)
                                               : resposta_));
  comando_ = tipoCampo_ = 0;
  minimo_ = maximo_ = 0;
  const int sts = continuaFuncao_(&comando_, &tipoCampo_, &minimo_, &maximo_, buffer_.data(),
                                 clisitef::kTamanhoBuffer, continua_);
  campoRespondido_ = 0;
  buffer_.back() = '\0';  // never trust the library to terminate
  continua_ = clisitef::kContinuaSeguir;
  // The library pads with blanks and control characters.
  textoAnsi_ = platform::TrimControleDireita(buffer_.data());
  texto_ = platform::AnsiToUtf8(textoAnsi_);
  resposta_.clear();
  voltarMenu_ = false;
  digitado_ = true;
  m_.GravaLog("ContinuaFuncaoSiTefInterativo, Retornos: STS = " + std::to_string(sts) +
              " ProximoComando = " + std::to_string(comando_) + " TipoCampo = " +
              std::to_string(tipoCampo_) + " Buffer = " + texto_ + " Tam.Min = " +
              std::to_string(minimo_) + " Tam.Max = " + std::to_string(maximo_));
  return sts;
}

// Log, mapping and the end of the dialogue, also when a handler raised.
void TRuVirIdUzaCliSiTef::Dialogo::Fechar() {
  m_.GravaLog(resp_.Conteudo().Texto());
  resp_.ConteudoToProperty();
  m_.SetAguardandoResposta(false);
}

void TRuVirIdUzaCliSiTef::Dialogo::ExecutarComando() {
  using namespace clisitef;
  switch (comando_) {
    case kCmdGravarCampo: GravarCampo(); break;
    case kCmdMsgOperador:
      msgOperador_ = Converter(texto_);
      comp_.DoExibeMsg(opmExibirMsgOperador, msgOperador_);
      break;
    case kCmdMsgCliente:
      msgCliente_ = Converter(texto_);
      comp_.DoExibeMsg(opmExibirMsgCliente, msgCliente_);
      break;
    case kCmdMsgAmbos: ExibirAmbas(Converter(texto_)); break;
    case kCmdTitulo: titulo_ = texto_; break;
    case kCmdRemoverMsgOperador:
      msgOperador_.clear();
      comp_.DoExibeMsg(opmRemoverMsgOperador, "");
      break;
    case kCmdRemoverMsgCliente:
      msgCliente_.clear();
      comp_.DoExibeMsg(opmRemoverMsgCliente, "");
      break;
    case kCmdRemoverMsgAmbos: RemoverMensagens(); break;
    case kCmdRemoverTitulo: titulo_.clear(); break;
    case kCmdSimNao: {
      const TModalResult r = comp_.DoExibeMsg(opmYesNo, texto_.empty() ? "CONFIRMA ?" : texto_);
      resposta_ = r == mrYes ? "0" : "1";
      break;
    }
    case kCmdMenu: ResponderMenu(); break;
    case kCmdAguardaTecla: AguardarTecla(); break;
    case kCmdVerificaInterrupcao: {
      bool interromper = false;
      if (comp_.OnAguardaResp) comp_.OnAguardaResp("23", 0, interromper);
      if (interromper) digitado_ = false;
      break;
    }
    case kCmdObterCampo: ObterCampo(); break;
    case kCmdObterCheque: ObterCheque(); break;
    case kCmdObterValor: ObterValor(); break;
    case kCmdObterCodigoBarras: PerguntarCampo(tipoCampo_, tcBarCode); break;
    case kCmdExibirQRCode:
      if (tipoCampo_ == kCampoQRCode && comp_.OnExibeQRCode) comp_.OnExibeQRCode(texto_);
      break;
    case kCmdMsgQRCode:
      if (tipoCampo_ == kCampoMsgQRCode) comp_.DoExibeMsg(opmQRCode, Converter(texto_));
      else ExibirAmbas(Converter(texto_));
      break;
    default: break;
  }
}

// A result field: into the record, and some also into the component.
void TRuVirIdUzaCliSiTef::Dialogo::GravarCampo() {
  using namespace clisitef;
  resp_.GravaInformacao(tipoCampo_, platform::AnsiString::FromBytes(textoAnsi_));
  switch (tipoCampo_) {
    case kCampoIndicador15:
    case kCampoIndicador25:
      resp_.GravaInformacao(tipoCampo_, platform::AnsiString::FromBytes("True"));
      break;
    case kCampoReimpressao56:
    case kCampoReimpressao57:
    case kCampoReimpressao58: m_.fReimpressao = true; break;
    case kCampoIdCarteiraDigital: SeVazio(comp_.fIdDaCarteiraDigital, texto_); break;
    case kCampoNomeCarteiraDigital: SeVazio(comp_.fNomeCarteiraDigital, texto_); break;
    case kCampoBandeiraCarteiraDigital: SeVazio(comp_.fBandeiraCarteiraDigital, texto_); break;
    case kCampoValorAprovadoCarteiraDigital:
      SeVazio(comp_.fValorAprovadoCarteiraDigital, texto_);
      break;
    case kCampoDevolucao: m_.fDevolucao = true; break;
    case kCampoInstituicao: SeVazio(comp_.fCodigoRede, texto_); break;
    case kCampoBandeira: SeVazio(comp_.fCodigoBandeira, texto_); break;
    case kCampoNSU: SeVazio(comp_.fCodigoNsu, texto_); break;
    case kCampoNSUHost: SeVazio(comp_.fCodigoNSUHost, texto_); break;
    case kCampoCodigoAutorizacao: SeVazio(comp_.fCodigoAutorizacao, texto_); break;
    case kCampoSenha:
      if (comp_.OnObterSenha) comp_.OnObterSenha(texto_, voltarMenu_);
      break;
    case kCampoDocumentoPessoa: SeVazio(comp_.fCPFCliente, texto_); break;
    case kCampoCNPJCliente: SeVazio(comp_.FCNPJCliente, texto_); break;
    case kCampoTelefoneCliente: SeVazio(comp_.fTelefoneCliente, texto_); break;
    case kCampoMsgOperador: comp_.DoExibeMsg(opmExibirMsgOperador, Converter(texto_)); break;
    case kCampoCodigoHASH: SeVazio(m_.fCodigoHASH, texto_); break;
    default: break;
  }
}

// Menus the manager answers itself, compared on the raw text; empty when
// the operator has to choose.
std::string TRuVirIdUzaCliSiTef::Dialogo::MenuAutomatico() const {
  const std::string& t = textoAnsi_;
  const bool cartao = t == "1:Magnetico/Chip;2:Digitado;";
  const bool aVista = t.compare(0, 9, "1:A Vista") == 0;
  if (m_.fTelevenda) {
    if (cartao) return "2";
    if (platform::IgualSemCaixa(t, "1:Cancelamento de Cartao de Debito;2:Cancelamento de "
                         "Cartao de Credito;")) {
      return "2";
    }
  } else if (m_.fOperacaoCRT == 2) {
    if (cartao || t.compare(0, 15, "1:VISA ELECTRON") == 0 || aVista) return "1";
  } else if (m_.fOperacaoCRT == 3) {
    if (cartao) return "1";
    if (aVista) return qtdParcela_ == "01" ? "1" : "2";
  }
  return "";
}

void TRuVirIdUzaCliSiTef::Dialogo::ResponderMenu() {
  const std::string automatica = MenuAutomatico();
  if (!automatica.empty()) {
    resposta_ = automatica;
    return;
  }
  const TStringList opcoes = platform::Dividir(texto_, ';');
  if (!comp_.OnExibeMenu) {
    // Without a handler only a pre-answer can choose.
    if (resposta_.empty()) digitado_ = false;
    return;
  }
  int indice = -1;
  comp_.OnExibeMenu(titulo_, opcoes, indice, voltarMenu_);
  if (voltarMenu_) return;
  if (indice < 0 || indice >= static_cast<int>(opcoes.size())) {
    digitado_ = false;
  } else {
    const std::string& op = opcoes[static_cast<size_t>(indice)];
    resposta_ = op.substr(0, op.find(':'));
  }
}

// Shown, then always answered "back", so both messages go.
void TRuVirIdUzaCliSiTef::Dialogo::AguardarTecla() {
  const std::string t = texto_.empty() ? "PRESSIONE <ENTER>" : texto_;
  const std::string aparado = TrimTef(t);
  if (aparado == "Unauthorized") {
    comp_.DoExibeMsg(opmExcept, t);
  } else if (aparado == "Transacao ja efetuada") {
    comp_.DoExibeMsg(opmOK,
                     "Transação já efetuada no sitef\r\nImprima o ultimo comprovante de "
                     "pagamento e informe o pagamento manual.");
  }
  voltarMenu_ = true;
}

void TRuVirIdUzaCliSiTef::Dialogo::ObterCampo() {
  using namespace clisitef;
  const int tipo = tipoCampo_;
  if (tipo == kCampoTipoPessoa || tipo == kCampoDocumentoPessoa || tipo == kCampoDataPreDatado) {
    resposta_ = m_.ValorResposta(tipo);
  } else if (tipo == kCampoCodigoSeguranca) {
    if (!cvv_.empty()) resposta_ = cvv_;
    else PerguntarCampo(kCampoCodigoSeguranca, tcSeguranca);
  } else if (tipo == kCampoSenha) {
    if (comp_.OnObterSenha) comp_.OnObterSenha(texto_, voltarMenu_);
  } else if (m_.fCancelandoTransacaoTEF &&
             (tipo == kCampoDataTransacaoCancelada || tipo == kCampoNSUTransacaoCancelada ||
              tipo == kCampoValor)) {
    // A cancellation answers from what it cancels.
    if (tipo == kCampoDataTransacaoCancelada) {
      resposta_ = platform::FormatDateTime("ddmmyyyy", m_.fCancelandoTransacaoDATA);
    } else if (tipo == kCampoNSUTransacaoCancelada) {
      resposta_ = m_.fCancelandoTransacaoNSU;
    } else {
      resposta_ = m_.fCancelandoTransacaoVALOR.FormatComma();
    }
    Gravar(resposta_);
  } else {
    ObterCampoComum();
  }
  campoRespondido_ = tipo;
}

// Card data given by the operation, the installments, or the operator.
void TRuVirIdUzaCliSiTef::Dialogo::ObterCampoComum() {
  using namespace clisitef;
  const int tipo = tipoCampo_;
  if (tipo == kCampoNumeroCartao && !numeroCartao_.empty()) {
    resposta_ = numeroCartao_;
  } else if (tipo == kCampoDataVencimento && !dataVencimento_.empty()) {
    resposta_ = dataVencimento_;
  } else if (tipo == kCampoQtdParcelas && qtdParcela_ != "01" && !qtdParcela_.empty()) {
    if (ParaInteiro(qtdParcela_) > 0) {
      resposta_ = qtdParcela_;
    } else {
      PerguntarCampo(kCampoQtdParcelas, tcString);
      if (digitado_) qtdParcela_ = resposta_;
    }
  } else if (numeroCartao_.empty() && dataVencimento_.empty()) {
    PerguntarCampo(tipo, tcString);
  }
  Gravar(CampoSensivel(tipo) ? Mascarar(tipo, resposta_) : resposta_);
}

void TRuVirIdUzaCliSiTef::Dialogo::ObterCheque() {
  if (tipoCampo_ != clisitef::kCampoCheque) {
    PerguntarCampo(tipoCampo_, tcCMC7);
    return;
  }
  const std::string pre = TrimTef(m_.ValorResposta(clisitef::kCampoCheque));
  if (!pre.empty()) {
    resposta_ = pre;
  } else if (comp_.OnObtemCheque) {
    comp_.OnObtemCheque(texto_, clisitef::kCampoCheque, tcString, resposta_, digitado_,
                        voltarMenu_);
  }
}

void TRuVirIdUzaCliSiTef::Dialogo::ObterValor() {
  if (tipoCampo_ == clisitef::kCampoValor && m_.fCancelandoTransacaoTEF) {
    resposta_ = m_.fCancelandoTransacaoVALOR.FormatComma();
    Gravar(resposta_);
  } else if (texto_ == "Forneca a taxa de embarque" || texto_ == "Forneca a taxa de servico") {
    const bool perguntar = texto_ == "Forneca a taxa de embarque"
                               ? comp_.FornecerTaxaDeEmbarque()
                               : comp_.FornecerTaxaDeServico();
    if (perguntar) {
      PerguntarCampo(tipoCampo_, tcCurrency);
      resposta_ = NormalizarValor(resposta_);
    } else {
      resposta_ = TCurrency().FormatComma();
    }
  } else if (texto_ == "VISA ELECTRON\nSAQUE") {
    resposta_ = TCurrency().FormatComma();
  } else {
    PerguntarCampo(tipoCampo_, tcCurrency);
    resposta_ = NormalizarValor(resposta_);
  }
}

// ---------------------------------------------------------------- results

void TRuVirIdUzaCliSiTef::AvaliaErro(int STS) {
  std::string msg;
  using namespace clisitef;
  switch (STS) {
    case kCanceladaPeloUsuario: msg = "Operação cancelada pelo usuário"; break;
    case kSemConexaoSiTef:
      msg = "Não foi possivel realizar a conexão com o servidor SiTef\r\nPor favor tente mais "
            "tarde...";
      break;
    case kFaltaDeMemoria: msg = "Falta de memória para rodar a função"; break;
    case kModalidadeInvalida: msg = "Fornecida uma modalidade inválida"; break;
    case kCanceladaPeloOperador: msg = "Operação cancelada pelo operador"; break;
    case kModuloNaoInicializado: msg = "Módulo não inicializado"; break;
    default:
      msg = STS < 0 ? "Operadora do cartão de crédito off-line (" + std::to_string(STS) + ")"
                    : "Negada pelo autorizador (" + std::to_string(STS) + ")";
      break;
  }
  GravaLog("AvaliaErro: STS " + std::to_string(STS));
  Owner().DoExibeMsg(opmExcept, msg);
}

int TRuVirIdUzaCliSiTef::ExecutarFuncao(int Modalidade, const std::string& Cabecalho,
                                        TCurrency Valor, const std::string& RestricoesFuncao,
                                        const std::string& NumeroCartao,
                                        const std::string& DataVencimento, const std::string& CVV,
                                        const std::string& QtdParcela) {
  int sts = IniciarFuncao(Modalidade, Cabecalho, Valor, RestricoesFuncao);
  if (sts == clisitef::kContinuar) {
    sts = ContinuarFuncao(false, NumeroCartao, DataVencimento, CVV, QtdParcela);
  } else {
    // Ended at its start: the response still needs its properties (the
    // document the library is told when the transaction is finished).
    Resp().ConteudoToProperty();
  }
  return sts;
}

// ---------------------------------------------------------------- operations

void TRuVirIdUzaCliSiTef::ATV() {
  const int sts = ExecutarFuncao(fOperacaoATV, "ATV", TCurrency(), "", "0", "", "", "");
  if (sts == clisitef::kOk) ProcessarResposta();
  else AvaliaErro(sts);
}

bool TRuVirIdUzaCliSiTef::ADM() {
  const int sts = ExecutarFuncao(fOperacaoADM, "ADM", TCurrency(), fRestricoes, "0", "", "", "");
  if (sts == clisitef::kOk) ProcessarResposta();
  else AvaliaErro(sts);
  return sts == clisitef::kOk;
}

bool TRuVirIdUzaCliSiTef::CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
                              const std::string& NumeroCartao, const std::string& DataVencimento,
                              const std::string& CVV, const std::string& QtdParcela,
                              const std::string& /*DocumentoVinculado*/, int /*Moeda*/) {
  ValidarValor(Valor);
  if (fOperacaoCRT == 201) {
    DefinirResposta(clisitef::kCampoValor, Valor.FormatComma());
    DefinirResposta(clisitef::kCampoValorConfirmado, Valor.FormatComma());
  }
  const int sts = ExecutarFuncao(fOperacaoCRT, "CRT", Valor, fRestricoes.empty() ? "[10];" : fRestricoes,
                                 NumeroCartao, DataVencimento, CVV, QtdParcela);
  const bool ok = sts == clisitef::kOk;
  GravaLog(std::string("CRT -> Result: ") + (ok ? "-1" : "0"));
  if (ok) ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else AvaliaErro(sts);
  return ok;
}

bool TRuVirIdUzaCliSiTef::CHQ(TCurrency Valor, const std::string& IndiceFPG_ECF,
                              const std::string& /*DocumentoVinculado*/,
                              const TRuVirIdUzaCheque& Cheque) {
  ValidarValor(Valor);
  using namespace clisitef;
  const TRuVirIdUzaCheque& c = Cheque;
  DefinirResposta(kCampoTipoPessoa, c.TipoPessoa == 'J' ? "1" : "0");
  if (!TrimTef(c.DocumentoPessoa).empty()) {
    DefinirResposta(kCampoDocumentoPessoa, Digitos(c.DocumentoPessoa));
  }
  if (!c.DataCheque.IsZero()) {
    DefinirResposta(kCampoDataPreDatado, platform::FormatDateTime("ddmmyyyy", c.DataCheque));
  }
  if (!c.CMC7.empty()) {
    DefinirResposta(kCampoCheque, "1:" + c.CMC7);
  } else {
    DefinirResposta(kCampoCheque, "0:" + DigitosLargura(c.Compensacao, 3) +
                                      DigitosLargura(c.Banco, 3) + DigitosLargura(c.Agencia, 4) +
                                      DigitosLargura(c.AgenciaDC, 1) + DigitosLargura(c.Conta, 10) +
                                      DigitosLargura(c.ContaDC, 1) + DigitosLargura(c.Cheque, 6) +
                                      DigitosLargura(c.ChequeDC, 1));
  }
  const int sts = ExecutarFuncao(fOperacaoCHQ, "CHQ", Valor,
                                 fRestricoes.empty() ? "[15;25]" : fRestricoes, "0", "", "", "");
  if (sts == clisitef::kOk) ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else AvaliaErro(sts);
  return sts == clisitef::kOk;
}

bool TRuVirIdUzaCliSiTef::CNC(const std::string& /*Rede*/, const std::string& NSU,
                              const platform::TDateTime& DataHoraTransacao, TCurrency Valor) {
  using namespace clisitef;
  DefinirResposta(kCampoValor, Valor.FormatComma());
  DefinirResposta(kCampoValorConfirmado, Valor.FormatComma());
  DefinirResposta(kCampoDataTransacaoCancelada,
                  platform::FormatDateTime("ddmmyyyy", DataHoraTransacao));
  DefinirResposta(kCampoNSUTransacaoCancelada, NSU);
  const int sts = ExecutarFuncao(fOperacaoCNC, "CNC", TCurrency(), "", "0", "", "", "");
  if (sts == clisitef::kOk) ProcessarResposta();
  else AvaliaErro(sts);
  return sts == clisitef::kOk;
}

}  // namespace tef
