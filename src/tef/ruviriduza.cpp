#include "tef/ruviriduza.h"

#include <algorithm>
#include <cctype>

#include "platform/paths.h"
#include "platform/regional.h"
#include "tef/ruviriduza_class.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_informacao.h"
#include "tef/ruviriduza_req.h"
#include "tef/ruviriduza_resp.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace tef {
namespace {

constexpr int64_t kSentinelaInfoECF = -98787158;

std::string ValorLog(TCurrency v) { return v.FormatComma(); }

}  // namespace

// ---------------------------------------------------------------- identification

void TRuVirIdUzaIdentificacao::SetNomeAplicacao(const std::string& v) {
  FNomeAplicacao = TrimTef(v);
}
void TRuVirIdUzaIdentificacao::SetVersaoAplicacao(const std::string& v) {
  FVersaoAplicacao = TrimTef(v);
}
void TRuVirIdUzaIdentificacao::SetSoftwareHouse(const std::string& v) {
  FSoftwareHouse = TrimTef(v);
}
void TRuVirIdUzaIdentificacao::SetRazaoSocial(const std::string& v) { FRazaoSocial = TrimTef(v); }

// ---------------------------------------------------------------- creation

TRuVirIdUza::TRuVirIdUza(platform::TEnv& env)
    : FEnv(env), FRespostasPendentes(std::make_unique<TRuVirIdUzaRespostasPendentes>()) {
  auto clisitef = std::make_unique<TRuVirIdUzaCliSiTef>(this);
  FCliSiTef = clisitef.get();
  FGerenciadores.push_back(std::move(clisitef));
  SetGPAtual(gpTefDial);
}

TRuVirIdUza::~TRuVirIdUza() {
  // Managers first: their destruction may still log through the component.
  FTEF = nullptr;
  FCliSiTef = nullptr;
  FGerenciadores.clear();
}

// ---------------------------------------------------------------- properties

void TRuVirIdUza::VerificarPendentes(const char* propriedade) const {
  if (FRespostasPendentes->Count() > 0) {
    throw ERuVirIdUzaErro(std::string("Existem Respostas Pendentes. Não é possível alterar \"") +
                          propriedade + "\"");
  }
}

void TRuVirIdUza::SetMultiplosCartoes(bool v) {
  if (v == FMultiplosCartoes) return;
  VerificarPendentes("MultiplosCartoes");
  FMultiplosCartoes = v;
}

void TRuVirIdUza::SetAutoEfetuarPagamento(bool v) {
  if (v == FAutoEfetuarPagamento) return;
  VerificarPendentes("AutoEfetuarPagamento");
  FAutoEfetuarPagamento = v;
}

void TRuVirIdUza::SetAutoFinalizarCupom(bool v) {
  if (v == FAutoFinalizarCupom) return;
  VerificarPendentes("AutoFinalizarCupom");
  FAutoFinalizarCupom = v;
}

void TRuVirIdUza::SetEsperaSleep(int v) {
  if (v == FEsperaSleep) return;
  if (v < 10) throw ERuVirIdUzaErro("Valor mínimo de EsperaSleep deve ser: 10");
  if (v > 500) throw ERuVirIdUzaErro("Valor máximo de EsperaSleep deve ser: 500");
  FEsperaSleep = v;
}

const std::string& TRuVirIdUza::PathBackup() {
  if (FPathBackup.empty()) FPathBackup = platform::ExeDir() + "TEF";
  return FPathBackup;
}

void TRuVirIdUza::SetPathBackup(const std::string& v) {
  if (v == FPathBackup) return;
  if (FTEF != nullptr && FTEF->Inicializado()) {
    throw ERuVirIdUzaErro("PathBackup não pode ser modificado com o RuVirIdUza Inicializado");
  }
  std::string p = TrimTef(v);
  if (!p.empty() && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  FPathBackup = p;
}

void TRuVirIdUza::SetArqLOG(const std::string& v) {
  for (auto& g : FGerenciadores) {
    if (g->ArqLOG() == FArqLOG) g->SetArqLOG(v);
  }
  FArqLOG = v;
}

void TRuVirIdUza::SetGPAtual(TRuVirIdUzaTipo v) {
  if (v == FGPAtual) return;
  if (v == gpCliSiTef) FTEF = FCliSiTef;
  FGPAtual = v;
}

TRuVirIdUzaClass& TRuVirIdUza::Gerenciador() const { return FTEF != nullptr ? *FTEF : *FCliSiTef; }

TRuVirIdUzaClass& TRuVirIdUza::SelecionarGP(TRuVirIdUzaTipo GP) {
  if (GP != gpNenhum) SetGPAtual(GP);
  if (FTEF == nullptr) {
    // No manager of that type exists in this system.
    throw ERuVirIdUzaGPNaoInicializado(std::string("Gerenciador Padrão: ") + EnumName(FGPAtual) +
                                       " não foi inicializado");
  }
  return *FTEF;
}

std::string TRuVirIdUza::NomeGerenciador() const { return FTEF != nullptr ? FTEF->Name() : ""; }

TRuVirIdUzaReq& TRuVirIdUza::Req() { return Gerenciador().Req(); }
TRuVirIdUzaResp& TRuVirIdUza::Resp() { return Gerenciador().Resp(); }
bool TRuVirIdUza::AguardandoResposta() const {
  return FTEF != nullptr && FTEF->AguardandoResposta();
}
std::string TRuVirIdUza::ArqTemp() const { return FTEF ? FTEF->ArqTmp() : ""; }
std::string TRuVirIdUza::ArqReq() const { return FTEF ? FTEF->ArqReq() : ""; }
std::string TRuVirIdUza::ArqSTS() const { return FTEF ? FTEF->ArqSTS() : ""; }
std::string TRuVirIdUza::ArqResp() const { return FTEF ? FTEF->ArqResp() : ""; }
std::string TRuVirIdUza::GPExeName() const { return FTEF ? FTEF->GPExeName() : ""; }

void TRuVirIdUza::SetEstadoReq(TRuVirIdUzaReqEstado v) {
  if (v == FEstadoReq) return;
  FEstadoReq = v;
  if (OnMudaEstadoReq) OnMudaEstadoReq(v);
}

void TRuVirIdUza::SetEstadoResp(TRuVirIdUzaRespEstado v) {
  if (v == FEstadoResp) return;
  FEstadoResp = v;
  if (OnMudaEstadoResp) OnMudaEstadoResp(v);
}

void TRuVirIdUza::LimparDadosDialogo() {
  fCodigoRede.clear();
  fCodigoBandeira.clear();
  FCodigoNsu.clear();
  FCodigoNSUHost.clear();
  FCodigoAutorizacao.clear();
  fIdDaCarteiraDigital.clear();
  fNomeCarteiraDigital.clear();
  fBandeiraCarteiraDigital.clear();
  fValorAprovadoCarteiraDigital.clear();
  fCPFCliente.clear();
  FCNPJCliente.clear();
  fTelefoneCliente.clear();
}

void TRuVirIdUza::GravaLog(const std::string& texto) const { GravarLogTEF(FArqLOG, texto, FEnv); }

// ---------------------------------------------------------------- initialization

void TRuVirIdUza::Inicializar(TRuVirIdUzaTipo GP) {
  if (!OnExibeMsg) throw ERuVirIdUzaErro("Evento \"OnExibeMsg\" não programado");
  if (!OnComandaECF) throw ERuVirIdUzaErro("Evento \"OnComandaECF\" não programado");
  if (!OnComandaImpressao) throw ERuVirIdUzaErro("Evento \"OnComandaImpressão\" não programado");
  if (!OnComandaECFAbreVinculado) {
    throw ERuVirIdUzaErro("Evento \"OnComandaECFAbreVinculado\" não programado");
  }
  if (!OnComandaECFImprimeVia) {
    throw ERuVirIdUzaErro("Evento \"OnComandaECFImprimeVia\" não programado");
  }
  if (!OnInfoECF) throw ERuVirIdUzaErro("Evento \"OnInfoECF\" não programado");

  const std::string pasta = PathBackup();
  if (!FEnv.IsFolder(pasta)) FEnv.CreateFolders(pasta);
  if (!FEnv.IsFolder(pasta)) {
    throw ERuVirIdUzaErro("Diretório de Backup não existente:\r\n" + pasta);
  }

  if (GP != gpNenhum) {
    SetGPAtual(GP);
    TRuVirIdUzaClass* g = FTEF;
    try {
      if (g == nullptr) throw ERuVirIdUzaErro("Erro ao conectar com servidor TEF");
      g->SetInicializado(true);
      g->SetHabilitado(true);
    } catch (...) {
      if (g != nullptr) {
        try {
          g->SetInicializado(false);
        } catch (...) {
          // Unloading after a failed start must not hide the start failure.
        }
      }
      throw ERuVirIdUzaErro("Erro ao conectar com servidor TEF");
    }
    return;
  }

  std::string erros;
  for (auto& g : FGerenciadores) {
    if (!g->Habilitado()) continue;
    try {
      g->SetInicializado(true);
    } catch (const std::exception& e) {
      try {
        g->SetInicializado(false);
      } catch (...) {
      }
      erros += std::string(e.what()) + "\r\n";
    }
  }
  if (!erros.empty()) throw ERuVirIdUzaErro(erros);
}

void TRuVirIdUza::DesInicializar(TRuVirIdUzaTipo GP) {
  if (GP != gpNenhum) {
    SetGPAtual(GP);
    if (FTEF != nullptr) FTEF->SetInicializado(false);
    return;
  }
  for (auto& g : FGerenciadores) {
    if (g->Habilitado()) g->SetInicializado(false);
  }
}

bool TRuVirIdUza::Inicializado(TRuVirIdUzaTipo GP) {
  if (GP != gpNenhum) SetGPAtual(GP);
  return FTEF != nullptr && FTEF->Inicializado();
}

void TRuVirIdUza::AtivarGP(TRuVirIdUzaTipo GP) {
  if (GP != gpNenhum) {
    SelecionarGP(GP).AtivarGP();
    return;
  }
  for (auto& g : FGerenciadores) {
    if (g->Habilitado()) g->AtivarGP();
  }
}

// ---------------------------------------------------------------- operations

void TRuVirIdUza::ATV(TRuVirIdUzaTipo GP) { SelecionarGP(GP).ATV(); }

bool TRuVirIdUza::ADM(TRuVirIdUzaTipo GP) { return SelecionarGP(GP).ADM(); }

bool TRuVirIdUza::CRT(double Valor, const std::string& IndiceFPG_ECF,
                      const std::string& DocumentoVinculado, int Moeda,
                      const std::string& NumeroCartaoDigitado,
                      const std::string& DataVencimentoDigitado, const std::string& CVVDigitado,
                      const std::string& QtdParcela) {
  return CRT(TCurrency::FromDouble(Valor), IndiceFPG_ECF, DocumentoVinculado, Moeda,
             NumeroCartaoDigitado, DataVencimentoDigitado, CVVDigitado, QtdParcela);
}

bool TRuVirIdUza::CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
                      const std::string& DocumentoVinculado, int Moeda,
                      const std::string& NumeroCartaoDigitado,
                      const std::string& DataVencimentoDigitado, const std::string& CVVDigitado,
                      const std::string& QtdParcela) {
  return SelecionarGP(gpNenhum).CRT(Valor, IndiceFPG_ECF, NumeroCartaoDigitado,
                                    DataVencimentoDigitado, CVVDigitado, QtdParcela,
                                    DocumentoVinculado, Moeda);
}

bool TRuVirIdUza::CHQ(double Valor, const std::string& IndiceFPG_ECF,
                      const std::string& DocumentoVinculado, const std::string& CMC7,
                      char TipoPessoa, const std::string& DocumentoPessoa,
                      const platform::TDateTime& DataCheque, const std::string& Banco,
                      const std::string& Agencia, const std::string& AgenciaDC,
                      const std::string& Conta, const std::string& ContaDC,
                      const std::string& Cheque, const std::string& ChequeDC,
                      const std::string& Compensacao) {
  const TRuVirIdUzaCheque dados{CMC7,    TipoPessoa, DocumentoPessoa, DataCheque,
                                Banco,   Agencia,    AgenciaDC,       Conta,
                                ContaDC, Cheque,     ChequeDC,        Compensacao};
  return SelecionarGP(gpNenhum).CHQ(TCurrency::FromDouble(Valor), IndiceFPG_ECF, DocumentoVinculado,
                                    dados);
}

bool TRuVirIdUza::CNC(const std::string& Rede, const std::string& NSU,
                      const platform::TDateTime& DataHoraTransacao, double Valor) {
  return SelecionarGP(gpNenhum).CNC(Rede, NSU, DataHoraTransacao, TCurrency::FromDouble(Valor));
}

void TRuVirIdUza::CNF(const std::string& Rede, const std::string& NSU,
                      const std::string& Finalizacao, const std::string& DocumentoVinculado) {
  SelecionarGP(gpNenhum).CNF(Rede, NSU, Finalizacao, DocumentoVinculado);
}

void TRuVirIdUza::NCN(const std::string& Rede, const std::string& NSU,
                      const std::string& Finalizacao, double Valor,
                      const std::string& DocumentoVinculado) {
  SelecionarGP(gpNenhum).NCN(Rede, NSU, Finalizacao, TCurrency::FromDouble(Valor),
                             DocumentoVinculado);
}

std::string TRuVirIdUza::LerTrilha3() {
  FLeituraCartao.clear();
  std::string resposta;
  SelecionarGP(gpNenhum).LerTrilha3(resposta);
  return FLeituraCartao;
}

std::string TRuVirIdUza::LerCartaoSeguro() {
  FLeituraCartao.clear();
  SelecionarGP(gpNenhum).LerCartaoSeguro();
  return FLeituraCartao;
}

// ---------------------------------------------------------------- messages and ECF

TModalResult TRuVirIdUza::DoExibeMsg(TRuVirIdUzaOperacaoMensagem Operacao,
                                     const std::string& Mensagem) {
  GravaLog(NomeGerenciador() + " DoExibeMsg: Oper: " + EnumName(Operacao) +
           " Mensagem: " + Mensagem);
  if (Operacao == opmOK || Operacao == opmYesNo || Operacao == opmDestaqueVia) {
    RestaurarFocoAplicacao();
  }
  TModalResult resultado = mrNone;
  if (OnExibeMsg) OnExibeMsg(Operacao, Mensagem, resultado);
  return resultado;
}

void TRuVirIdUza::RestaurarFocoAplicacao() {
  bool tratado = false;
  if (OnRestauraFocoAplicacao) OnRestauraFocoAplicacao(tratado);
}

void TRuVirIdUza::LimparTeclado() {
  bool tratado = false;
  if (OnLimpaTeclado) OnLimpaTeclado(tratado);
}

namespace {

// ECF results: below 1 is a failure, negative meaning "not handled".
int ChecarRetornoECF(const TRuVirIdUza& c, int resultado, const std::string& naoTratada,
                     const std::string& erro) {
  if (resultado >= 1) return resultado;
  const std::string& msg = resultado < 0 ? naoTratada : erro;
  c.GravaLog(msg);
  throw ERuVirIdUzaECF(msg);
}

}  // namespace

int TRuVirIdUza::ComandarECF(TRuVirIdUzaOperacaoECF Operacao) {
  GravaLog(NomeGerenciador() + " ComandarECF: Oper: " + EnumName(Operacao));
  int resultado = -1;
  if (OnComandaECF) OnComandaECF(Operacao, Resp(), resultado);
  return ChecarRetornoECF(
      *this, resultado,
      std::string("Operação [") + EnumName(Operacao) + "] não tratada em \"OnComandaECF\"",
      "Erro ao imprimir comprovante \"TEF\"");
}

int TRuVirIdUza::ECFSubtotaliza(TCurrency DescAcres) {
  GravaLog(NomeGerenciador() + " ECFSubtotaliza: DescAcres: " + ValorLog(DescAcres));
  if (!OnComandaECFSubtotaliza) return ComandarECF(opeSubTotalizaCupom);
  int resultado = -1;
  OnComandaECFSubtotaliza(DescAcres, resultado);
  ChecarRetornoECF(*this, resultado, "\"OnComandaECFSubtotaliza\" não tratada",
                   "Erro ao executar \"OnComandaECFSubtotaliza\"");
  return ComandarECF(opeImprimePagamentos);
}

int TRuVirIdUza::ECFPagamento(const std::string& Indice, TCurrency Valor) {
  GravaLog(NomeGerenciador() + " ECFPagamento: Indice: " + Indice + " Valor: " + ValorLog(Valor));
  int resultado = -1;
  if (OnComandaECFPagamento) OnComandaECFPagamento(Indice, Valor, resultado);
  return ChecarRetornoECF(*this, resultado, "\"OnComandaECFPagamento\" não tratada",
                          "Erro ao executar \"OnComandaECFPagamento\"");
}

int TRuVirIdUza::ECFAbreVinculado(const std::string& COO, const std::string& Indice,
                                  TCurrency Valor) {
  GravaLog(NomeGerenciador() + " ECFAbreVinculado: COO: " + COO + " Indice: " + Indice +
           " Valor: " + ValorLog(Valor));
  int resultado = -1;
  if (OnComandaECFAbreVinculado) OnComandaECFAbreVinculado(COO, Indice, Valor, resultado);
  return ChecarRetornoECF(*this, resultado, "\"OnComandaECFAbreVinculado\" não tratado",
                          "Erro ao executar \"OnComandaECFAbreVinculado\"");
}

int TRuVirIdUza::ECFImprimeVia(TRuVirIdUzaTipoRelatorio TipoRelatorio, int Via,
                               const TStringList& ImagemComprovante) {
  GravaLog(NomeGerenciador() + " ECFImprimeVia: " + EnumName(TipoRelatorio) +
           " Via: " + std::to_string(Via));
  int resultado = -1;
  if (OnComandaECFImprimeVia)
    OnComandaECFImprimeVia(TipoRelatorio, Via, ImagemComprovante, resultado);
  return ChecarRetornoECF(*this, resultado, "\"OnComandaECFImprimeVia\" não tratado",
                          "Erro ao executar \"OnComandaECFImprimeVia\"");
}

std::string TRuVirIdUza::InfoECFAsString(TRuVirIdUzaInfoECF Operacao) {
  GravaLog(std::string("InfoECF: ") + EnumName(Operacao));
  std::string texto;
  try {
    if (OnInfoECF) OnInfoECF(Operacao, texto);
  } catch (const std::exception& e) {
    GravaLog(NomeGerenciador() + "   Erro: " + e.what());
    throw ERuVirIdUzaECF(e.what());
  }
  GravaLog("    Ret: " + texto);
  return texto;
}

TCurrency TRuVirIdUza::InfoECFAsDouble(TRuVirIdUzaInfoECF Operacao, int DefaultValue) {
  std::string texto = TrimTef(InfoECFAsString(Operacao));
  std::optional<TCurrency> v;
  // Either separator may mark the decimals; two of them make no number.
  int separadores = 0;
  for (char c : texto) separadores += (c == '.' || c == ',');
  if (separadores <= 1) v = TCurrency::Parse(texto);
  TCurrency valor = v ? v->RoundedToCents(TArredondamento::MeioLongeDoZero)
                      : TCurrency::FromInteger(DefaultValue);
  if (valor == TCurrency::FromInteger(kSentinelaInfoECF)) {
    throw ERuVirIdUzaErro(std::string("Erro na conversão do Valor Retornado de: OnInfoECF( ") +
                          EnumName(Operacao) + ")");
  }
  return valor;
}

char TRuVirIdUza::EstadoECF() {
  const std::string texto = InfoECFAsString(ineEstadoECF);
  const char c =
      texto.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(texto[0])));
  if (std::string_view("CGLNOPRV").find(c) == std::string_view::npos) {
    throw ERuVirIdUzaECF(
        "Retorno de \"OnInfoEcf( ineEstadoECF, Retorno )\" deve ser:\r\n\"L\" = Livre\r\n\"V\" = "
        "Venda de Itens\r\n\"P\" - Pagamento (ou SubTotal efetuado)\r\n\"C\" ou \"R\" - CDC ou "
        "Cupom Vinculado\r\n\"G\" ou \"R\" - Relatório Gerencial\r\n\"N\" - Recebimento Não "
        "Fiscal\r\n\"O\" - Outro");
  }
  return c;
}

// ---------------------------------------------------------------- pending transactions

bool TRuVirIdUza::ConfirmarTransacao(bool Confirma, const std::string& DocumentoVinculado) {
  bool ok = true;
  try {
    FCliSiTef->FinalizarTransacao(Confirma, DocumentoVinculado);
  } catch (...) {
    ok = false;
  }
  // The answer is what the library was told: a notice that fails after it
  // confirmed (the front end gone) does not make a confirmed transaction
  // look undone, and a confirmation turned into an undo is no success.
  if (const std::optional<bool> dito = FCliSiTef->UltimaFinalizacao()) return *dito == Confirma;
  return ok;
}

void TRuVirIdUza::CancelarTransacoesPendentes() {
  // In service mode the host decides about every pending transaction.
  if (FModoServico) return;
  TRuVirIdUzaRespostasPendentes& p = *FRespostasPendentes;
  try {
    for (auto& g : FGerenciadores) {
      if (g->Habilitado()) g->CancelarTransacoesPendentesClass();
    }
    if (OnDepoisCancelarTransacoes) OnDepoisCancelarTransacoes(p);
  } catch (...) {
    p.Clear();
    throw;
  }
  p.Clear();
}

void TRuVirIdUza::ConfirmarTransacoesPendentes() {
  GravaLog("ConfirmarTransacoesPendentes");
  TRuVirIdUzaRespostasPendentes& p = *FRespostasPendentes;
  for (int i = 0; i < p.Count(); ++i) {
    TRuVirIdUzaResp& r = p[i];
    try {
      SetGPAtual(r.TipoGP());
      if (!r.CNFEnviado()) {
        SelecionarGP(gpNenhum).CNF(r.Rede(), r.NSU(), r.Finalizacao(), r.DocumentoVinculado());
        r.SetCNFEnviado(true);
      }
      for (const std::string& arq : {r.ArqRespPendente(), r.ArqBackup()}) {
        if (arq.empty()) continue;
        if (!FEnv.RemoveFile(arq)) {
          throw ERuVirIdUzaArquivo("Erro ao apagar o arquivo:\r\n" + arq);
        }
      }
    } catch (...) {
      // The next response is still confirmed.
    }
  }
  try {
    if (OnDepoisConfirmarTransacoes) OnDepoisConfirmarTransacoes(p);
  } catch (...) {
    p.Clear();
    throw;
  }
  p.Clear();
}

void TRuVirIdUza::AgruparRespostasPendentes(TRuVirIdUzaArrayGrupoRespostasPendentes& Grupo) {
  Grupo.clear();
  TRuVirIdUzaRespostasPendentes& p = *FRespostasPendentes;
  for (int i = 0; i < p.Count(); ++i) {
    const TRuVirIdUzaResp& r = p[i];
    auto it = std::find_if(Grupo.begin(), Grupo.end(), [&](const auto& g) {
      return g.IndiceFPG_ECF == r.IndiceFPG_ECF() && g.OrdemPagamento == r.OrdemPagamento();
    });
    if (it == Grupo.end()) {
      Grupo.push_back({r.IndiceFPG_ECF(), r.OrdemPagamento(), TCurrency()});
      it = Grupo.end() - 1;
    }
    it->Total += r.ValorTotal();
  }
  // Stable by payment order, so groups of one order keep their arrival order.
  for (size_t n = Grupo.size(); n > 1; --n) {
    bool trocou = false;
    for (size_t i = 0; i + 1 < n; ++i) {
      if (Grupo[i].OrdemPagamento > Grupo[i + 1].OrdemPagamento) {
        std::swap(Grupo[i], Grupo[i + 1]);
        trocou = true;
      }
    }
    if (!trocou) break;
  }
}

void TRuVirIdUza::FinalizarCupom(bool DesbloquearMouseTecladoNoTermino) {
  GravaLog(std::string("FinalizarCupom") +
           (DesbloquearMouseTecladoNoTermino ? ", DesbloquearMouseTecladoNoTermino" : ""));
}

// One attempt at printing every pending receipt. gerencial prints them all
// inside one management report; otherwise each payment group gets its bound
// receipt (or a management report for orders above 998).
bool TRuVirIdUza::ImprimirPendentesUmaVez(bool gerencial) {
  TRuVirIdUzaRespostasPendentes& p = *FRespostasPendentes;
  TRuVirIdUzaArrayGrupoRespostasPendentes grupos;
  AgruparRespostasPendentes(grupos);
  TRuVirIdUzaClass& g = Gerenciador();

  bool relatorioAberto = false;  // the one report of management mode
  bool primeiraVia = true;       // no "Destaque" before the first copy of a report
  for (const auto& grupo : grupos) {
    const bool grupoGerencial = gerencial || grupo.OrdemPagamento > 998;
    bool abriuGrupo = false;
    for (int i = 0; i < p.Count(); ++i) {
      TRuVirIdUzaResp& r = p[i];
      if (r.OrdemPagamento() != grupo.OrdemPagamento || r.IndiceFPG_ECF() != grupo.IndiceFPG_ECF) {
        continue;
      }
      if (!FAutenticacaoPendente.empty()) {
        DoExibeMsg(opmOK, FAutenticacaoPendente);
        FAutenticacaoPendente.clear();
      }
      int vias = g.NumVias();
      if (r.ImagemComprovante2aVia().empty()) vias = std::min(vias, 1);
      if (r.ImagemComprovante1aVia().empty()) vias = 0;
      const int64_t inicio = FEnv.MonotonicMillis();
      bool exibiu = false;
      if (vias == 0) {
        const std::string texto = r.TextoEspecialOperador() +
                                  (r.TextoEspecialOperador().empty() ? "" : "\r\n\r\n") +
                                  r.TextoEspecialCliente();
        if (!texto.empty()) DoExibeMsg(opmOK, texto);
      } else {
        if (!r.TextoEspecialOperador().empty()) {
          DoExibeMsg(opmExibirMsgOperador, r.TextoEspecialOperador());
          exibiu = true;
        }
        if (!r.TextoEspecialCliente().empty()) {
          DoExibeMsg(opmExibirMsgCliente, r.TextoEspecialCliente());
          exibiu = true;
        }
        if (gerencial) {
          if (!relatorioAberto) {
            ComandarECF(opeAbreGerencial);
            relatorioAberto = true;
          }
        } else if (!abriuGrupo) {
          if (grupoGerencial)
            ComandarECF(opeAbreGerencial);
          else
            ECFAbreVinculado(r.DocumentoVinculado(), grupo.IndiceFPG_ECF, grupo.Total);
          abriuGrupo = true;
          primeiraVia = true;
        }
        for (int via = 1; via <= vias; ++via) {
          if (grupoGerencial) {
            if (!primeiraVia) {
              ComandarECF(opePulaLinhas);
              DoExibeMsg(opmDestaqueVia, "Destaque a " + std::to_string(via) + "ª Via");
            }
            primeiraVia = false;
          }
          ECFImprimeVia(grupoGerencial ? trGerencial : trVinculado, via,
                        via == 1 ? r.ImagemComprovante1aVia() : r.ImagemComprovante2aVia());
        }
      }
      if (exibiu) g.EsperarMensagens(inicio, fEsperaSTS);
      if (FExibirMsgAutenticacao && !r.Autenticacao().empty()) {
        FAutenticacaoPendente = "Favor anotar no verso do Cheque:\r\n" + r.Autenticacao();
      }
    }
    if (abriuGrupo) ComandarECF(grupoGerencial ? opeFechaGerencial : opeFechaVinculado);
  }
  if (relatorioAberto) ComandarECF(opeFechaGerencial);
  return true;
}

void TRuVirIdUza::ImprimirTransacoesPendentes() {
  TRuVirIdUzaRespostasPendentes& p = *FRespostasPendentes;
  if (p.Count() == 0) return;
  GravaLog("ImprimirTransacoesPendentes");
  if (!Gerenciador().LiberarECF(true)) throw ERuVirIdUzaECF("ECF não está LIVRE");

  FAutenticacaoPendente.clear();
  bool gerencial = false;
  bool impresso = false;
  for (;;) {
    try {
      impresso = ImprimirPendentesUmaVez(gerencial);
      break;
    } catch (const ERuVirIdUzaECF&) {
      if (DoExibeMsg(opmYesNo, "Impressora não responde\r\nDeseja imprimir novamente ?") != mrYes) {
        break;
      }
      gerencial = true;  // a retry prints everything as one management report
    }
  }
  if (!impresso) {
    try {
      ComandarECF(opeCancelaCupom);
    } catch (...) {
    }
    if (!FModoServico) CancelarTransacoesPendentes();
  } else if (!FModoServico) {
    ConfirmarTransacoesPendentes();
  }
  if (!FAutenticacaoPendente.empty()) {
    DoExibeMsg(opmOK, FAutenticacaoPendente);
    FAutenticacaoPendente.clear();
  }
  p.Clear();
}

}  // namespace tef
