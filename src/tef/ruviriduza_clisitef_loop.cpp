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
    if (c == '@')
      s += "\r\n";
    else
      s += c;
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
  const auto inicia = Entrada(FFuncoes.IniciaFuncaoSiTefInterativo);
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
           " Operador: " + FOperador + " Restricoes: " + RestricoesFuncao);
  const auto ansi = [](const std::string& s) { return platform::Utf8ToAnsi(s); };
  return inicia(Modalidade, valor.c_str(), doc.c_str(), data.c_str(), hora.c_str(),
                ansi(FOperador).c_str(), ansi(RestricoesFuncao).c_str());
}

// ---------------------------------------------------------------- loop

// One run of the command loop: what the library asked last, the answer being
// built for it and the messages on show. The handlers below each perform one
// command; they share this state and nothing else.
class TRuVirIdUzaCliSiTef::Dialogo {
 public:
  Dialogo(TRuVirIdUzaCliSiTef& m, const std::string& numeroCartao,
          const std::string& dataVencimento, const std::string& cvv, std::string qtdParcela)
      : FCliSiTef(m),
        FComponente(m.Owner()),
        FResp(static_cast<TRuVirIdUzaRespCliSiTef&>(m.Resp())),
        FNumeroCartao(numeroCartao),
        FDataVencimento(dataVencimento),
        FCvv(cvv),
        FQtdParcela(std::move(qtdParcela)) {}

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
    FMsgOperador.clear();
    FMsgCliente.clear();
    FComponente.DoExibeMsg(opmRemoverMsgOperador, "");
    FComponente.DoExibeMsg(opmRemoverMsgCliente, "");
  }
  void ExibirAmbas(const std::string& texto) {
    FMsgOperador = FMsgCliente = texto;
    FComponente.DoExibeMsg(opmExibirMsgOperador, texto);
    FComponente.DoExibeMsg(opmExibirMsgCliente, texto);
  }
  void PerguntarCampo(int tipo, TRuVirIdUzaCliSiTefOperacaoCampo operacao) {
    if (FComponente.OnObtemCampo) {
      FComponente.OnObtemCampo(FTexto, FMinimo, FMaximo, tipo, operacao, FResposta, FDigitado,
                               FVoltarMenu);
    }
  }
  void Gravar(const std::string& valor) {
    FResp.GravaInformacao(FTipoCampo, platform::Utf8ToAnsi(valor));
  }
  static void SeVazio(std::string& campo, const std::string& valor) {
    if (campo.empty()) campo = valor;
  }

  TRuVirIdUzaCliSiTef& FCliSiTef;
  decltype(TCliSiTefFuncoes::ContinuaFuncaoSiTefInterativo) FContinuaFuncao = nullptr;
  TRuVirIdUza& FComponente;
  TRuVirIdUzaRespCliSiTef& FResp;
  const std::string& FNumeroCartao;
  const std::string& FDataVencimento;
  const std::string& FCvv;
  std::string FQtdParcela;  // a count typed once holds for the rest of the run

  std::vector<char> FBuffer = std::vector<char>(clisitef::kTamanhoBuffer, '\0');
  int FContinua = clisitef::kContinuaSeguir;
  std::string FResposta;  // UTF-8; Windows-1252 in the buffer
  bool FDigitado = true;
  bool FVoltarMenu = false;
  std::string FTitulo, FMsgOperador, FMsgCliente;
  std::string FFinalAnsi;    // the library's text of the final call
  int FCampoRespondido = 0;  // field type of the command the answer is for

  // What the library asked in its last call.
  int FComando = 0;
  int FTipoCampo = 0;
  short FMinimo = 0;
  short FMaximo = 0;
  std::string FTextoAnsi;  // raw, trailing blanks removed
  std::string FTexto;      // the same in UTF-8
};

int TRuVirIdUzaCliSiTef::ContinuarFuncao(bool Capturar, const std::string& NumeroCartao,
                                         const std::string& DataVencimento, const std::string& CVV,
                                         std::string QtdParcela) {
  Dialogo dialogo(*this, NumeroCartao, DataVencimento, CVV, std::move(QtdParcela));
  return dialogo.Executar(Capturar);
}

int TRuVirIdUzaCliSiTef::Dialogo::Executar(bool capturar) {
  FContinuaFuncao = FCliSiTef.Entrada(FCliSiTef.FFuncoes.ContinuaFuncaoSiTefInterativo);
  FCliSiTef.fIniciouRequisicao = true;
  FCliSiTef.fReimpressao = false;
  FCliSiTef.fCancelamento = false;
  FCliSiTef.fDevolucao = false;
  FComponente.LimparDadosDialogo();
  FCliSiTef.SetAguardandoResposta(true);
  int sts = 0;
  try {
    do {
      sts = Chamar();
      if (sts != clisitef::kContinuar) {
        FFinalAnsi = std::string(FBuffer.data());
        FCliSiTef.GravaLog("*** ContinuaFuncaoSiTefInterativo, Finalizando: STS = " +
                           std::to_string(sts));
      } else {
        if (FTipoCampo > 0) FResposta = FCliSiTef.ValorResposta(FTipoCampo);
        ExecutarComando();
      }

      if (FVoltarMenu)
        FContinua = clisitef::kContinuaVoltar;
      else if (!FDigitado)
        FContinua = clisitef::kContinuaInterromper;
      if ((FVoltarMenu && sts == clisitef::kContinuar) || !FDigitado) RemoverMensagens();

      const std::string ansi = platform::Utf8ToAnsi(FResposta).bytes();
      const size_t n = std::min(ansi.size(), FBuffer.size() - 1);
      std::copy_n(ansi.data(), n, FBuffer.data());
      FBuffer[n] = '\0';
    } while (sts == clisitef::kContinuar);

    // Taken before the answer overwrote the buffer: the captured track is
    // what the library returned with the final result.
    if (capturar && sts == clisitef::kOk) {
      FComponente.FLeituraCartao += platform::AnsiToUtf8(FFinalAnsi.substr(0, 10));
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
  FCliSiTef.GravaLog(
      "ContinuaFuncaoSiTefInterativo, Chamando: Continua = " + std::to_string(FContinua) +
      " Buffer = " +
      (CampoSensivel(FCampoRespondido) ? Mascarar(FCampoRespondido, FResposta) : FResposta));
  FComando = FTipoCampo = 0;
  FMinimo = FMaximo = 0;
  const int sts = FContinuaFuncao(&FComando, &FTipoCampo, &FMinimo, &FMaximo, FBuffer.data(),
                                  clisitef::kTamanhoBuffer, FContinua);
  FCampoRespondido = 0;
  FBuffer.back() = '\0';  // never trust the library to terminate
  FContinua = clisitef::kContinuaSeguir;
  // The library pads with blanks and control characters.
  FTextoAnsi = platform::TrimControleDireita(FBuffer.data());
  FTexto = platform::AnsiToUtf8(FTextoAnsi);
  FResposta.clear();
  FVoltarMenu = false;
  FDigitado = true;
  FCliSiTef.GravaLog("ContinuaFuncaoSiTefInterativo, Retornos: STS = " + std::to_string(sts) +
                     " ProximoComando = " + std::to_string(FComando) +
                     " TipoCampo = " + std::to_string(FTipoCampo) + " Buffer = " + FTexto +
                     " Tam.Min = " + std::to_string(FMinimo) +
                     " Tam.Max = " + std::to_string(FMaximo));
  return sts;
}

// Log, mapping and the end of the dialogue, also when a handler raised.
void TRuVirIdUzaCliSiTef::Dialogo::Fechar() {
  FCliSiTef.GravaLog(FResp.Conteudo().Texto());
  FResp.ConteudoToProperty();
  FCliSiTef.SetAguardandoResposta(false);
}

void TRuVirIdUzaCliSiTef::Dialogo::ExecutarComando() {
  using namespace clisitef;
  switch (FComando) {
    case kCmdGravarCampo:
      GravarCampo();
      break;
    case kCmdMsgOperador:
      FMsgOperador = Converter(FTexto);
      FComponente.DoExibeMsg(opmExibirMsgOperador, FMsgOperador);
      break;
    case kCmdMsgCliente:
      FMsgCliente = Converter(FTexto);
      FComponente.DoExibeMsg(opmExibirMsgCliente, FMsgCliente);
      break;
    case kCmdMsgAmbos:
      ExibirAmbas(Converter(FTexto));
      break;
    case kCmdTitulo:
      FTitulo = FTexto;
      break;
    case kCmdRemoverMsgOperador:
      FMsgOperador.clear();
      FComponente.DoExibeMsg(opmRemoverMsgOperador, "");
      break;
    case kCmdRemoverMsgCliente:
      FMsgCliente.clear();
      FComponente.DoExibeMsg(opmRemoverMsgCliente, "");
      break;
    case kCmdRemoverMsgAmbos:
      RemoverMensagens();
      break;
    case kCmdRemoverTitulo:
      FTitulo.clear();
      break;
    case kCmdSimNao: {
      const TModalResult r =
          FComponente.DoExibeMsg(opmYesNo, FTexto.empty() ? "CONFIRMA ?" : FTexto);
      FResposta = r == mrYes ? "0" : "1";
      break;
    }
    case kCmdMenu:
      ResponderMenu();
      break;
    case kCmdAguardaTecla:
      AguardarTecla();
      break;
    case kCmdVerificaInterrupcao: {
      bool interromper = false;
      if (FComponente.OnAguardaResp) FComponente.OnAguardaResp("23", 0, interromper);
      if (interromper) FDigitado = false;
      break;
    }
    case kCmdObterCampo:
      ObterCampo();
      break;
    case kCmdObterCheque:
      ObterCheque();
      break;
    case kCmdObterValor:
      ObterValor();
      break;
    case kCmdObterCodigoBarras:
      PerguntarCampo(FTipoCampo, tcBarCode);
      break;
    case kCmdExibirQRCode:
      if (FTipoCampo == kCampoQRCode && FComponente.OnExibeQRCode)
        FComponente.OnExibeQRCode(FTexto);
      break;
    case kCmdMsgQRCode:
      if (FTipoCampo == kCampoMsgQRCode)
        FComponente.DoExibeMsg(opmQRCode, Converter(FTexto));
      else
        ExibirAmbas(Converter(FTexto));
      break;
    default:
      break;
  }
}

// A result field: into the record, and some also into the component.
void TRuVirIdUzaCliSiTef::Dialogo::GravarCampo() {
  using namespace clisitef;
  FResp.GravaInformacao(FTipoCampo, platform::AnsiString::FromBytes(FTextoAnsi));
  switch (FTipoCampo) {
    case kCampoIndicador15:
    case kCampoIndicador25:
      FResp.GravaInformacao(FTipoCampo, platform::AnsiString::FromBytes("True"));
      break;
    case kCampoReimpressao56:
    case kCampoReimpressao57:
    case kCampoReimpressao58:
      FCliSiTef.fReimpressao = true;
      break;
    case kCampoIdCarteiraDigital:
      SeVazio(FComponente.fIdDaCarteiraDigital, FTexto);
      break;
    case kCampoNomeCarteiraDigital:
      SeVazio(FComponente.fNomeCarteiraDigital, FTexto);
      break;
    case kCampoBandeiraCarteiraDigital:
      SeVazio(FComponente.fBandeiraCarteiraDigital, FTexto);
      break;
    case kCampoValorAprovadoCarteiraDigital:
      SeVazio(FComponente.fValorAprovadoCarteiraDigital, FTexto);
      break;
    case kCampoDevolucao:
      FCliSiTef.fDevolucao = true;
      break;
    case kCampoInstituicao:
      SeVazio(FComponente.fCodigoRede, FTexto);
      break;
    case kCampoBandeira:
      SeVazio(FComponente.fCodigoBandeira, FTexto);
      break;
    case kCampoNSU:
      SeVazio(FComponente.FCodigoNsu, FTexto);
      break;
    case kCampoNSUHost:
      SeVazio(FComponente.FCodigoNSUHost, FTexto);
      break;
    case kCampoCodigoAutorizacao:
      SeVazio(FComponente.FCodigoAutorizacao, FTexto);
      break;
    case kCampoSenha:
      if (FComponente.OnObterSenha) FComponente.OnObterSenha(FTexto, FVoltarMenu);
      break;
    case kCampoDocumentoPessoa:
      SeVazio(FComponente.fCPFCliente, FTexto);
      break;
    case kCampoCNPJCliente:
      SeVazio(FComponente.FCNPJCliente, FTexto);
      break;
    case kCampoTelefoneCliente:
      SeVazio(FComponente.fTelefoneCliente, FTexto);
      break;
    case kCampoMsgOperador:
      FComponente.DoExibeMsg(opmExibirMsgOperador, Converter(FTexto));
      break;
    case kCampoCodigoHASH:
      SeVazio(FCliSiTef.FCodigoHASH, FTexto);
      break;
    default:
      break;
  }
}

// Menus the manager answers itself, compared on the raw text; empty when
// the operator has to choose.
std::string TRuVirIdUzaCliSiTef::Dialogo::MenuAutomatico() const {
  const std::string& t = FTextoAnsi;
  const bool cartao = t == "1:Magnetico/Chip;2:Digitado;";
  const bool aVista = t.compare(0, 9, "1:A Vista") == 0;
  if (FCliSiTef.FTelevenda) {
    if (cartao) return "2";
    if (platform::IgualSemCaixa(t,
                                "1:Cancelamento de Cartao de Debito;2:Cancelamento de "
                                "Cartao de Credito;")) {
      return "2";
    }
  } else if (FCliSiTef.fOperacaoCRT == 2) {
    if (cartao || t.compare(0, 15, "1:VISA ELECTRON") == 0 || aVista) return "1";
  } else if (FCliSiTef.fOperacaoCRT == 3) {
    if (cartao) return "1";
    if (aVista) return FQtdParcela == "01" ? "1" : "2";
  }
  return "";
}

void TRuVirIdUzaCliSiTef::Dialogo::ResponderMenu() {
  const std::string automatica = MenuAutomatico();
  if (!automatica.empty()) {
    FResposta = automatica;
    return;
  }
  const TStringList opcoes = platform::Dividir(FTexto, ';');
  if (!FComponente.OnExibeMenu) {
    // Without a handler only a pre-answer can choose.
    if (FResposta.empty()) FDigitado = false;
    return;
  }
  int indice = -1;
  FComponente.OnExibeMenu(FTitulo, opcoes, indice, FVoltarMenu);
  if (FVoltarMenu) return;
  if (indice < 0 || indice >= static_cast<int>(opcoes.size())) {
    FDigitado = false;
  } else {
    const std::string& op = opcoes[static_cast<size_t>(indice)];
    FResposta = op.substr(0, op.find(':'));
  }
}

// Shown, then always answered "back", so both messages go.
void TRuVirIdUzaCliSiTef::Dialogo::AguardarTecla() {
  const std::string t = FTexto.empty() ? "PRESSIONE <ENTER>" : FTexto;
  const std::string aparado = TrimTef(t);
  if (aparado == "Unauthorized") {
    FComponente.DoExibeMsg(opmExcept, t);
  } else if (aparado == "Transacao ja efetuada") {
    FComponente.DoExibeMsg(opmOK,
                           "Transação já efetuada no sitef\r\nImprima o ultimo comprovante de "
                           "pagamento e informe o pagamento manual.");
  }
  FVoltarMenu = true;
}

void TRuVirIdUzaCliSiTef::Dialogo::ObterCampo() {
  using namespace clisitef;
  const int tipo = FTipoCampo;
  if (tipo == kCampoTipoPessoa || tipo == kCampoDocumentoPessoa || tipo == kCampoDataPreDatado) {
    FResposta = FCliSiTef.ValorResposta(tipo);
  } else if (tipo == kCampoCodigoSeguranca) {
    if (!FCvv.empty())
      FResposta = FCvv;
    else
      PerguntarCampo(kCampoCodigoSeguranca, tcSeguranca);
  } else if (tipo == kCampoSenha) {
    if (FComponente.OnObterSenha) FComponente.OnObterSenha(FTexto, FVoltarMenu);
  } else if (FCliSiTef.FCancelandoTransacaoTEF &&
             (tipo == kCampoDataTransacaoCancelada || tipo == kCampoNSUTransacaoCancelada ||
              tipo == kCampoValor)) {
    // A cancellation answers from what it cancels.
    if (tipo == kCampoDataTransacaoCancelada) {
      FResposta = platform::FormatDateTime("ddmmyyyy", FCliSiTef.FCancelandoTransacaoDATA);
    } else if (tipo == kCampoNSUTransacaoCancelada) {
      FResposta = FCliSiTef.FCancelandoTransacaoNSU;
    } else {
      FResposta = FCliSiTef.FCancelandoTransacaoVALOR.FormatComma();
    }
    Gravar(FResposta);
  } else {
    ObterCampoComum();
  }
  FCampoRespondido = tipo;
}

// Card data given by the operation, the installments, or the operator.
void TRuVirIdUzaCliSiTef::Dialogo::ObterCampoComum() {
  using namespace clisitef;
  const int tipo = FTipoCampo;
  if (tipo == kCampoNumeroCartao && !FNumeroCartao.empty()) {
    FResposta = FNumeroCartao;
  } else if (tipo == kCampoDataVencimento && !FDataVencimento.empty()) {
    FResposta = FDataVencimento;
  } else if (tipo == kCampoQtdParcelas && FQtdParcela != "01" && !FQtdParcela.empty()) {
    if (ParaInteiro(FQtdParcela) > 0) {
      FResposta = FQtdParcela;
    } else {
      PerguntarCampo(kCampoQtdParcelas, tcString);
      if (FDigitado) FQtdParcela = FResposta;
    }
  } else if (FNumeroCartao.empty() && FDataVencimento.empty()) {
    PerguntarCampo(tipo, tcString);
  }
  Gravar(CampoSensivel(tipo) ? Mascarar(tipo, FResposta) : FResposta);
}

void TRuVirIdUzaCliSiTef::Dialogo::ObterCheque() {
  if (FTipoCampo != clisitef::kCampoCheque) {
    PerguntarCampo(FTipoCampo, tcCMC7);
    return;
  }
  const std::string pre = TrimTef(FCliSiTef.ValorResposta(clisitef::kCampoCheque));
  if (!pre.empty()) {
    FResposta = pre;
  } else if (FComponente.OnObtemCheque) {
    FComponente.OnObtemCheque(FTexto, clisitef::kCampoCheque, tcString, FResposta, FDigitado,
                              FVoltarMenu);
  }
}

void TRuVirIdUzaCliSiTef::Dialogo::ObterValor() {
  if (FTipoCampo == clisitef::kCampoValor && FCliSiTef.FCancelandoTransacaoTEF) {
    FResposta = FCliSiTef.FCancelandoTransacaoVALOR.FormatComma();
    Gravar(FResposta);
  } else if (FTexto == "Forneca a taxa de embarque" || FTexto == "Forneca a taxa de servico") {
    const bool perguntar = FTexto == "Forneca a taxa de embarque"
                               ? FComponente.FornecerTaxaDeEmbarque()
                               : FComponente.FornecerTaxaDeServico();
    if (perguntar) {
      PerguntarCampo(FTipoCampo, tcCurrency);
      FResposta = NormalizarValor(FResposta);
    } else {
      FResposta = TCurrency().FormatComma();
    }
  } else if (FTexto == "VISA ELECTRON\nSAQUE") {
    FResposta = TCurrency().FormatComma();
  } else {
    PerguntarCampo(FTipoCampo, tcCurrency);
    FResposta = NormalizarValor(FResposta);
  }
}

// ---------------------------------------------------------------- results

void TRuVirIdUzaCliSiTef::AvaliaErro(int STS) {
  std::string msg;
  using namespace clisitef;
  switch (STS) {
    case kCanceladaPeloUsuario:
      msg = "Operação cancelada pelo usuário";
      break;
    case kSemConexaoSiTef:
      msg =
          "Não foi possivel realizar a conexão com o servidor SiTef\r\nPor favor tente mais "
          "tarde...";
      break;
    case kFaltaDeMemoria:
      msg = "Falta de memória para rodar a função";
      break;
    case kModalidadeInvalida:
      msg = "Fornecida uma modalidade inválida";
      break;
    case kCanceladaPeloOperador:
      msg = "Operação cancelada pelo operador";
      break;
    case kModuloNaoInicializado:
      msg = "Módulo não inicializado";
      break;
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
  const int sts = ExecutarFuncao(FOperacaoATV, "ATV", TCurrency(), "", "0", "", "", "");
  if (sts == clisitef::kOk)
    ProcessarResposta();
  else
    AvaliaErro(sts);
}

bool TRuVirIdUzaCliSiTef::ADM() {
  const int sts = ExecutarFuncao(FOperacaoADM, "ADM", TCurrency(), FRestricoes, "0", "", "", "");
  if (sts == clisitef::kOk)
    ProcessarResposta();
  else
    AvaliaErro(sts);
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
  const int sts =
      ExecutarFuncao(fOperacaoCRT, "CRT", Valor, FRestricoes.empty() ? "[10];" : FRestricoes,
                     NumeroCartao, DataVencimento, CVV, QtdParcela);
  const bool ok = sts == clisitef::kOk;
  GravaLog(std::string("CRT -> Result: ") + (ok ? "-1" : "0"));
  if (ok)
    ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else
    AvaliaErro(sts);
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
  const int sts = ExecutarFuncao(FOperacaoCHQ, "CHQ", Valor,
                                 FRestricoes.empty() ? "[15;25]" : FRestricoes, "0", "", "", "");
  if (sts == clisitef::kOk)
    ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else
    AvaliaErro(sts);
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
  const int sts = ExecutarFuncao(FOperacaoCNC, "CNC", TCurrency(), "", "0", "", "", "");
  if (sts == clisitef::kOk)
    ProcessarResposta();
  else
    AvaliaErro(sts);
  return sts == clisitef::kOk;
}

}  // namespace tef
