// The file-exchange forms of the manager base: requests and responses as
// files shared with an outside TEF program, through TRuVirIdUzaTroca. No
// manager of this system uses them (CliSiTef overrides every one); the base
// stays complete for managers of that kind.
#include "platform/command.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_class.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_req.h"
#include "tef/ruviriduza_resp.h"
#include "tef/ruviriduza_respostaspendentes.h"
#include "tef/ruviriduza_troca.h"

namespace tef {

// What the exchange sees of its manager and the component.
class TRuVirIdUzaClass::TTrocaHost final : public TRuVirIdUzaTrocaHost {
 public:
  explicit TTrocaHost(TRuVirIdUzaClass& g) : FGerenciador(g) {}

  std::string Nome() const override { return FGerenciador.Name(); }
  TRuVirIdUzaTipo Tipo() const override { return FGerenciador.Tipo(); }
  TRuVirIdUzaReq& Req() override { return FGerenciador.Req(); }
  TRuVirIdUzaResp& Resp() override { return FGerenciador.Resp(); }
  std::string ArqTmp() const override { return FGerenciador.ArqTmp(); }
  std::string ArqReq() const override { return FGerenciador.ArqReq(); }
  std::string ArqResp() const override { return FGerenciador.ArqResp(); }
  std::string ArqSTS() const override { return FGerenciador.ArqSTS(); }
  int EsperaSTS() const override { return FGerenciador.EsperaSTS(); }
  int EsperaSleep() const override { return FGerenciador.Owner().EsperaSleep(); }
  platform::TEnv& Env() override { return FGerenciador.Env(); }
  int IDSeq() const override { return FGerenciador.IDSeq(); }
  void SetIDSeq(int v) override { FGerenciador.SetIDSeq(v); }
  bool AguardandoResposta() const override { return FGerenciador.AguardandoResposta(); }
  void SetAguardandoResposta(bool v) override { FGerenciador.SetAguardandoResposta(v); }
  void GravaLog(const std::string& texto) override { FGerenciador.GravaLog(texto); }
  void VerificaInicializado() override { FGerenciador.VerificaInicializado(); }
  void VerificaAtivo() override { FGerenciador.VerificaAtivo(); }
  bool MultiplosCartoes() const override { return FGerenciador.Owner().MultiplosCartoes(); }
  void ConfirmarTransacoesAnteriores() override { FGerenciador.ConfirmarTransacoesAnteriores(); }
  void SetEstadoReq(TRuVirIdUzaReqEstado e) override { FGerenciador.Owner().SetEstadoReq(e); }
  void SetEstadoResp(TRuVirIdUzaRespEstado e) override { FGerenciador.Owner().SetEstadoResp(e); }
  void AntesFinalizarRequisicao(TRuVirIdUzaReq& r) override {
    if (FGerenciador.Owner().OnAntesFinalizarRequisicao)
      FGerenciador.Owner().OnAntesFinalizarRequisicao(r);
  }
  void AguardaResp(const std::string& arquivo, int segundos, bool& interromper) override {
    if (FGerenciador.Owner().OnAguardaResp)
      FGerenciador.Owner().OnAguardaResp(arquivo, segundos, interromper);
  }
  std::string NomeAplicacao() const override {
    return FGerenciador.Owner().Identificacao().NomeAplicacao();
  }
  std::string VersaoAplicacao() const override {
    return FGerenciador.Owner().Identificacao().VersaoAplicacao();
  }
  std::string RazaoSocial() const override {
    return FGerenciador.Owner().Identificacao().RazaoSocial();
  }
  bool SubtotalizaPeloECF() const override {
    return FGerenciador.Owner().OnComandaECFSubtotaliza &&
           !FGerenciador.Owner().AutoEfetuarPagamento();
  }

 private:
  TRuVirIdUzaClass& FGerenciador;
};

TRuVirIdUzaTroca& TRuVirIdUzaClass::Troca() {
  if (!FTroca) {
    FTrocaHost = std::make_unique<TTrocaHost>(*this);
    FTroca = std::make_unique<TRuVirIdUzaTroca>(*FTrocaHost);
  }
  return *FTroca;
}

void TRuVirIdUzaClass::IniciarRequisicao(const std::string& AHeader, int AID) {
  Troca().IniciarRequisicao(AHeader, AID);
}
void TRuVirIdUzaClass::GravarIdentificacao() { Troca().GravarIdentificacao(); }
void TRuVirIdUzaClass::FinalizarRequisicao() { Troca().FinalizarRequisicao(); }
bool TRuVirIdUzaClass::RespostaValida() { return Troca().RespostaValida(); }
void TRuVirIdUzaClass::LerRespostaRequisicao() { Troca().LerRespostaRequisicao(); }
void TRuVirIdUzaClass::FinalizarResposta(bool ApagarArquivo) {
  Troca().FinalizarResposta(ApagarArquivo);
}
void TRuVirIdUzaClass::VerificaRequisicaoIniciada() { Troca().VerificaRequisicaoIniciada(); }

void TRuVirIdUzaClass::Inicializar() {
  Troca().LimparArquivosAoInicializar();
  fpInicializado = true;
  GravaLog(FName + " Inicializado");
  CancelarTransacoesPendentesClass();
  VerificaAtivo();
}

int TRuVirIdUzaClass::LerTrilha3(std::string& AResposta) {
  AResposta.clear();
  return 0;
}

int TRuVirIdUzaClass::LerCartaoSeguro() { return 0; }

void TRuVirIdUzaClass::AtivarGP() {
  if (TrimTef(fGPExeName).empty()) {
    throw ERuVirIdUzaErro("Nome do executável do Gerenciador Padrão não definido");
  }
  VerificaInicializado();
  // Started detached: the program keeps running after the shell returns.
  std::string citado = "'";
  for (char ch : fGPExeName) citado += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  citado += "'";
  platform::RunCommand("nohup " + citado + " >/dev/null 2>&1 &", 5000);
  Env().SleepMillis(2000);
  Owner().RestaurarFocoAplicacao();
}

void TRuVirIdUzaClass::VerificaAtivo() {
  try {
    ATV();
  } catch (const ERuVirIdUzaGPNaoResponde&) {
    if (!fAutoAtivarGP) throw;
    Owner().DoExibeMsg(opmOK,
                       "O Gerenciador Padrão não está ativo e será ativado automaticamente!");
    AtivarGP();
    ATV();
  }
}

void TRuVirIdUzaClass::ConfirmarTransacoesAnteriores() {
  GravaLog("ConfirmarTransacoesAnteriores");
  ConfirmarRespostasAnteriores(
      Owner().RespostasPendentes(), FTipo,
      [this](TRuVirIdUzaResp& r) {
        CNF(r.Rede(), r.NSU(), r.Finalizacao(), r.DocumentoVinculado());
      },
      Env());
}

void TRuVirIdUzaClass::ATV() {
  IniciarRequisicao("ATV");
  FinalizarRequisicao();
}

bool TRuVirIdUzaClass::ConcluirRequisicao() {
  GravarIdentificacao();
  FinalizarRequisicao();
  LerRespostaRequisicao();
  const bool aprovada = FResp->TransacaoAprovada();
  ProcessarResposta();
  FinalizarResposta(true);
  return aprovada;
}

bool TRuVirIdUzaClass::ADM() {
  IniciarRequisicao("ADM");
  return ConcluirRequisicao();
}

bool TRuVirIdUzaClass::CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
                           const std::string& /*NumeroCartao*/,
                           const std::string& /*DataVencimento*/, const std::string& /*CVV*/,
                           const std::string& /*QtdParcela*/, const std::string& DocumentoVinculado,
                           int Moeda) {
  ValidarValor(Valor);
  IniciarRequisicao("CRT");
  FReq->SetDocumentoVinculado(DocumentoVinculado);
  FReq->SetValorTotal(Valor);
  FReq->SetMoeda(Moeda);
  GravarIdentificacao();
  FinalizarRequisicao();
  LerRespostaRequisicao();
  const bool aprovada = FResp->TransacaoAprovada();
  if (aprovada)
    ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else
    ProcessarResposta();
  FinalizarResposta(true);
  return aprovada;
}

bool TRuVirIdUzaClass::CHQ(TCurrency Valor, const std::string& IndiceFPG_ECF,
                           const std::string& DocumentoVinculado, const TRuVirIdUzaCheque& Cheque) {
  ValidarValor(Valor);
  IniciarRequisicao("CHQ");
  FReq->SetDocumentoVinculado(DocumentoVinculado);
  FReq->SetValorTotal(Valor);
  FReq->SetCMC7(Cheque.CMC7);
  FReq->SetTipoPessoa(Cheque.TipoPessoa);
  FReq->SetDocumentoPessoa(Cheque.DocumentoPessoa);
  FReq->SetDataCheque(Cheque.DataCheque);
  FReq->SetBanco(Cheque.Banco);
  FReq->SetAgencia(Cheque.Agencia);
  FReq->SetAgenciaDC(Cheque.AgenciaDC);
  FReq->SetConta(Cheque.Conta);
  FReq->SetContaDC(Cheque.ContaDC);
  FReq->SetCheque(Cheque.Cheque);
  FReq->SetChequeDC(Cheque.ChequeDC);
  GravarIdentificacao();
  FinalizarRequisicao();
  LerRespostaRequisicao();
  // A refusal without receipt carries only its message to the operator.
  if (FResp->QtdLinhasComprovante() <= 0 && TrimTef(FResp->StatusTransacao()) != "0") {
    ProcessarResposta();
  }
  const bool aprovada = FResp->TransacaoAprovada();
  if (aprovada) ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  FinalizarResposta(true);
  return aprovada;
}

void TRuVirIdUzaClass::NCN(const std::string& Rede, const std::string& NSU,
                           const std::string& Finalizacao, TCurrency Valor,
                           const std::string& DocumentoVinculado) {
  IniciarRequisicao("NCN");
  FReq->SetDocumentoVinculado(DocumentoVinculado);
  FReq->SetRede(Rede);
  FReq->SetNSU(NSU);
  FReq->SetFinalizacao(Finalizacao);
  FinalizarRequisicao();
  Owner().DoExibeMsg(opmOK, MensagemNCN(Rede, NSU, Valor));
}

void TRuVirIdUzaClass::CNF(const std::string& Rede, const std::string& NSU,
                           const std::string& Finalizacao, const std::string& DocumentoVinculado) {
  IniciarRequisicao("CNF");
  FReq->SetDocumentoVinculado(DocumentoVinculado);
  FReq->SetRede(Rede);
  FReq->SetNSU(NSU);
  FReq->SetFinalizacao(Finalizacao);
  FinalizarRequisicao();
}

bool TRuVirIdUzaClass::CNC() {
  const std::string rede = FResp->Rede();
  const std::string nsu = FResp->NSU();
  const platform::TDateTime data = FResp->DataHoraTransacaoComprovante();
  const TCurrency valor = FResp->ValorTotal();
  return TRuVirIdUzaClass::CNC(rede, nsu, data, valor);
}

bool TRuVirIdUzaClass::CNC(const std::string& Rede, const std::string& NSU,
                           const platform::TDateTime& DataHoraTransacao, TCurrency Valor) {
  IniciarRequisicao("CNC");
  FReq->SetValorTotal(Valor);
  FReq->SetRede(Rede);
  FReq->SetNSU(NSU);
  FReq->SetDataHoraTransacaoComprovante(DataHoraTransacao);
  return ConcluirRequisicao();
}

}  // namespace tef
