// Pending transactions: value checks, finishing in the library, backup files
// and their recovery, cancellation, and the printing path of hosts that do
// not run in service mode.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/testenv.h"
#include "ruviriduza_fake.h"
#include "ruviriduza_sim.h"
#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_resp_clisitef.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace {

using namespace tef;
using namespace tef_test;
using namespace tef::clisitef;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace fs = std::filesystem;

Passo Campo(int campo, std::string texto) {
  return Passo{kContinuar, kCmdGravarCampo, campo, std::move(texto), 0, 0};
}

class PendentesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pasta = NovaPasta("pend");
    backup = pasta + "/TEF";
    c.SetPathBackup(backup);
    c.SetArqLOG(pasta + "/tef.log");
    m.SetLoader(&loader);
    ev.Ligar(c);
  }
  void TearDown() override { fs::remove_all(pasta); }

  void Servico(bool sim) {
    c.SetModoServico(sim);
    m.SetModoServico(sim);
  }
  void Iniciar() { c.Inicializar(gpCliSiTef); }

  // A backup file as a previous run would have left it.
  std::string DeixarBackup(int n, const std::string& nsu, const std::string& doc) {
    TRuVirIdUzaRespCliSiTef r;
    r.Conteudo().GravaInformacao(kCampoControle, kControleHeader, "CRT");
    r.Conteudo().GravaInformacao(kCampoControle, kControleDocumento, doc);
    r.Conteudo().GravaInformacao(kCampoControle, kControleDocumentoVinculado, doc);
    r.Conteudo().GravaInformacao(kCampoControle, kControleValorCentavos, "1000");
    r.Conteudo().GravaInformacao(kCampoNSU, 0, nsu);
    fs::create_directories(backup);
    char nome[64];
    std::snprintf(nome, sizeof nome, "/RuVirIdUza_CliSiTef_%03d.tef", n);
    r.Conteudo().GravarArquivo(backup + nome, false);
    return backup + nome;
  }
  std::vector<std::string> Backups() const {
    std::vector<std::string> r;
    if (!fs::exists(backup)) return r;
    for (const auto& e : fs::directory_iterator(backup)) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
  }
  // An approved payment of 10,00 with both receipt copies.
  bool PagarComComprovantes() {
    fake.passos = {Campo(kCampoComprovante1aVia, "VIA CLIENTE\nCART\xC3O"),
                   Campo(kCampoComprovante2aVia, "VIA LOJA"), Campo(kCampoNSU, "000555")};
    m.SetOperacaoCRT(2);
    return c.CRT(10.0, "01");
  }

  std::string pasta, backup;
  FakeCliSiTef fake;
  FakeLoader loader;
  Eventos ev;
  platform::TFailingFileEnv arquivos;
  platform::TManualClockEnv env{arquivos};
  TRuVirIdUza c{env};
  TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
};

TEST_F(PendentesTest, ValueChecksBeforeAnythingReachesTheLibrary) {
  Servico(true);
  Iniciar();
  TRuVirIdUzaRespostasPendentes& p = c.RespostasPendentes();
  struct Caso {
    double valor;
    int64_t trocoCentavos;
    bool multiplos;
    int maximo;
    int pendentes;
    const char* mensagem;  // nullptr: accepted
  };
  const Caso casos[] = {
      {0.0, 0, false, 0, 0, "Valor inválido"},
      {-5.0, 0, false, 0, 0, "Valor inválido"},
      {0.004, 0, false, 0, 0, "Valor inválido"},  // rounds to 0,00
      {110.01, 1000, false, 0, 0, "Operação TEF permite Troco Máximo de R$ 10,00"},
      {110.00, 1000, false, 0, 0, nullptr},
      {500.00, 0, false, 0, 0, nullptr},  // no maximum change: no limit
      {10.00, 0, true, 2, 2, "Multiplos Cartões Limitado a 2 operações."},
      {10.00, 0, true, 2, 1, nullptr},
      {10.00, 0, false, 2, 2, nullptr},
  };
  for (const Caso& k : casos) {
    p.Clear();
    p.SetValorTotalAPagar(TCurrency::FromInteger(100));
    p.SetValorDinheiro(TCurrency());
    c.SetTrocoMaximo(TCurrency::FromCents(k.trocoCentavos));
    c.SetMultiplosCartoes(k.multiplos);
    c.SetNumeroMaximoCartoes(k.maximo);
    for (int i = 0; i < k.pendentes; ++i) {
      auto r = std::make_unique<TRuVirIdUzaRespCliSiTef>();
      r->SetOrdemPagamento(1);  // registered: does not lower the balance
      p.Add(std::move(r));
    }
    c.OnDepoisConfirmarTransacoes = nullptr;
    const size_t inicios = fake.inicios.size();
    fake.passos = {};
    if (k.mensagem == nullptr) {
      EXPECT_TRUE(c.CRT(k.valor, "01")) << k.valor;
      EXPECT_EQ(p.SaldoAPagar(), TCurrency::FromDouble(k.valor));
    } else {
      try {
        c.CRT(k.valor, "01");
        ADD_FAILURE() << "accepted " << k.valor;
      } catch (const ERuVirIdUzaErro& e) {
        EXPECT_STREQ(e.what(), k.mensagem);
      }
      EXPECT_EQ(fake.inicios.size(), inicios);
    }
  }
}

TEST_F(PendentesTest, TwoBackupsAreConfirmedAtStartUpAndADamagedOneStays) {
  Servico(true);
  DeixarBackup(1, "000111", "111");
  std::ofstream(backup + "/RuVirIdUza_CliSiTef_002.tef") << "lixo sem chave\r\n";
  DeixarBackup(3, "000333", "333");
  std::ofstream(backup + "/RuVirIdUza_Outro_001.tef") << "899-100 = CRT\r\n";
  Iniciar();

  EXPECT_THAT(fake.finalizacoes,
              ElementsAre(StartsWith("Funcao|1|111|"), StartsWith("Funcao|1|333|")));
  EXPECT_THAT(ev.pendentesConfirmadas, ElementsAre(2));
  EXPECT_THAT(ev.nsusConfirmadas, ElementsAre("000111", "000333"));
  EXPECT_EQ(ev.Com("Msg:opmOK").back(),
            "Msg:opmOK:Transação TEF efetuada.\r\nFavor reimprimir último Cupom.\r\n"
            "NSU: 000111\r\n000333\r\n\r\nNº Documento: 111\r\n333\r\n\r\n"
            "(Para Cielo utilizar os 6 últimos dígitos.)");
  EXPECT_THAT(Backups(), ElementsAre("RuVirIdUza_CliSiTef_002.tef", "RuVirIdUza_Outro_001.tef"));
  EXPECT_TRUE(c.TransacaoConfirmada());
  EXPECT_EQ(c.RespostasPendentes().Count(), 0);
}

TEST_F(PendentesTest, NoBackupsNoMessage) {
  Servico(true);
  Iniciar();
  EXPECT_FALSE(c.TransacaoConfirmada());
  EXPECT_TRUE(ev.Com("Msg:opmOK").empty());
  EXPECT_TRUE(ev.pendentesConfirmadas.empty());
}

TEST_F(PendentesTest, FinishingInServiceMode) {
  Servico(true);
  Iniciar();
  c.OnDepoisConfirmarTransacoes = nullptr;
  fake.passos = {Campo(kCampoNSU, "1")};
  c.CRT(1.0, "01");
  EXPECT_TRUE(c.ConfirmarTransacao(false, "DOC9"));
  ASSERT_EQ(fake.finalizacoes.size(), 1u);
  EXPECT_THAT(fake.finalizacoes[0], StartsWith("Funcao|0|DOC9|"));
  EXPECT_EQ(ev.Com("Msg:opmOK").back(), "Msg:opmOK:Transação \"TEF\" não efetuada.");
  EXPECT_THAT(
      LerArquivo(pasta + "/tef.log"),
      HasSubstr("*** FinalizaFuncaoSiTefInterativo -> Cancelamento: NÃO Documento: DOC9 Data: "));

  // A return is confirmed with its notice; a reprint is not finished at all.
  fake.passos = {Campo(kCampoDevolucao, "1")};
  c.ADM();
  EXPECT_TRUE(c.ConfirmarTransacao(true, "DOC10"));
  EXPECT_THAT(fake.finalizacoes.back(), StartsWith("Funcao|1|DOC10|"));
  EXPECT_EQ(ev.Com("Msg:opmOK").back(),
            "Msg:opmOK:Transação efetuada com sucesso.\r\nFavor reter o Cupom");
  m.DefinirResposta(kCampoValor, "1,00");
  fake.passos = {Campo(kCampoReimpressao57, "000555")};
  c.ADM();
  EXPECT_TRUE(c.ConfirmarTransacao(true, "DOC11"));
  EXPECT_EQ(fake.finalizacoes.size(), 2u);
  EXPECT_TRUE(m.Respostas().empty());  // pre-answers end with the transaction

  // A library that is gone: reported as false, not raised.
  fake.passos = {Campo(kCampoNSU, "2")};
  c.CRT(1.0, "01");
  c.DesInicializar(gpNenhum);
  EXPECT_FALSE(c.ConfirmarTransacao(true, "DOC12"));
}

TEST_F(PendentesTest, CancelarTransacoesPendentesDoesNothingInServiceMode) {
  Servico(true);
  Iniciar();
  const std::string arq = DeixarBackup(1, "000111", "111");
  c.RespostasPendentes().Add(std::make_unique<TRuVirIdUzaRespCliSiTef>());
  c.CancelarTransacoesPendentes();
  EXPECT_TRUE(fs::exists(arq));
  EXPECT_EQ(c.RespostasPendentes().Count(), 1);
  EXPECT_TRUE(ev.Com("DepoisCancelar").empty());
  EXPECT_TRUE(fake.finalizacoes.empty());
}

TEST_F(PendentesTest, ServiceModeHandsThePaymentOverWithoutBackupOrPrinting) {
  Servico(true);
  Iniciar();
  ASSERT_TRUE(PagarComComprovantes());
  EXPECT_THAT(ev.pendentesConfirmadas, ElementsAre(1));
  EXPECT_EQ(c.RespostasPendentes().Count(), 1);  // the host empties it
  EXPECT_EQ(c.RespostasPendentes()[0].IndiceFPG_ECF(), "01");
  EXPECT_TRUE(Backups().empty());
  EXPECT_TRUE(ev.viasImpressas.empty());
}

// ---------------------------------------------------------------- printing path

TEST_F(PendentesTest, PrintingPathPrintsBothCopiesOnABoundReceipt) {
  Servico(false);
  Iniciar();
  c.RespostasPendentes().SetValorTotalAPagar(TCurrency::FromInteger(10));
  ASSERT_TRUE(PagarComComprovantes());
  EXPECT_THAT(ev.viasImpressas,
              ElementsAre(ElementsAre("VIA CLIENTE", "CARTÃO"), ElementsAre("VIA LOJA")));
  EXPECT_THAT(ev.Com("AbreVinculado:"), ElementsAre(StartsWith("AbreVinculado:")));
  EXPECT_THAT(ev.Com("AbreVinculado:")[0], ::testing::EndsWith(":01:10,00"));
  EXPECT_THAT(ev.Com("ImprimeVia:"),
              ElementsAre("ImprimeVia:trVinculado:1", "ImprimeVia:trVinculado:2"));
  EXPECT_THAT(ev.Com("ECF:"), ElementsAre("ECF:opeFechaVinculado"));
  EXPECT_TRUE(Backups().empty());  // confirmed: the backup went with it
  EXPECT_EQ(c.RespostasPendentes().Count(), 0);
  EXPECT_THAT(ev.pendentesConfirmadas, ElementsAre(1));
}

// Each file write of a payment failing in turn. A payment whose backup could
// not be written is undone at once and reported: left pending it would be
// lost in a crash, and with no backup file CancelarTransacoesPendentes could
// not undo it either.
TEST_F(PendentesTest, APaymentWhoseBackupCannotBeWrittenIsUndoneAndReported) {
  Servico(false);
  Iniciar();
  for (int n = 1;; ++n) {
    ASSERT_LT(n, 10) << "the payment never succeeds";
    c.RespostasPendentes().Clear();
    c.RespostasPendentes().SetValorTotalAPagar(TCurrency::FromInteger(10));
    fake.finalizacoes.clear();
    ev.viasImpressas.clear();
    arquivos.FailFrom(n);
    std::string erro;
    bool ok = false;
    try {
      ok = PagarComComprovantes();
    } catch (const ERuVirIdUzaArquivo& e) {
      erro = e.what();
    }
    const bool falhou = arquivos.Failed();
    arquivos.FailFrom(0);
    if (!falhou) {
      EXPECT_TRUE(ok);
      EXPECT_TRUE(erro.empty()) << erro;
      EXPECT_EQ(ev.viasImpressas.size(), 2u);
      break;
    }
    EXPECT_THAT(erro,
                StartsWith("Erro ao gravar o arquivo:\r\n" + backup + "/RuVirIdUza_CliSiTef_"))
        << n;
    EXPECT_THAT(fake.finalizacoes, ElementsAre(StartsWith("Transacao|0|"))) << n;
    EXPECT_EQ(c.RespostasPendentes().Count(), 0) << n;
    EXPECT_TRUE(Backups().empty()) << n;
    EXPECT_TRUE(ev.viasImpressas.empty()) << n;
  }
}

TEST_F(PendentesTest, PrintingPathRetriesAsAManagementReport) {
  Servico(false);
  Iniciar();
  c.RespostasPendentes().SetValorTotalAPagar(TCurrency::FromInteger(10));
  ev.falharImprimeVia = 1;
  ev.respostasMsg = {mrYes};
  ASSERT_TRUE(PagarComComprovantes());
  EXPECT_THAT(ev.Com("Msg:opmYesNo"),
              ElementsAre("Msg:opmYesNo:Impressora não responde\r\nDeseja imprimir novamente ?"));
  EXPECT_THAT(ev.Com("ImprimeVia:"),
              ElementsAre("ImprimeVia:trVinculado:1", "ImprimeVia:trGerencial:1",
                          "ImprimeVia:trGerencial:2"));
  EXPECT_THAT(ev.Com("ECF:"),
              ElementsAre("ECF:opeAbreGerencial", "ECF:opePulaLinhas", "ECF:opeFechaGerencial"));
  EXPECT_THAT(ev.log, Contains("Msg:opmDestaqueVia:Destaque a 2ª Via"));
  EXPECT_EQ(ev.viasImpressas.size(), 2u);
  EXPECT_TRUE(Backups().empty());
}

TEST_F(PendentesTest, PrintingPathUndoesTheTransactionWhenTheOperatorGivesUp) {
  Servico(false);
  Iniciar();
  c.RespostasPendentes().SetValorTotalAPagar(TCurrency::FromInteger(10));
  ev.falharImprimeVia = 1;
  ev.respostasMsg = {mrNo};
  ev.retornoImpressao = 1;  // the receipt event "printed": still an undo
  ASSERT_TRUE(PagarComComprovantes());
  EXPECT_THAT(ev.Com("ECF:"), Contains("ECF:opeCancelaCupom"));
  EXPECT_THAT(ev.Com("AntesCancelar:"), ElementsAre("AntesCancelar:CRT"));
  ASSERT_EQ(fake.finalizacoes.size(), 1u);
  EXPECT_THAT(fake.finalizacoes[0], StartsWith("Transacao|0|"));
  EXPECT_EQ(ev.Com("Msg:opmOK").back(), "Msg:opmOK:Transação \"TEF\" não efetuada.");
  EXPECT_THAT(ev.Com("DepoisCancelar:"), ElementsAre("DepoisCancelar:1"));
  EXPECT_TRUE(Backups().empty());
  EXPECT_EQ(c.RespostasPendentes().Count(), 0);
}

TEST_F(PendentesTest, FinishingWithoutServiceModeLetsTheReceiptPrintDecide) {
  Servico(false);
  Iniciar();
  c.RespostasPendentes().Clear();
  c.SetAutoFinalizarCupom(false);
  for (int retorno : {0, 1}) {
    ev.retornoImpressao = retorno;
    PagarComComprovantes();
    c.RespostasPendentes().Clear();
    // The answer is what the library was told: undone when the receipt failed.
    EXPECT_EQ(c.ConfirmarTransacao(true, "D"), retorno == 1);
    EXPECT_THAT(fake.finalizacoes.back(),
                StartsWith(retorno ? "Transacao|1|D|" : "Transacao|0|D|"));
  }
  EXPECT_EQ(ev.Com("Impressao:").size(), 2u);
}

TEST_F(PendentesTest, ReportPrintingOfAnAdministrativeFunction) {
  Servico(false);
  Iniciar();
  fake.passos = {Campo(kCampoComprovante1aVia, "ADM 1"), Campo(kCampoComprovante2aVia, "ADM 2")};
  EXPECT_TRUE(c.ADM());
  EXPECT_THAT(ev.Com("ECF:"),
              ElementsAre("ECF:opeAbreGerencial", "ECF:opePulaLinhas", "ECF:opeFechaGerencial"));
  EXPECT_THAT(ev.Com("ImprimeVia:"),
              ElementsAre("ImprimeVia:trGerencial:1", "ImprimeVia:trGerencial:2"));
  EXPECT_THAT(ev.pendentesConfirmadas, ElementsAre(1));
  EXPECT_TRUE(Backups().empty());

  // The operator gives up: the report fails and the function is undone.
  ev.falharImprimeVia = 1;
  ev.respostasMsg = {mrNo};
  fake.passos = {Campo(kCampoComprovante1aVia, "ADM 1")};
  try {
    c.ADM();
    FAIL() << "printed";
  } catch (const ERuVirIdUzaECF& e) {
    EXPECT_STREQ(e.what(), "Impressão de Relatório Falhou");
  }
  EXPECT_THAT(fake.finalizacoes.back(), StartsWith("Transacao|0|"));
  EXPECT_TRUE(Backups().empty());
  EXPECT_EQ(c.RespostasPendentes().Count(), 0);
}

TEST_F(PendentesTest, PrinterNotFreeIsClosedFirst) {
  Servico(false);
  Iniciar();
  int consultas = 0;
  c.OnInfoECF = [&](TRuVirIdUzaInfoECF, std::string& r) { r = consultas++ == 0 ? "G" : "L"; };
  fake.passos = {Campo(kCampoComprovante1aVia, "ADM 1")};
  c.ADM();
  EXPECT_EQ(ev.Com("ECF:").front(), "ECF:opeFechaGerencial");
  c.OnInfoECF = [](TRuVirIdUzaInfoECF, std::string& r) { r = "V"; };
  ev.respostasMsg = {mrNo};
  fake.passos = {Campo(kCampoComprovante1aVia, "ADM 1")};
  EXPECT_THROW(c.ADM(), ERuVirIdUzaECF);
  EXPECT_THAT(ev.Com("ECF:"), Contains("ECF:opeCancelaCupom"));
}

TEST_F(PendentesTest, GroupsByPaymentIndexAndOrder) {
  TRuVirIdUzaRespostasPendentes& p = c.RespostasPendentes();
  struct Item {
    const char* indice;
    int ordem;
    const char* centavos;
  };
  for (const Item& i : {Item{"02", 3, "1000"}, Item{"01", 0, "500"}, Item{"02", 3, "250"},
                        Item{"01", 1, "100"}, Item{"03", 0, "1"}}) {
    auto r = std::make_unique<TRuVirIdUzaRespCliSiTef>();
    r->Conteudo().GravaInformacao(kCampoControle, kControleValorCentavos, i.centavos);
    r->ConteudoToProperty();
    r->SetIndiceFPG_ECF(i.indice);
    r->SetOrdemPagamento(i.ordem);
    p.Add(std::move(r));
  }
  TRuVirIdUzaArrayGrupoRespostasPendentes g;
  c.AgruparRespostasPendentes(g);
  ASSERT_EQ(g.size(), 4u);
  std::vector<std::string> visto;
  for (const auto& x : g) {
    visto.push_back(x.IndiceFPG_ECF + "/" + std::to_string(x.OrdemPagamento) + "/" +
                    x.Total.FormatComma());
  }
  EXPECT_THAT(visto, ElementsAre("01/0/5,00", "03/0/0,01", "01/1/1,00", "02/3/12,50"));
}

TEST_F(PendentesTest, TheLibraryIsToldTheDocumentDateAndTimeOfTheStart) {
  Servico(true);
  Iniciar();
  c.OnDepoisConfirmarTransacoes = nullptr;
  const auto em = [this](const platform::TDateTime& t) {
    env.SetNowMillis(platform::LocalToUnixMillis(t));
  };
  em({2025, 3, 7, 23, 59, 58, 0});
  fake.passos = {Campo(kCampoNSU, "1")};
  c.CRT(1.0, "01");
  em({2025, 3, 8, 0, 1, 5, 0});  // decided two minutes later, on the next day
  EXPECT_TRUE(c.ConfirmarTransacao(true, c.Resp().DocumentoVinculado()));
  ASSERT_EQ(fake.inicios.size(), 1u);
  EXPECT_THAT(fake.inicios[0], HasSubstr("|86398|20250307|235958|"));
  EXPECT_THAT(fake.finalizacoes, ElementsAre("Funcao|1|86398|20250307|235958"));
}

TEST_F(PendentesTest, AFunctionEndingAtItsStartAfterAReprintIsStillFinished) {
  Servico(true);
  Iniciar();
  c.OnDepoisConfirmarTransacoes = nullptr;
  fake.passos = {Campo(kCampoReimpressao56, "07032025"), Campo(kCampoReimpressao57, "000555")};
  ASSERT_TRUE(c.CRT(1.0, "113"));
  EXPECT_TRUE(c.ConfirmarTransacao(true, "1"));
  EXPECT_TRUE(fake.finalizacoes.empty());  // a reprint leaves nothing to finish

  fake.inicia = 0;  // approved at the start: no dialogue runs
  ASSERT_TRUE(c.CRT(1.0, "01"));
  const std::string documento = c.Resp().DocumentoVinculado();
  EXPECT_FALSE(documento.empty());
  EXPECT_TRUE(c.ConfirmarTransacao(true, documento));
  EXPECT_THAT(fake.finalizacoes, ElementsAre(StartsWith("Funcao|1|" + documento + "|")));
}

TEST_F(PendentesTest, AConfirmedReturnStaysConfirmedWhenItsNoticeFails) {
  Servico(true);
  Iniciar();
  c.OnDepoisConfirmarTransacoes = nullptr;
  c.OnExibeMsg = [](TRuVirIdUzaOperacaoMensagem op, const std::string&, TModalResult&) {
    if (op == opmOK) throw std::runtime_error("front end gone");
  };
  fake.passos = {Campo(kCampoDevolucao, "1"), Campo(kCampoNSU, "1")};
  ASSERT_TRUE(c.CRT(1.0, "01"));
  EXPECT_TRUE(c.ConfirmarTransacao(true, "7"));
  EXPECT_THAT(fake.finalizacoes, ElementsAre(StartsWith("Funcao|1|7|")));
}

// Makes a file impossible to delete: immutable for root, a read-only folder
// otherwise. False when the system allows neither.
bool Travar(const std::string& arquivo, bool travar) {
  if (geteuid() != 0) {
    std::error_code ec;
    fs::permissions(fs::path(arquivo).parent_path(),
                    travar ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_all,
                    ec);
    return !ec;
  }
  const int fd = open(arquivo.c_str(), O_RDONLY);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = travar ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return ok;
}

TEST_F(PendentesTest, ABackupThatCannotBeDeletedIsConfirmedOnceAndLogged) {
  Servico(true);
  const std::string arq = DeixarBackup(1, "000111", "111");
  if (!Travar(arq, true)) GTEST_SKIP() << "cannot make a file undeletable here";
  Iniciar();
  c.DesInicializar(gpNenhum);
  Iniciar();  // a later initialization (a session start with new settings)
  m.DesInicializar();
  m.Inicializar();
  Travar(arq, false);

  EXPECT_THAT(fake.finalizacoes, ElementsAre(StartsWith("Funcao|1|111|")));
  EXPECT_THAT(ev.pendentesConfirmadas, ElementsAre(1));
  EXPECT_EQ(ev.Com("Msg:opmOK").size(), 1u);
  EXPECT_THAT(LerArquivo(pasta + "/tef.log"),
              HasSubstr("Não foi possível apagar o arquivo de backup: " + arq));
  EXPECT_THAT(Backups(), ElementsAre("RuVirIdUza_CliSiTef_001.tef"));
}

}  // namespace
