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
  explicit TTrocaHost(TRuVirIdUzaClass& g) : g_(g) {}

  std::string Nome() const override { return g_.Name(); }
  TRuVirIdUzaTipo Tipo() const override { return g_.Tipo(); }
  TRuVirIdUzaReq& Req() override { return g_.Req(); }
  TRuVirIdUzaResp& Resp() override { return g_.Resp(); }
  std::string ArqTmp() const override { return g_.ArqTmp(); }
  std::string ArqReq() const override { return g_.ArqReq(); }
  std::string ArqResp() const override { return g_.ArqResp(); }
  std::string ArqSTS() const override { return g_.ArqSTS(); }
  int EsperaSTS() const override { return g_.EsperaSTS(); }
  int EsperaSleep() const override { return g_.Owner().EsperaSleep(); }
  platform::TEnv& Env() override { return g_.Env(); }
  int IDSeq() const override { return g_.IDSeq(); }
  void SetIDSeq(int v) override { g_.SetIDSeq(v); }
  bool AguardandoResposta() const override { return g_.AguardandoResposta(); }
  void SetAguardandoResposta(bool v) override { g_.SetAguardandoResposta(v); }
  void GravaLog(const std::string& texto) override { g_.GravaLog(texto); }
  void VerificaInicializado() override { g_.VerificaInicializado(); }
  void VerificaAtivo() override { g_.VerificaAtivo(); }
  bool MultiplosCartoes() const override { return g_.Owner().MultiplosCartoes(); }
  void ConfirmarTransacoesAnteriores() override { g_.ConfirmarTransacoesAnteriores(); }
  void SetEstadoReq(TRuVirIdUzaReqEstado e) override { g_.Owner().SetEstadoReq(e); }
  void SetEstadoResp(TRuVirIdUzaRespEstado e) override { g_.Owner().SetEstadoResp(e); }
  void AntesFinalizarRequisicao(TRuVirIdUzaReq& r) override {
    if (g_.Owner().OnAntesFinalizarRequisicao) g_.Owner().OnAntesFinalizarRequisicao(r);
  }
  void AguardaResp(const std::string& arquivo, int segundos, bool& interromper) override {
    if (g_.Owner().OnAguardaResp) g_.Owner().OnAguardaResp(arquivo, segundos, interromper);
  }
  std::string NomeAplicacao() const override { return g_.Owner().Identificacao().NomeAplicacao(); }
  std::string VersaoAplicacao() const override {
    return g_.Owner().Identificacao().VersaoAplicacao();
  }
  std::string RazaoSocial() const override { return g_.Owner().Identificacao().RazaoSocial(); }
  bool SubtotalizaPeloECF() const override {
    return g_.Owner().OnComandaECFSubtotaliza && !g_.Owner().AutoEfetuarPagamento();
  }

 private:
  TRuVirIdUzaClass& g_;
};

TRuVirIdUzaTroca& TRuVirIdUzaClass::Troca() {
  if (!fTroca) {
    fTrocaHost = std::make_unique<TTrocaHost>(*this);
    fTroca = std::make_unique<TRuVirIdUzaTroca>(*fTrocaHost);
  }
  return *fTroca;
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
  GravaLog(fName + " Inicializado");
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
    Owner().DoExibeMsg(opmOK, "O Gerenciador Padrão não está ativo e será ativado automaticamente!");
    AtivarGP();
    ATV();
  }
}

void TRuVirIdUzaClass::ConfirmarTransacoesAnteriores() {
  GravaLog("ConfirmarTransacoesAnteriores");
  ConfirmarRespostasAnteriores(Owner().RespostasPendentes(), fTipo, [this](TRuVirIdUzaResp& r) {
    CNF(r.Rede(), r.NSU(), r.Finalizacao(), r.DocumentoVinculado());
  }, Env());
}

void TRuVirIdUzaClass::ATV() {
  IniciarRequisicao("ATV");
  FinalizarRequisicao();
}

bool TRuVirIdUzaClass::ConcluirRequisicao() {
  GravarIdentificacao();
  FinalizarRequisicao();
  LerRespostaRequisicao();
  const bool aprovada = fResp->TransacaoAprovada();
  ProcessarResposta();
  FinalizarResposta(true);
  return aprovada;
}

bool TRuVirIdUzaClass::ADM() {
  IniciarRequisicao("ADM");
  return ConcluirRequisicao();
}

bool TRuVirIdUzaClass::CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
                           const std::string& /*NumeroCartao*/, const std::string& /*DataVencimento*/,
                           const std::string& /*CVV*/, const std::string& /*QtdParcela*/,
                           const std::string& DocumentoVinculado, int Moeda) {
  ValidarValor(Valor);
  IniciarRequisicao("CRT");
  fReq->SetDocumentoVinculado(DocumentoVinculado);
  fReq->SetValorTotal(Valor);
  fReq->SetMoeda(Moeda);
  GravarIdentificacao();
  FinalizarRequisicao();
  LerRespostaRequisicao();
  const bool aprovada = fResp->TransacaoAprovada();
  if (aprovada) ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  else ProcessarResposta();
  FinalizarResposta(true);
  return aprovada;
}

bool TRuVirIdUzaClass::CHQ(TCurrency Valor, const std::string& IndiceFPG_ECF,
                           const std::string& DocumentoVinculado, const TRuVirIdUzaCheque& Cheque) {
  ValidarValor(Valor);
  IniciarRequisicao("CHQ");
  fReq->SetDocumentoVinculado(DocumentoVinculado);
  fReq->SetValorTotal(Valor);
  fReq->SetCMC7(Cheque.CMC7);
  fReq->SetTipoPessoa(Cheque.TipoPessoa);
  fReq->SetDocumentoPessoa(Cheque.DocumentoPessoa);
  fReq->SetDataCheque(Cheque.DataCheque);
  fReq->SetBanco(Cheque.Banco);
  fReq->SetAgencia(Cheque.Agencia);
  fReq->SetAgenciaDC(Cheque.AgenciaDC);
  fReq->SetConta(Cheque.Conta);
  fReq->SetContaDC(Cheque.ContaDC);
  fReq->SetCheque(Cheque.Cheque);
  fReq->SetChequeDC(Cheque.ChequeDC);
  GravarIdentificacao();
  FinalizarRequisicao();
  LerRespostaRequisicao();
  // A refusal without receipt carries only its message to the operator.
  if (fResp->QtdLinhasComprovante() <= 0 && TrimTef(fResp->StatusTransacao()) != "0") {
    ProcessarResposta();
  }
  const bool aprovada = fResp->TransacaoAprovada();
  if (aprovada) ProcessarRespostaPagamento(IndiceFPG_ECF, Valor);
  FinalizarResposta(true);
  return aprovada;
}

void TRuVirIdUzaClass::NCN(const std::string& Rede, const std::string& NSU,
                           const std::string& Finalizacao, TCurrency Valor,
                           const std::string& DocumentoVinculado) {
  IniciarRequisicao("NCN");
  fReq->SetDocumentoVinculado(DocumentoVinculado);
  fReq->SetRede(Rede);
  fReq->SetNSU(NSU);
  fReq->SetFinalizacao(Finalizacao);
  FinalizarRequisicao();
  Owner().DoExibeMsg(opmOK, MensagemNCN(Rede, NSU, Valor));
}

void TRuVirIdUzaClass::CNF(const std::string& Rede, const std::string& NSU,
                           const std::string& Finalizacao, const std::string& DocumentoVinculado) {
  IniciarRequisicao("CNF");
  fReq->SetDocumentoVinculado(DocumentoVinculado);
  fReq->SetRede(Rede);
  fReq->SetNSU(NSU);
  fReq->SetFinalizacao(Finalizacao);
  FinalizarRequisicao();
}

bool TRuVirIdUzaClass::CNC() {
  const std::string rede = fResp->Rede();
  const std::string nsu = fResp->NSU();
  const platform::TDateTime data = fResp->DataHoraTransacaoComprovante();
  const TCurrency valor = fResp->ValorTotal();
  return TRuVirIdUzaClass::CNC(rede, nsu, data, valor);
}

bool TRuVirIdUzaClass::CNC(const std::string& Rede, const std::string& NSU,
                           const platform::TDateTime& DataHoraTransacao, TCurrency Valor) {
  IniciarRequisicao("CNC");
  fReq->SetValorTotal(Valor);
  fReq->SetRede(Rede);
  fReq->SetNSU(NSU);
  fReq->SetDataHoraTransacaoComprovante(DataHoraTransacao);
  return ConcluirRequisicao();
}

}  // namespace tef
