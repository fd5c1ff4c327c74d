// The interactive dialogue of a CliSiTef function: start, command loop,
// automatic answers, final-result evaluation and the operation wrappers.
#include <cctype>
#include <vector>

#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_informacao.h"
#include "tef/ruviriduza_resp_clisitef.h"

namespace tef {
namespace {

constexpr int kContinuar = 10000;
constexpr int kTamanhoBuffer = 20001;

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

// Trailing blanks and control characters removed, as the library pads.
std::string TrimDireita(std::string s) {
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.pop_back();
  return s;
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

bool IgualSemCaixa(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
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
  return tipoCampo == 512 || tipoCampo == 513 || tipoCampo == 514;
}

std::string Mascarar(int tipoCampo, const std::string& valor) {
  if (valor.empty()) return valor;
  if (tipoCampo == 512) {
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
  const platform::TDateTime agora = platform::Now();
  const std::string data = platform::FormatDateTime("yyyymmdd", agora);
  const std::string hora = platform::FormatDateTime("hhnnss", agora);
  const std::string valor = Valor.FormatComma();
  Resp().Clear();
  const int documento = platform::SecondsOfDay(agora);
  SetIDSeq(documento);
  const std::string doc = std::to_string(documento);
  TRuVirIdUzaArquivo& c = Resp().Conteudo();
  c.GravaInformacao(899, 100, platform::Utf8ToAnsi(Cabecalho).bytes());
  c.GravaInformacao(899, 101, doc);
  c.GravaInformacao(899, 102, doc);
  c.GravaInformacao(899, 103, std::to_string(Valor.ToCents(TArredondamento::MeioParaCima)));
  // The library finishes a transaction by the date and time of its start:
  // kept with the response, and so in its backup file for a recovery.
  c.GravaInformacao(899, 104, data);
  c.GravaInformacao(899, 105, hora);
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

int TRuVirIdUzaCliSiTef::ContinuarFuncao(bool Capturar, const std::string& NumeroCartao,
                                         const std::string& DataVencimento, const std::string& CVV,
                                         std::string QtdParcela) {
  TRuVirIdUza& comp = Owner();
  auto& resp = static_cast<TRuVirIdUzaRespCliSiTef&>(Resp());
  const auto continuaFuncao = Entrada(fFuncoes.ContinuaFuncaoSiTefInterativo);
  fIniciouRequisicao = true;
  fReimpressao = false;
  fCancelamento = false;
  fDevolucao = false;
  comp.LimparDadosDialogo();
  SetAguardandoResposta(true);

  int continua = 0;
  std::string resposta;  // UTF-8; Windows-1252 in the buffer
  bool digitado = true;
  bool voltarMenu = false;
  std::string titulo, msgOperador, msgCliente;
  std::vector<char> buffer(kTamanhoBuffer, '\0');
  std::string finalAnsi;  // the library's text of the final call
  int sts = 0;
  int campoRespondido = 0;  // field type of the command the answer is for

  const auto removerMensagens = [&] {
    msgOperador.clear();
    msgCliente.clear();
    comp.DoExibeMsg(opmRemoverMsgOperador, "");
    comp.DoExibeMsg(opmRemoverMsgCliente, "");
  };
  const auto exibirAmbas = [&](const std::string& texto) {
    msgOperador = msgCliente = texto;
    comp.DoExibeMsg(opmExibirMsgOperador, texto);
    comp.DoExibeMsg(opmExibirMsgCliente, texto);
  };
  const auto obtemCampo = [&](const std::string& texto, int minimo, int maximo, int tipo,
                              TRuVirIdUzaCliSiTefOperacaoCampo operacao) {
    if (comp.OnObtemCampo) {
      comp.OnObtemCampo(texto, minimo, maximo, tipo, operacao, resposta, digitado, voltarMenu);
    }
  };
  const auto seVazio = [](std::string& campo, const std::string& valor) {
    if (campo.empty()) campo = valor;
  };
  // Log, mapping and the end of the dialogue, also when a handler raised.
  const auto fechar = [&] {
    GravaLog(resp.Conteudo().Texto());
    resp.ConteudoToProperty();
    SetAguardandoResposta(false);
  };

  try {
    do {
      GravaLog("ContinuaFuncaoSiTefInterativo, Chamando: Continua = " + std::to_string(continua) +
               " Buffer = " +
               (CampoSensivel(campoRespondido) ? Mascarar(campoRespondido, resposta) : resposta));
      int comando = 0;
      int tipoCampo = 0;
      short minimo = 0;
      short maximo = 0;
      sts = continuaFuncao(&comando, &tipoCampo, &minimo, &maximo, buffer.data(), kTamanhoBuffer,
                           continua);
      campoRespondido = 0;
      buffer.back() = '\0';  // never trust the library to terminate
      continua = 0;
      const std::string textoAnsi = TrimDireita(std::string(buffer.data()));
      const std::string texto = platform::AnsiToUtf8(textoAnsi);
      resposta.clear();
      voltarMenu = false;
      digitado = true;
      GravaLog("ContinuaFuncaoSiTefInterativo, Retornos: STS = " + std::to_string(sts) +
               " ProximoComando = " + std::to_string(comando) + " TipoCampo = " +
               std::to_string(tipoCampo) + " Buffer = " + texto + " Tam.Min = " +
               std::to_string(minimo) + " Tam.Max = " + std::to_string(maximo));

      if (sts != kContinuar) {
        finalAnsi = std::string(buffer.data());
        GravaLog("*** ContinuaFuncaoSiTefInterativo, Finalizando: STS = " + std::to_string(sts));
      } else {
        if (tipoCampo > 0) resposta = ValorResposta(tipoCampo);
        switch (comando) {
          case 0: {
            resp.GravaInformacao(tipoCampo, platform::AnsiString::FromBytes(textoAnsi));
            switch (tipoCampo) {
              case 15:
              case 25: resp.GravaInformacao(tipoCampo, platform::AnsiString::FromBytes("True")); break;
              case 56:
              case 57:
              case 58: fReimpressao = true; break;
              case 106: seVazio(comp.fIdDaCarteiraDigital, texto); break;
              case 107: seVazio(comp.fNomeCarteiraDigital, texto); break;
              case 108: seVazio(comp.fBandeiraCarteiraDigital, texto); break;
              case 109: seVazio(comp.fValorAprovadoCarteiraDigital, texto); break;
              case 110: fDevolucao = true; break;
              case 131: seVazio(comp.fCodigoRede, texto); break;
              case 132: seVazio(comp.fCodigoBandeira, texto); break;
              case 133: seVazio(comp.fCodigoNsu, texto); break;
              case 134: seVazio(comp.fCodigoNSUHost, texto); break;
              case 135: seVazio(comp.fCodigoAutorizacao, texto); break;
              case 500:
                if (comp.OnObterSenha) comp.OnObterSenha(texto, voltarMenu);
                break;
              case 502: seVazio(comp.fCPFCliente, texto); break;
              case 503: seVazio(comp.FCNPJCliente, texto); break;
              case 504: seVazio(comp.fTelefoneCliente, texto); break;
              case 732: comp.DoExibeMsg(opmExibirMsgOperador, Converter(texto)); break;
              case 800: seVazio(fCodigoHASH, texto); break;
              default: break;
            }
            break;
          }
          case 1:
            msgOperador = Converter(texto);
            comp.DoExibeMsg(opmExibirMsgOperador, msgOperador);
            break;
          case 2:
            msgCliente = Converter(texto);
            comp.DoExibeMsg(opmExibirMsgCliente, msgCliente);
            break;
          case 3: exibirAmbas(Converter(texto)); break;
          case 4: titulo = texto; break;
          case 11:
            msgOperador.clear();
            comp.DoExibeMsg(opmRemoverMsgOperador, "");
            break;
          case 12:
            msgCliente.clear();
            comp.DoExibeMsg(opmRemoverMsgCliente, "");
            break;
          case 13: removerMensagens(); break;
          case 14: titulo.clear(); break;
          case 20: {
            const TModalResult r = comp.DoExibeMsg(opmYesNo, texto.empty() ? "CONFIRMA ?" : texto);
            resposta = r == mrYes ? "0" : "1";
            break;
          }
          case 21: {
            // Menus the manager answers itself, compared on the raw text.
            std::string automatica;
            if (fTelevenda) {
              if (textoAnsi == "1:Magnetico/Chip;2:Digitado;") automatica = "2";
              else if (IgualSemCaixa(textoAnsi,
                                     "1:Cancelamento de Cartao de Debito;2:Cancelamento de "
                                     "Cartao de Credito;")) {
                automatica = "2";
              }
            } else if (fOperacaoCRT == 2) {
              if (textoAnsi == "1:Magnetico/Chip;2:Digitado;" ||
                  textoAnsi.compare(0, 15, "1:VISA ELECTRON") == 0 ||
                  textoAnsi.compare(0, 9, "1:A Vista") == 0) {
                automatica = "1";
              }
            } else if (fOperacaoCRT == 3) {
              if (textoAnsi == "1:Magnetico/Chip;2:Digitado;") automatica = "1";
              else if (textoAnsi.compare(0, 9, "1:A Vista") == 0) {
                automatica = QtdParcela == "01" ? "1" : "2";
              }
            }
            if (!automatica.empty()) {
              resposta = automatica;
              break;
            }
            TStringList opcoes;
            size_t inicio = 0;
            while (inicio < texto.size()) {
              size_t fim = texto.find(';', inicio);
              if (fim == std::string::npos) fim = texto.size();
              opcoes.push_back(texto.substr(inicio, fim - inicio));
              inicio = fim + 1;
            }
            if (!comp.OnExibeMenu) {
              // Without a handler only a pre-answer can choose.
              if (resposta.empty()) digitado = false;
              break;
            }
            int indice = -1;
            comp.OnExibeMenu(titulo, opcoes, indice, voltarMenu);
            if (!voltarMenu) {
              if (indice < 0 || indice >= static_cast<int>(opcoes.size())) {
                digitado = false;
              } else {
                const std::string& op = opcoes[static_cast<size_t>(indice)];
                resposta = op.substr(0, op.find(':'));
              }
            }
            break;
          }
          case 22: {
            const std::string t = texto.empty() ? "PRESSIONE <ENTER>" : texto;
            const std::string aparado = TrimTef(t);
            if (aparado == "Unauthorized") {
              comp.DoExibeMsg(opmExcept, t);
            } else if (aparado == "Transacao ja efetuada") {
              comp.DoExibeMsg(opmOK,
                              "Transação já efetuada no sitef\r\nImprima o ultimo comprovante de "
                              "pagamento e informe o pagamento manual.");
            }
            voltarMenu = true;
            break;
          }
          case 23: {
            bool interromper = false;
            if (comp.OnAguardaResp) comp.OnAguardaResp("23", 0, interromper);
            if (interromper) digitado = false;
            break;
          }
          case 30: {
            if (tipoCampo == 501 || tipoCampo == 502 || tipoCampo == 506) {
              resposta = ValorResposta(tipoCampo);
            } else if (tipoCampo == 514) {
              if (!CVV.empty()) resposta = CVV;
              else obtemCampo(texto, minimo, maximo, 514, tcSeguranca);
            } else if (tipoCampo == 500) {
              if (comp.OnObterSenha) comp.OnObterSenha(texto, voltarMenu);
            } else if (fCancelandoTransacaoTEF &&
                       (tipoCampo == 515 || tipoCampo == 516 || tipoCampo == 146)) {
              if (tipoCampo == 515) {
                resposta = platform::FormatDateTime("ddmmyyyy", fCancelandoTransacaoDATA);
              } else if (tipoCampo == 516) {
                resposta = fCancelandoTransacaoNSU;
              } else {
                resposta = fCancelandoTransacaoVALOR.FormatComma();
              }
              resp.GravaInformacao(tipoCampo, platform::Utf8ToAnsi(resposta));
            } else {
              if (tipoCampo == 512 && !NumeroCartao.empty()) {
                resposta = NumeroCartao;
              } else if (tipoCampo == 513 && !DataVencimento.empty()) {
                resposta = DataVencimento;
              } else if (tipoCampo == 505 && QtdParcela != "01" && !QtdParcela.empty()) {
                if (ParaInteiro(QtdParcela) > 0) {
                  resposta = QtdParcela;
                } else {
                  obtemCampo(texto, minimo, maximo, 505, tcString);
                  if (digitado) QtdParcela = resposta;
                }
              } else if (NumeroCartao.empty() && DataVencimento.empty()) {
                obtemCampo(texto, minimo, maximo, tipoCampo, tcString);
              }
              const std::string guardada =
                  CampoSensivel(tipoCampo) ? Mascarar(tipoCampo, resposta) : resposta;
              resp.GravaInformacao(tipoCampo, platform::Utf8ToAnsi(guardada));
            }
            campoRespondido = tipoCampo;
            break;
          }
          case 31: {
            if (tipoCampo == 517) {
              const std::string pre = TrimTef(ValorResposta(517));
              if (!pre.empty()) {
                resposta = pre;
              } else if (comp.OnObtemCheque) {
                comp.OnObtemCheque(texto, 517, tcString, resposta, digitado, voltarMenu);
              }
            } else {
              obtemCampo(texto, minimo, maximo, tipoCampo, tcCMC7);
            }
            break;
          }
          case 34: {
            if (tipoCampo == 146 && fCancelandoTransacaoTEF) {
              resposta = fCancelandoTransacaoVALOR.FormatComma();
              resp.GravaInformacao(tipoCampo, platform::Utf8ToAnsi(resposta));
            } else if (texto == "Forneca a taxa de embarque" || texto == "Forneca a taxa de servico") {
              const bool perguntar = texto == "Forneca a taxa de embarque"
                                         ? comp.FornecerTaxaDeEmbarque()
                                         : comp.FornecerTaxaDeServico();
              if (perguntar) {
                obtemCampo(texto, minimo, maximo, tipoCampo, tcCurrency);
                resposta = NormalizarValor(resposta);
              } else {
                resposta = TCurrency().FormatComma();
              }
            } else if (texto == "VISA ELECTRON\nSAQUE") {
              resposta = TCurrency().FormatComma();
            } else {
              obtemCampo(texto, minimo, maximo, tipoCampo, tcCurrency);
              resposta = NormalizarValor(resposta);
            }
            break;
          }
          case 35: obtemCampo(texto, minimo, maximo, tipoCampo, tcBarCode); break;
          case 50:
            if (tipoCampo == 584 && comp.OnExibeQRCode) comp.OnExibeQRCode(texto);
            break;
          case 52:
            if (tipoCampo == 4128) comp.DoExibeMsg(opmQRCode, Converter(texto));
            else exibirAmbas(Converter(texto));
            break;
          default: break;
        }
      }

      if (voltarMenu) continua = 1;
      else if (!digitado) continua = -1;
      if ((voltarMenu && sts == kContinuar) || !digitado) removerMensagens();

      const std::string ansi = platform::Utf8ToAnsi(resposta).bytes();
      const size_t n = std::min(ansi.size(), buffer.size() - 1);
      std::copy_n(ansi.data(), n, buffer.data());
      buffer[n] = '\0';
    } while (sts == kContinuar);

    // Taken before the answer overwrote the buffer: the captured track is
    // what the library returned with the final result.
    if (Capturar && sts == 0) {
      comp.fLeituraCartao += platform::AnsiToUtf8(finalAnsi.substr(0, 10));
      removerMensagens();
    }
  } catch (...) {
    try {
      fechar();
    } catch (...) {
      // The handler's failure is the one the caller needs to see.
    }
    throw;
  }
  fechar();
  return sts;
}

// ---------------------------------------------------------------- results

void TRuVirIdUzaCliSiTef::AvaliaErro(int STS) {
  std::string msg;
  switch (STS) {
    case -6: msg = "Operação cancelada pelo usuário"; break;
    case -5:
      msg = "Não foi possivel realizar a conexão com o servidor SiTef\r\nPor favor tente mais "
            "tarde...";
      break;
    case -4: msg = "Falta de memória para rodar a função"; break;
    case -3: msg = "Fornecida uma modalidade inválida"; break;
    case -2: msg = "Operação cancelada pelo operador"; break;
    case -1: msg = "Módulo não inicializado"; break;
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
  if (sts == kContinuar) {
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
  if (sts == 0) ProcessarResposta();
  else AvaliaErro(sts);
}

bool TRuVirIdUzaCliSiTef::ADM() {
  const int sts = ExecutarFuncao(fOperacaoADM, "ADM", TCurrency(), fRestricoes, "0", "", "", "");
  if (sts == 0) ProcessarResposta();
  else AvaliaErro(sts);
  return sts == 0;
}

bool TRuVirIdUzaCliSiTef::CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
                              const std::string& NumeroCartao, const std::string& DataVencimento,
                              const std::string& CVV, const std::string& QtdParcela,
                              const std::string& /*DocumentoVinculado*/, int /*Moeda*/) {
  ValidarValor(Valor);
  if (fOperacaoCRT == 201) {
    DefinirResposta(146, Valor.FormatComma());
    DefinirResposta(147, Valor.FormatComma());
  }
  const int sts = ExecutarFuncao(fOperacaoCRT, "CRT", Valor, fRestricoes.empty() ? "[10];" : fRestricoes,
                                 NumeroCartao, DataVencimento, CVV, QtdParcela);
  const bool ok = sts == 0;
  GravaLog(std::string("CRT -> Result: ") + (ok ? "-1" : "0"));
  if (ok) ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else AvaliaErro(sts);
  return ok;
}

bool TRuVirIdUzaCliSiTef::CHQ(TCurrency Valor, const std::string& IndiceFPG_ECF,
                              const std::string& /*DocumentoVinculado*/, const std::string& CMC7,
                              char TipoPessoa, const std::string& DocumentoPessoa,
                              const platform::TDateTime& DataCheque, const std::string& Banco,
                              const std::string& Agencia, const std::string& AgenciaDC,
                              const std::string& Conta, const std::string& ContaDC,
                              const std::string& Cheque, const std::string& ChequeDC,
                              const std::string& Compensacao) {
  ValidarValor(Valor);
  DefinirResposta(501, TipoPessoa == 'J' ? "1" : "0");
  if (!TrimTef(DocumentoPessoa).empty()) DefinirResposta(502, Digitos(DocumentoPessoa));
  if (!DataCheque.IsZero()) DefinirResposta(506, platform::FormatDateTime("ddmmyyyy", DataCheque));
  if (!CMC7.empty()) {
    DefinirResposta(517, "1:" + CMC7);
  } else {
    DefinirResposta(517, "0:" + DigitosLargura(Compensacao, 3) + DigitosLargura(Banco, 3) +
                             DigitosLargura(Agencia, 4) + DigitosLargura(AgenciaDC, 1) +
                             DigitosLargura(Conta, 10) + DigitosLargura(ContaDC, 1) +
                             DigitosLargura(Cheque, 6) + DigitosLargura(ChequeDC, 1));
  }
  const int sts = ExecutarFuncao(fOperacaoCHQ, "CHQ", Valor,
                                 fRestricoes.empty() ? "[15;25]" : fRestricoes, "0", "", "", "");
  if (sts == 0) ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else AvaliaErro(sts);
  return sts == 0;
}

bool TRuVirIdUzaCliSiTef::CNC(const std::string& /*Rede*/, const std::string& NSU,
                              const platform::TDateTime& DataHoraTransacao, TCurrency Valor) {
  DefinirResposta(146, Valor.FormatComma());
  DefinirResposta(147, Valor.FormatComma());
  DefinirResposta(515, platform::FormatDateTime("ddmmyyyy", DataHoraTransacao));
  DefinirResposta(516, NSU);
  const int sts = ExecutarFuncao(fOperacaoCNC, "CNC", TCurrency(), "", "0", "", "", "");
  if (sts == 0) ProcessarResposta();
  else AvaliaErro(sts);
  return sts == 0;
}

}  // namespace tef
