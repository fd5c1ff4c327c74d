#include "tef/ruviriduza_troca.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_resp_txt.h"

namespace tef {
namespace {

namespace fs = std::filesystem;

// A manager whose outside program is played by the AguardaResp callback: it
// answers the request file with status and response files.
class FakeHost : public TRuVirIdUzaTrocaHost {
 public:
  explicit FakeHost(const fs::path& dir) : FDir(dir) {}

  std::string Nome() const override { return "TefDial"; }
  TRuVirIdUzaTipo Tipo() const override { return gpTefDial; }
  TRuVirIdUzaReq& Req() override { return FReq; }
  TRuVirIdUzaResp& Resp() override { return FResp; }
  std::string ArqTmp() const override { return (FDir / "req" / "intpos.tmp").string(); }
  std::string ArqReq() const override { return (FDir / "req" / "intpos.001").string(); }
  std::string ArqResp() const override { return (FDir / "resp" / "intpos.001").string(); }
  std::string ArqSTS() const override { return (FDir / "resp" / "intpos.sts").string(); }
  int EsperaSTS() const override { return espera_sts; }
  int EsperaSleep() const override { return 10; }
  int IDSeq() const override { return FId; }
  void SetIDSeq(int v) override { FId = v; }
  bool AguardandoResposta() const override { return FAguardando; }
  void SetAguardandoResposta(bool v) override { FAguardando = v; }
  void GravaLog(const std::string& t) override { log.push_back(t); }
  void VerificaInicializado() override {
    if (!inicializado) throw ERuVirIdUzaGPNaoInicializado("nao inicializado");
  }
  void VerificaAtivo() override { ++verifica_ativo; }
  bool MultiplosCartoes() const override { return multiplos; }
  void ConfirmarTransacoesAnteriores() override { ++confirmar_anteriores; }
  void SetEstadoReq(TRuVirIdUzaReqEstado e) override { estados_req.push_back(e); }
  void AguardaResp(const std::string& arquivo, int segundos, bool& interromper) override {
    esperas.emplace_back(arquivo, segundos);
    if (programa) programa(arquivo, segundos, interromper);
  }
  std::string NomeAplicacao() const override { return "Caixa"; }
  std::string VersaoAplicacao() const override { return "1.0.12"; }
  std::string RazaoSocial() const override { return razao; }

  // Writes a response file for the current request, as the outside program.
  void Responder(const std::string& arquivo, const std::string& header, int id, bool trailer = true,
                 const std::string& status = "0") {
    TRuVirIdUzaArquivo a;
    a.GravaInformacao(0, 0, header);
    a.GravaInformacao(1, 0, std::to_string(id));
    a.GravaInformacao(9, 0, status);
    if (trailer) a.GravaInformacao(999, 999, "0");
    a.GravarArquivo(arquivo, false);
  }

  bool inicializado = true;
  bool multiplos = false;
  int espera_sts = 1;
  int verifica_ativo = 0;
  int confirmar_anteriores = 0;
  std::string razao = "Loja Modelo";
  std::vector<std::string> log;
  std::vector<TRuVirIdUzaReqEstado> estados_req;
  std::vector<std::pair<std::string, int>> esperas;
  std::function<void(const std::string&, int, bool&)> programa;

 private:
  fs::path FDir;
  TRuVirIdUzaReq FReq;
  TRuVirIdUzaRespTXT FResp;
  int FId = 100;
  bool FAguardando = false;
};

class TrocaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() /
           (std::string("troca_test_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir / "req");
    fs::create_directories(FDir / "resp");
    FHost = std::make_unique<FakeHost>(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }
  fs::path FDir;
  std::unique_ptr<FakeHost> FHost;
};

TEST_F(TrocaTest, RequestStatusAndResponseRoundTrip) {
  FakeHost& h = *FHost;
  TRuVirIdUzaTroca troca(h);
  // Leftovers of an earlier exchange are removed.
  h.Responder(h.ArqResp(), "OLD", 1);
  h.Responder(h.ArqSTS(), "OLD", 1);

  troca.IniciarRequisicao("ADM");
  EXPECT_EQ(h.IDSeq(), 101);
  EXPECT_FALSE(fs::exists(h.ArqResp()));
  EXPECT_FALSE(fs::exists(h.ArqSTS()));
  EXPECT_TRUE(fs::exists(h.ArqTmp()));
  EXPECT_EQ(h.verifica_ativo, 1);
  troca.GravarIdentificacao();

  std::vector<std::string> pedido;
  h.programa = [&](const std::string& arquivo, int, bool&) {
    if (arquivo == h.ArqSTS() && !fs::exists(h.ArqSTS()) && fs::exists(h.ArqReq())) {
      TRuVirIdUzaArquivo lido;
      lido.LeArquivo(h.ArqReq());
      pedido = lido.Linhas();
      h.Responder(h.ArqSTS(), "ADM", 101);
    }
    if (arquivo == h.ArqResp()) h.Responder(h.ArqResp(), "ADM", 101, true, "0");
  };
  troca.FinalizarRequisicao();
  EXPECT_EQ(pedido,
            (std::vector<std::string>{"000-000 = ADM", "001-000 = 101", "701-000 = Caixa 1.0.12",
                                      "706-000 = 1", "716-000 = Loja Modelo", "999-999 = 0"}));
  EXPECT_FALSE(fs::exists(h.ArqTmp()));
  EXPECT_FALSE(fs::exists(h.ArqSTS()));
  EXPECT_EQ(h.estados_req.back(), reqFinalizada);
  EXPECT_EQ(h.esperas.back().second, -1);  // the closing call of the wait

  troca.LerRespostaRequisicao();
  EXPECT_EQ(h.Resp().Header(), "ADM");
  EXPECT_TRUE(h.Resp().TransacaoAprovada());
  EXPECT_EQ(h.Resp().TipoGP(), gpTefDial);
  EXPECT_FALSE(fs::exists(h.ArqReq()));
  EXPECT_FALSE(h.AguardandoResposta());

  troca.FinalizarResposta(true);
  EXPECT_FALSE(fs::exists(h.ArqResp()));
  EXPECT_EQ(h.Req().Conteudo().Count(), 0);
  EXPECT_FALSE(troca.RequisicaoIniciada());
  EXPECT_EQ(h.log.front(), "TefDial IniciarRequisicao: ADM");
  EXPECT_EQ(h.log.back(), "TefDial FinalizarResposta: ADM");
}

TEST_F(TrocaTest, NoStatusFileMeansTheProgramIsNotActive) {
  FakeHost& h = *FHost;
  h.espera_sts = 0;
  TRuVirIdUzaTroca troca(h);
  troca.IniciarRequisicao("ATV", 7);
  EXPECT_EQ(h.IDSeq(), 7);
  EXPECT_EQ(h.verifica_ativo, 0);  // ATV is the check itself
  try {
    troca.FinalizarRequisicao();
    FAIL() << "no exception";
  } catch (const ERuVirIdUzaGPNaoResponde& e) {
    EXPECT_STREQ(e.what(), "O gerenciador padrão TefDial não está ativo !");
  }
  EXPECT_EQ(h.log.back(), ", Fim da Espera de: " + h.ArqSTS() + " Não recebido");
  EXPECT_FALSE(h.AguardandoResposta());
}

TEST_F(TrocaTest, StatusForAnotherRequestIsInvalid) {
  FakeHost& h = *FHost;
  TRuVirIdUzaTroca troca(h);
  troca.IniciarRequisicao("CRT");
  h.programa = [&](const std::string& arquivo, int, bool&) {
    if (arquivo == h.ArqSTS() && !fs::exists(arquivo)) h.Responder(arquivo, "CRT", 99);
  };
  try {
    troca.FinalizarRequisicao();
    FAIL() << "no exception";
  } catch (const ERuVirIdUzaSTSInvalido& e) {
    EXPECT_STREQ(e.what(), "Falha na comunicação com o Gereciador Padrão: TefDial");
  }
  EXPECT_EQ(h.Req().Conteudo().Count(), 0);
}

TEST_F(TrocaTest, InvalidResponsesAreDroppedUntilAValidOneArrives) {
  FakeHost& h = *FHost;
  TRuVirIdUzaTroca troca(h);
  troca.IniciarRequisicao("CRT");
  int tentativas = 0;
  h.programa = [&](const std::string& arquivo, int, bool&) {
    if (arquivo == h.ArqSTS() && !fs::exists(arquivo)) h.Responder(arquivo, "CRT", 101);
    if (arquivo == h.ArqResp() && !fs::exists(arquivo)) {
      ++tentativas;
      // First without trailer (still being written), then complete.
      h.Responder(arquivo, "CRT", 101, tentativas > 1);
    }
  };
  troca.FinalizarRequisicao();
  troca.LerRespostaRequisicao();
  EXPECT_EQ(tentativas, 2);
  EXPECT_EQ(h.Resp().Trailer(), "0");
  const bool logged = std::any_of(h.log.begin(), h.log.end(), [](const std::string& l) {
    return l.rfind(", Arquivo inválido desprezado: \"", 0) == 0;
  });
  EXPECT_TRUE(logged);
}

TEST_F(TrocaTest, HostInterruptsTheResponseWait) {
  FakeHost& h = *FHost;
  TRuVirIdUzaTroca troca(h);
  troca.IniciarRequisicao("ADM");
  h.programa = [&](const std::string& arquivo, int, bool& interromper) {
    if (arquivo == h.ArqSTS() && !fs::exists(arquivo)) h.Responder(arquivo, "ADM", 101);
    if (arquivo == h.ArqResp()) interromper = true;
  };
  troca.FinalizarRequisicao();
  troca.LerRespostaRequisicao();
  EXPECT_EQ(h.Resp().Header(), "");
  EXPECT_FALSE(h.Resp().TransacaoAprovada());
}

TEST_F(TrocaTest, GuardsAndChecks) {
  FakeHost& h = *FHost;
  TRuVirIdUzaTroca troca(h);
  EXPECT_THROW(troca.FinalizarRequisicao(), ERuVirIdUzaErro);
  EXPECT_THROW(troca.LerRespostaRequisicao(), ERuVirIdUzaErro);
  h.SetAguardandoResposta(true);
  try {
    troca.IniciarRequisicao("ADM");
    FAIL() << "no exception";
  } catch (const ERuVirIdUzaErro& e) {
    EXPECT_STREQ(e.what(), "Requisição anterior não concluida");
  }
  h.SetAguardandoResposta(false);
  h.inicializado = false;
  EXPECT_THROW(troca.IniciarRequisicao("ADM"), ERuVirIdUzaGPNaoInicializado);
  h.inicializado = true;
  h.multiplos = true;
  troca.IniciarRequisicao("CHQ");
  EXPECT_EQ(h.confirmar_anteriores, 1);
  troca.IniciarRequisicao("ADM");
  EXPECT_EQ(h.confirmar_anteriores, 1);
}

TEST_F(TrocaTest, IdentificationOnlyWhenKnown) {
  struct Sem : FakeHost {
    using FakeHost::FakeHost;
    std::string NomeAplicacao() const override { return ""; }
    std::string VersaoAplicacao() const override { return ""; }
    bool SubtotalizaPeloECF() const override { return true; }
  } sem(FDir);
  sem.razao = "";
  TRuVirIdUzaTroca t2(sem);
  t2.GravarIdentificacao();
  EXPECT_EQ(sem.Req().Conteudo().Count(), 0);
  sem.razao = "Empresa";
  t2.GravarIdentificacao();
  EXPECT_EQ(sem.Req().Conteudo().Linhas(),
            (std::vector<std::string>{"706-000 = 3", "716-000 = Empresa"}));
}

TEST_F(TrocaTest, StartupCleanupKeepsOnlyAnUnfinishedResponse) {
  FakeHost& h = *FHost;
  TRuVirIdUzaTroca troca(h);
  for (const std::string status : {"ff", "0"}) {
    h.Responder(h.ArqTmp(), "X", 1);
    h.Responder(h.ArqReq(), "X", 1);
    h.Responder(h.ArqSTS(), "X", 1);
    h.Responder(h.ArqResp(), "CRT", 1, true, status);
    troca.LimparArquivosAoInicializar();
    EXPECT_FALSE(fs::exists(h.ArqTmp()));
    EXPECT_FALSE(fs::exists(h.ArqReq()));
    EXPECT_FALSE(fs::exists(h.ArqSTS()));
    EXPECT_EQ(fs::exists(h.ArqResp()), status == "ff") << status;
  }
}

TEST_F(TrocaTest, ConfirmingEarlierPaymentsRewritesBackupsAndDropsPendingFiles) {
  TRuVirIdUzaRespostasPendentes pendentes;
  const std::string backup = (FDir / "RuVirIdUza_TefDial_001.tef").string();
  const std::string pendente = (FDir / "pendente.001").string();
  auto nova = [&](const char* header, TRuVirIdUzaTipo tipo) {
    auto r = std::make_unique<TRuVirIdUzaRespTXT>();
    r->Conteudo().GravaInformacao(0, 0, header);
    r->ConteudoToProperty();
    r->SetTipoGP(tipo);
    return r;
  };
  auto crt = nova("CRT", gpTefDial);
  crt->SetArqBackup(backup);
  crt->SetArqRespPendente(pendente);
  crt->Conteudo().GravarArquivo(pendente, false);
  pendentes.Add(std::move(crt));
  pendentes.Add(nova("ADM", gpTefDial));
  pendentes.Add(nova("CHQ", gpCliSiTef));
  std::vector<std::string> confirmados;
  ConfirmarRespostasAnteriores(pendentes, gpTefDial,
                               [&](TRuVirIdUzaResp& r) { confirmados.push_back(r.Header()); });
  EXPECT_EQ(confirmados, (std::vector<std::string>{"CRT"}));
  EXPECT_TRUE(pendentes[0].CNFEnviado());
  EXPECT_FALSE(fs::exists(pendente));
  TRuVirIdUzaArquivo salvo;
  salvo.LeArquivo(backup);
  EXPECT_EQ(salvo.LeInformacao(899, 1).AsString(), "S");
  ConfirmarRespostasAnteriores(pendentes, gpTefDial, [&](TRuVirIdUzaResp&) { FAIL(); });
}

TEST(TrocaMensagemTest, UndoNotice) {
  EXPECT_EQ(MensagemNCN("", "", TCurrency()), "Última Transação TEF foi cancelada");
  EXPECT_EQ(MensagemNCN("REDE", "123", TCurrency::FromCents(1050)),
            "Última Transação TEF foi cancelada\r\n\r\nRede: REDE\r\nNSU: 123\r\nValor: 10,50");
}

TEST(TrocaMensagemTest, DeleteFailsWhenTheFileSurvives) {
  const fs::path dir = fs::temp_directory_path() / "troca_apagar_test";
  fs::remove_all(dir);
  fs::create_directories(dir / "cheia");
  std::ofstream((dir / "cheia" / "x").string()) << "x";
  EXPECT_NO_THROW(ApagarArquivoTef((dir / "nao_existe").string()));
  EXPECT_NO_THROW(ApagarArquivoTef(""));
  try {
    ApagarArquivoTef((dir / "cheia").string());  // a non-empty folder cannot be removed
    FAIL() << "no exception";
  } catch (const ERuVirIdUzaArquivo& e) {
    EXPECT_EQ(std::string(e.what()), "Erro ao apagar o arquivo:\r\n" + (dir / "cheia").string());
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tef
