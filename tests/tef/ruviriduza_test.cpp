// The TEF component front: event checks, initialization through a manager,
// property refusals, the ECF operations and the component log.
#include "tef/ruviriduza.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/paths.h"
#include "platform/testenv.h"
#include "ruviriduza_fake.h"
#include "ruviriduza_sim.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_resp_clisitef.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace {

using namespace tef;
using namespace tef_test;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

// A component with every checked event bound and the fake library behind
// its CliSiTef manager.
class ComponenteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pasta = NovaPasta("comp");
    backup = pasta + "/TEF";
    arqLog = pasta + "/tef.log";
    c.SetPathBackup(backup);
    c.SetArqLOG(arqLog);
    c.TEFCliSiTef().SetLoader(&loader);
    ev.Ligar(c);
  }
  void TearDown() override { fs::remove_all(pasta); }

  std::string Log() const { return LerArquivo(arqLog); }

  std::string pasta, backup, arqLog;
  FakeCliSiTef fake;
  FakeLoader loader;
  Eventos ev;
  platform::TManualClockEnv env;
  TRuVirIdUza c{env};
};

std::string MensagemDe(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST_F(ComponenteTest, CreationValues) {
  TRuVirIdUza n;
  EXPECT_EQ(n.About(), "RuVirIdUza Ver: 4.3.4");
  EXPECT_EQ(n.GPAtual(), gpTefDial);
  EXPECT_EQ(n.TEF(), nullptr);
  EXPECT_EQ(n.NumVias(), 2);
  EXPECT_EQ(n.EsperaSTS(), 7);
  EXPECT_EQ(n.EsperaSleep(), 250);
  EXPECT_TRUE(n.AutoAtivarGP());
  EXPECT_TRUE(n.AutoFinalizarCupom());
  EXPECT_TRUE(n.ExibirMsgAutenticacao());
  EXPECT_FALSE(n.AutoEfetuarPagamento());
  EXPECT_FALSE(n.ModoServico());
  EXPECT_FALSE(n.Inicializado());
  EXPECT_EQ(n.TEFCliSiTef().Name(), "CliSiTef");
  EXPECT_EQ(n.TEFCliSiTef().Tipo(), gpCliSiTef);
  EXPECT_EQ(n.TEFCliSiTef().OperacaoATV(), 111);
  EXPECT_EQ(n.TEFCliSiTef().OperacaoADM(), 110);
  EXPECT_EQ(n.TEFCliSiTef().OperacaoCNC(), 200);
  EXPECT_EQ(n.TEFCliSiTef().Resp().TipoGP(), gpCliSiTef);
  EXPECT_NE(dynamic_cast<TRuVirIdUzaRespCliSiTef*>(&n.TEFCliSiTef().Resp()), nullptr);
  // Selecting another type keeps the manager in use.
  n.SetGPAtual(gpCliSiTef);
  n.SetGPAtual(gpTefDisc);
  EXPECT_EQ(n.TEF(), &n.TEFCliSiTef());
  EXPECT_EQ(n.GPAtual(), gpTefDisc);
}

TEST_F(ComponenteTest, EachRequiredEventIsCheckedInOrderBeforeAnyFileIsTouched) {
  struct Caso {
    std::function<void(TRuVirIdUza&)> limpar;
    const char* mensagem;
  };
  const Caso casos[] = {
      {[](TRuVirIdUza& x) { x.OnExibeMsg = nullptr; }, "Evento \"OnExibeMsg\" não programado"},
      {[](TRuVirIdUza& x) { x.OnComandaECF = nullptr; }, "Evento \"OnComandaECF\" não programado"},
      {[](TRuVirIdUza& x) { x.OnComandaImpressao = nullptr; },
       "Evento \"OnComandaImpressão\" não programado"},
      {[](TRuVirIdUza& x) { x.OnComandaECFAbreVinculado = nullptr; },
       "Evento \"OnComandaECFAbreVinculado\" não programado"},
      {[](TRuVirIdUza& x) { x.OnComandaECFImprimeVia = nullptr; },
       "Evento \"OnComandaECFImprimeVia\" não programado"},
      {[](TRuVirIdUza& x) { x.OnInfoECF = nullptr; }, "Evento \"OnInfoECF\" não programado"},
      // With two missing, the first of the order is reported.
      {[](TRuVirIdUza& x) {
         x.OnInfoECF = nullptr;
         x.OnComandaECF = nullptr;
       },
       "Evento \"OnComandaECF\" não programado"},
  };
  for (const auto& caso : casos) {
    ev.Ligar(c);
    caso.limpar(c);
    EXPECT_EQ(MensagemDe([&] { c.Inicializar(gpCliSiTef); }), caso.mensagem);
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(loader.loads, 0);
  }
}

TEST_F(ComponenteTest, InicializarCreatesTheBackupFolderAndEnablesTheManager) {
  c.SetPathBackup(pasta + "/a/b/TEF");
  c.Inicializar(gpCliSiTef);
  EXPECT_TRUE(fs::is_directory(pasta + "/a/b/TEF"));
  EXPECT_TRUE(c.Inicializado(gpCliSiTef));
  EXPECT_TRUE(c.TEFCliSiTef().Habilitado());
  EXPECT_EQ(c.TEF(), &c.TEFCliSiTef());
  EXPECT_THAT(Log(), HasSubstr("CliSiTef Inicializado CliSiTEF"));
  // The printer state is asked for once during the start.
  EXPECT_THAT(Log(), HasSubstr("InfoECF: ineEstadoECF"));

  c.DesInicializar(gpNenhum);
  EXPECT_FALSE(c.Inicializado());
  EXPECT_THAT(Log(), HasSubstr("CliSiTef DesInicializado"));
  EXPECT_EQ(loader.releases, 1);
}

TEST_F(ComponenteTest, BackupFolderThatCannotBeCreatedFails) {
  std::ofstream(pasta + "/arquivo") << "x";
  c.SetPathBackup(pasta + "/arquivo/TEF");
  EXPECT_EQ(MensagemDe([&] { c.Inicializar(gpCliSiTef); }),
            "Diretório de Backup não existente:\r\n" + pasta + "/arquivo/TEF");
}

TEST_F(ComponenteTest, ManagerFailureBecomesTheConnectionMessageAndUnloads) {
  fake.configura = 2;  // "Código da loja inválido"
  EXPECT_EQ(MensagemDe([&] { c.Inicializar(gpCliSiTef); }), "Erro ao conectar com servidor TEF");
  EXPECT_FALSE(c.Inicializado(gpCliSiTef));
  EXPECT_FALSE(c.TEFCliSiTef().Habilitado());
  EXPECT_FALSE(c.TEFCliSiTef().DLLCarregada());
  EXPECT_EQ(loader.releases, 1);
  EXPECT_THAT(Log(), HasSubstr("CliSiTef DesInicializado"));

  // A later start with a good configuration works.
  fake.configura = 0;
  c.Inicializar(gpCliSiTef);
  EXPECT_TRUE(c.Inicializado());
}

TEST_F(ComponenteTest, InicializarAllCollectsTheManagersOwnMessages) {
  c.Inicializar(gpCliSiTef);  // enables the manager
  c.TEFCliSiTef().DesInicializar();
  fake.configura = 2;
  EXPECT_EQ(MensagemDe([&] { c.Inicializar(gpNenhum); }), "Código da loja inválido\r\n");
  EXPECT_FALSE(c.Inicializado());
}

TEST_F(ComponenteTest, OperationsWithoutAManagerFailInsteadOfCrashing) {
  TRuVirIdUza n;  // gpTefDial: no manager in use
  EXPECT_THROW(n.ADM(), ERuVirIdUzaGPNaoInicializado);
  EXPECT_THROW(n.CRT(10.0, "01"), ERuVirIdUzaGPNaoInicializado);
  EXPECT_FALSE(n.Inicializado());
}

TEST_F(ComponenteTest, PropertySettersAndTheirRefusals) {
  EXPECT_EQ(MensagemDe([&] { c.SetEsperaSleep(9); }), "Valor mínimo de EsperaSleep deve ser: 10");
  EXPECT_EQ(MensagemDe([&] { c.SetEsperaSleep(501); }),
            "Valor máximo de EsperaSleep deve ser: 500");
  c.SetEsperaSleep(10);
  EXPECT_EQ(c.EsperaSleep(), 10);
  c.SetEsperaSleep(500);
  EXPECT_EQ(c.EsperaSleep(), 500);

  c.SetNumeroMaximoCartoes(-3);
  EXPECT_EQ(c.NumeroMaximoCartoes(), 0);

  c.Identificacao().SetNomeAplicacao("  Caixa  ");
  EXPECT_EQ(c.Identificacao().NomeAplicacao(), "Caixa");

  c.SetPathBackup("  " + pasta + "/X/  ");
  EXPECT_EQ(c.PathBackup(), pasta + "/X");

  // Pending responses freeze the payment-flow switches.
  c.RespostasPendentes().Add(std::make_unique<TRuVirIdUzaRespCliSiTef>());
  EXPECT_EQ(MensagemDe([&] { c.SetMultiplosCartoes(true); }),
            "Existem Respostas Pendentes. Não é possível alterar \"MultiplosCartoes\"");
  EXPECT_EQ(MensagemDe([&] { c.SetAutoEfetuarPagamento(true); }),
            "Existem Respostas Pendentes. Não é possível alterar \"AutoEfetuarPagamento\"");
  EXPECT_EQ(MensagemDe([&] { c.SetAutoFinalizarCupom(false); }),
            "Existem Respostas Pendentes. Não é possível alterar \"AutoFinalizarCupom\"");
  c.SetAutoFinalizarCupom(true);  // unchanged: accepted
  c.RespostasPendentes().Clear();
  c.SetMultiplosCartoes(true);
  EXPECT_TRUE(c.MultiplosCartoes());

  // The manager keeps two copies whatever it is given.
  c.TEFCliSiTef().SetNumVias(3);
  EXPECT_EQ(c.TEFCliSiTef().NumVias(), 2);
}

TEST_F(ComponenteTest, PathBackupIsRefusedWhileInitializedAndDefaultsBesideTheExecutable) {
  c.Inicializar(gpCliSiTef);
  EXPECT_EQ(MensagemDe([&] { c.SetPathBackup(pasta + "/outro"); }),
            "PathBackup não pode ser modificado com o RuVirIdUza Inicializado");
  c.SetPathBackup(backup);  // the same value is no change
  c.DesInicializar(gpNenhum);
  c.SetPathBackup("");
  EXPECT_EQ(c.PathBackup(), platform::ExeDir() + "TEF");
}

TEST_F(ComponenteTest, ArqLOGFollowsManagersThatSharedTheOldName) {
  c.SetArqLOG(pasta + "/novo.log");
  EXPECT_EQ(c.TEFCliSiTef().ArqLOG(), pasta + "/novo.log");
  c.TEFCliSiTef().SetArqLOG(pasta + "/proprio.log");
  c.SetArqLOG(pasta + "/terceiro.log");
  EXPECT_EQ(c.TEFCliSiTef().ArqLOG(), pasta + "/proprio.log");
}

TEST_F(ComponenteTest, EcfOperationsCheckTheHostsResult) {
  struct Caso {
    std::function<void()> operacao;
    int retorno;
    const char* mensagem;  // nullptr: succeeds
  };
  const TStringList via = {"linha"};
  const Caso casos[] = {
      {[&] { c.ComandarECF(opeFechaGerencial); }, -1,
       "Operação [opeFechaGerencial] não tratada em \"OnComandaECF\""},
      {[&] { c.ComandarECF(opeAbreGerencial); }, 0, "Erro ao imprimir comprovante \"TEF\""},
      {[&] { c.ComandarECF(opeAbreGerencial); }, 1, nullptr},
      {[&] { c.ECFPagamento("01", TCurrency::FromCents(1250)); }, -1,
       "\"OnComandaECFPagamento\" não tratada"},
      {[&] { c.ECFPagamento("01", TCurrency::FromCents(1250)); }, 0,
       "Erro ao executar \"OnComandaECFPagamento\""},
      {[&] { c.ECFAbreVinculado("123", "01", TCurrency()); }, -1,
       "\"OnComandaECFAbreVinculado\" não tratado"},
      {[&] { c.ECFAbreVinculado("123", "01", TCurrency()); }, 0,
       "Erro ao executar \"OnComandaECFAbreVinculado\""},
      {[&] { c.ECFImprimeVia(trGerencial, 1, via); }, -1, "\"OnComandaECFImprimeVia\" não tratado"},
      {[&] { c.ECFImprimeVia(trGerencial, 1, via); }, 0,
       "Erro ao executar \"OnComandaECFImprimeVia\""},
      {[&] { c.ECFSubtotaliza(TCurrency()); }, -1, "\"OnComandaECFSubtotaliza\" não tratada"},
      {[&] { c.ECFSubtotaliza(TCurrency()); }, 0, "Erro ao executar \"OnComandaECFSubtotaliza\""},
  };
  for (const auto& caso : casos) {
    const int r = caso.retorno;
    c.OnComandaECF = [r](TRuVirIdUzaOperacaoECF, TRuVirIdUzaResp&, int& x) {
      if (r >= 0) x = r;
    };
    c.OnComandaECFPagamento = [r](const std::string&, TCurrency, int& x) {
      if (r >= 0) x = r;
    };
    c.OnComandaECFAbreVinculado = [r](const std::string&, const std::string&, TCurrency, int& x) {
      if (r >= 0) x = r;
    };
    c.OnComandaECFImprimeVia = [r](TRuVirIdUzaTipoRelatorio, int, const TStringList&, int& x) {
      if (r >= 0) x = r;
    };
    c.OnComandaECFSubtotaliza = [r](TCurrency, int& x) {
      if (r >= 0) x = r;
    };
    if (caso.mensagem == nullptr) {
      EXPECT_NO_THROW(caso.operacao());
    } else {
      try {
        caso.operacao();
        ADD_FAILURE() << "no failure for " << caso.mensagem;
      } catch (const ERuVirIdUzaECF& e) {
        EXPECT_EQ(std::string(e.what()), caso.mensagem);
      }
    }
  }
  EXPECT_THAT(Log(), HasSubstr(" ECFPagamento: Indice: 01 Valor: 12,50"));
}

TEST_F(ComponenteTest, SubtotalWithoutItsEventSubtotalsThroughTheGeneralEcfEvent) {
  c.OnComandaECFSubtotaliza = nullptr;
  c.ECFSubtotaliza(TCurrency::FromCents(-150));
  EXPECT_EQ(ev.Com("ECF:"), std::vector<std::string>{"ECF:opeSubTotalizaCupom"});
  int visto = 0;
  c.OnComandaECFSubtotaliza = [&](TCurrency v, int& r) {
    visto = static_cast<int>(v.ToCents(TArredondamento::MeioParaPar));
    r = 1;
  };
  c.ECFSubtotaliza(TCurrency::FromCents(-150));
  EXPECT_EQ(visto, -150);
  EXPECT_EQ(ev.Com("ECF:").back(), "ECF:opeImprimePagamentos");
}

TEST_F(ComponenteTest, PrinterStateAndValues) {
  ev.estadoECF = "livre";
  EXPECT_EQ(c.EstadoECF(), 'L');
  ev.estadoECF = "v";
  EXPECT_EQ(c.EstadoECF(), 'V');
  for (const char* ruim : {"", "X", " L"}) {
    ev.estadoECF = ruim;
    EXPECT_THAT(
        MensagemDe([&] { c.EstadoECF(); }),
        ::testing::StartsWith("Retorno de \"OnInfoEcf( ineEstadoECF, Retorno )\" deve ser:\r\n"
                              "\"L\" = Livre\r\n"))
        << ruim;
  }

  struct Valor {
    const char* texto;
    int64_t centavos;
  };
  for (const Valor& v : {Valor{"12,345", 1235}, Valor{" 7.5 ", 750}, Valor{"abc", 4200},
                         Valor{"1.234,56", 4200}, Valor{"-3,005", -301}}) {
    ev.estadoECF = v.texto;
    EXPECT_EQ(c.InfoECFAsDouble(ineSubTotal, 42), TCurrency::FromCents(v.centavos)) << v.texto;
  }
  ev.estadoECF = "";
  EXPECT_EQ(MensagemDe([&] { c.InfoECFAsDouble(ineTotalAPagar, -98787158); }),
            "Erro na conversão do Valor Retornado de: OnInfoECF( ineTotalAPagar)");

  c.OnInfoECF = [](TRuVirIdUzaInfoECF, std::string&) {
    throw std::runtime_error("sem impressora");
  };
  EXPECT_THROW(
      {
        try {
          c.InfoECFAsString(ineSubTotal);
        } catch (const ERuVirIdUzaECF& e) {
          EXPECT_STREQ(e.what(), "sem impressora");
          throw;
        }
      },
      ERuVirIdUzaECF);
  EXPECT_THAT(Log(), HasSubstr("   Erro: sem impressora"));
}

TEST_F(ComponenteTest, DoExibeMsgLogsRestoresFocusForDialogsAndReturnsTheHostsAnswer) {
  int focos = 0;
  c.OnRestauraFocoAplicacao = [&](bool&) { ++focos; };
  ev.respostasMsg = {mrNo};
  EXPECT_EQ(c.DoExibeMsg(opmYesNo, "Confirma?"), mrNo);
  c.DoExibeMsg(opmOK, "ok");
  c.DoExibeMsg(opmDestaqueVia, "via");
  c.DoExibeMsg(opmExibirMsgOperador, "op");
  EXPECT_EQ(focos, 3);
  EXPECT_EQ(ev.Com("Msg:").front(), "Msg:opmYesNo:Confirma?");
  EXPECT_THAT(Log(), HasSubstr(" DoExibeMsg: Oper: opmYesNo Mensagem: Confirma?"));
  c.OnExibeMsg = nullptr;
  EXPECT_EQ(c.DoExibeMsg(opmYesNo, "?"), mrNone);

  int limpezas = 0;
  c.OnLimpaTeclado = [&](bool&) { ++limpezas; };
  c.LimparTeclado();
  EXPECT_EQ(limpezas, 1);
}

TEST_F(ComponenteTest, LogEntriesHaveTheTimeStampFormatAndWindows1252Text) {
  const int64_t ms = platform::LocalToUnixMillis({2025, 3, 5, 14, 7, 9, 123});
  env.SetNowMillis(ms);
  c.GravaLog("CRT -> Result: -1");
  c.TEFCliSiTef().GravaLog("Linha 1\r\nLinha 2 ação");

  EXPECT_EQ(Log(),
            "-- 05/03 14:07:09:123 - CRT -> Result: -1\r\n"
            "-- 05/03 14:07:09:123 - Linha 1\r\nLinha 2 ação\r\n");
  std::ifstream f(arqLog, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find("a\xE7\xE3o"), std::string::npos);  // ç ã in Windows-1252
}

TEST_F(ComponenteTest, NoLogFileWithoutArqLOGAndLogFailuresAreIgnored) {
  c.SetArqLOG("");
  c.GravaLog("nada");
  c.Inicializar(gpCliSiTef);
  EXPECT_FALSE(fs::exists(arqLog));
  EXPECT_EQ(fs::directory_iterator(pasta)->path().filename(), "TEF");

  c.SetArqLOG(pasta + "/naoexiste/sub/tef.log");
  EXPECT_NO_THROW(c.GravaLog("perdida"));
}

TEST_F(ComponenteTest, ConcurrentWritersNeverInterleaveWithinAnEntry) {
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t) {
    ts.emplace_back([this, t] {
      for (int i = 0; i < 200; ++i) c.GravaLog(std::string(100, static_cast<char>('a' + t)));
    });
  }
  for (auto& t : ts) t.join();
  std::istringstream in(Log());
  std::string linha;
  int n = 0;
  // "-- dd/mm hh:nn:ss:zzz - " then 100 times one letter, then CR.
  const auto inteira = [](const std::string& l) {
    const std::string forma = "-- 99/99 99:99:99:999 - ";
    if (l.size() != forma.size() + 101 || l.back() != '\r') return false;
    for (size_t i = 0; i < forma.size(); ++i) {
      if (forma[i] == '9' ? !std::isdigit(static_cast<unsigned char>(l[i])) : l[i] != forma[i])
        return false;
    }
    const std::string texto = l.substr(forma.size(), 100);
    return texto == std::string(100, texto[0]) && texto[0] >= 'a' && texto[0] <= 'd';
  };
  while (std::getline(in, linha)) {
    ++n;
    EXPECT_TRUE(inteira(linha)) << linha;
  }
  EXPECT_EQ(n, 800);
}

}  // namespace
