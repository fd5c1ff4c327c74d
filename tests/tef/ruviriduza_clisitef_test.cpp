// Binding of the TEF library: path, entry points with their references,
// configuration and its refusals, PIN pad utilities; against the fake
// library and against the simulator.
#include "tef/ruviriduza_clisitef.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "ruviriduza_fake.h"
#include "ruviriduza_sim.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_erros.h"

namespace {

using namespace tef;
using namespace tef_test;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

std::string MensagemDe(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no failure)";
}

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pasta = NovaPasta("bind");
    c.SetPathBackup(pasta + "/TEF");
    c.SetArqLOG(pasta + "/tef.log");
    m.SetLoader(&loader);
    ev.Ligar(c);
  }
  void TearDown() override { fs::remove_all(pasta); }

  std::string pasta;
  FakeCliSiTef fake;
  FakeLoader loader;
  Eventos ev;
  TRuVirIdUza c;
  TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
};

TEST_F(BindingTest, LibraryPath) {
  struct Caso {
    const char* pathDLL;
    const char* caminho;
  };
  for (const Caso& k : {Caso{"/opt/app/dll", "/opt/app/dll/libclisitef.so"},
                        Caso{"/opt/app/dll/", "/opt/app/dll/libclisitef.so"},
                        Caso{"  /opt/app/dll  ", "/opt/app/dll/libclisitef.so"},
                        Caso{"", "libclisitef.so"}, Caso{"   ", "libclisitef.so"}}) {
    m.SetPathDLL(k.pathDLL);
    EXPECT_EQ(m.CaminhoDLL(), k.caminho) << k.pathDLL;
  }
}

TEST_F(BindingTest, AdditionalParameters) {
  struct Caso {
    TStringList linhas;
    const char* loja;
    const char* zovure;
    const char* esperado;
  };
  const Caso casos[] = {
      {{}, "", "", "[];{ValorIncluiTaxa=0;};"},
      {{"A=1", "B=2"}, "", "", "[A=1;B=2];{ValorIncluiTaxa=0;};"},
      {{"  A=1", "B=2  ", ""}, "", "", "[A=1;B=2];{ValorIncluiTaxa=0;};"},
      {{"A=1"}, "12345678000199", "", "[A=1];{ValorIncluiTaxa=0;};"},
      {{"A=1"}, "", "98765432000100", "[A=1];{ValorIncluiTaxa=0;};"},
      {{},
       " 12345678000199 ",
       "98765432000100",
       "[];{ValorIncluiTaxa=0;};[ParmsClient=1=12345678000199;2=98765432000100];"},
  };
  for (const Caso& k : casos) {
    m.SetParametrosAdicionais(k.linhas);
    c.SetCNPJLoja(k.loja);
    c.SetCNPJZoVure(k.zovure);
    EXPECT_EQ(m.MontarParametrosAdicionais(), k.esperado);
  }
}

TEST_F(BindingTest, EachMissingEntryPointIsNamedAndEarlierOnesStayResolved) {
  for (int n = 1; n <= 12; ++n) {
    FakeLoader l;
    l.falharNaEntrada = n;
    m.SetLoader(&l);
    EXPECT_EQ(MensagemDe([&] { m.CarregarDLL(); }), std::string("Erro ao carregar a função:") +
                                                        kCliSiTefEntryPoints[n - 1] +
                                                        " de: libclisitef.so");
    EXPECT_EQ(l.resolvidos, n - 1);
    EXPECT_EQ(l.loads, n);  // one reference per attempt that found the library
    // Once the library has it, only the missing ones are resolved.
    l.falharNaEntrada = 0;
    m.CarregarDLL();
    EXPECT_EQ(l.resolvidos, 12);
    EXPECT_EQ(l.loads, 12 + 1);
    EXPECT_TRUE(m.DLLCarregada());
    m.DescarregarDLL();
    EXPECT_EQ(l.releases, 1);
    EXPECT_FALSE(m.DLLCarregada());
    m.SetLoader(&loader);
  }
}

TEST_F(BindingTest, ACallAfterAConfigurationThatFailedHalfwayFailsInsteadOfCrashing) {
  // The manager's own Inicializar keeps what it resolved before the failure.
  c.SetModoServico(true);
  m.SetModoServico(true);
  struct Caso {
    int faltando;
    std::function<void()> chamada;
  };
  const std::vector<Caso> casos = {
      {7, [&] { m.CRT(TCurrency::FromInteger(1), "01", "", "", "", "", "", 0); }},
      {8, [&] { m.FinalizarTransacao(true, "1"); }},
      {9,
       [&] {
         m.SetModoServico(false);
         m.FinalizarTransacao(true, "1");
       }},
  };
  for (const Caso& k : casos) {
    FakeLoader l;
    l.falharNaEntrada = k.faltando;
    m.SetLoader(&l);
    EXPECT_THAT(MensagemDe([&] { m.Inicializar(); }), HasSubstr("Erro ao carregar a função:"));
    EXPECT_EQ(MensagemDe(k.chamada), "Erro ao iniciar \"TEF\"") << k.faltando;
    m.DesInicializar();
    m.SetModoServico(true);
    m.SetLoader(&loader);
  }
}

TEST_F(BindingTest, UnloadableLibrary) {
  loader.falharLoad = true;
  m.SetPathDLL("/opt/x");
  EXPECT_EQ(MensagemDe([&] { m.Inicializar(); }),
            "Erro ao carregar a função:ConfiguraIntSiTefInterativoEx de: libclisitef.so");
  EXPECT_EQ(loader.caminhos.front(), "/opt/x/libclisitef.so");
  EXPECT_FALSE(m.Inicializado());
}

TEST_F(BindingTest, ConfigurationResults) {
  struct Caso {
    int resultado;
    const char* mensagem;  // nullptr: success
  };
  const Caso casos[] = {
      {1, "Endereço IP inválido ou não resolvido"},
      {2, "Código da loja inválido"},
      {3, "Código de terminal inválido"},
      {6, "Erro na inicialização do TCP/IP"},
      {7, "Falta de memória"},
      {8, "Não encontrou a dll do \"TEF\" ou ela está com problemas"},
      {10, "O PinPad não está devidamente configurado no arquivo CliSiTef.ini"},
      {11, "Dados inválidos passados pela automação."},
      {12,
       "Modo seguro não ativo (possível falta de configuração no servidor SiTef do arquivo .cha)."},
      {13, "Caminho da DLL inválido (o caminho completo das bibliotecas está muito grande)."},
      {0, nullptr},
      {4, nullptr},
      {5, nullptr},
      {9, nullptr},
      {14, nullptr},
      {-1, nullptr},
  };
  m.SetModoServico(true);
  for (const Caso& k : casos) {
    fake.configura = k.resultado;
    if (k.mensagem != nullptr) {
      EXPECT_EQ(MensagemDe([&] { m.Inicializar(); }), k.mensagem);
      EXPECT_FALSE(m.Inicializado());
    } else {
      EXPECT_NO_THROW(m.Inicializar()) << k.resultado;
      EXPECT_TRUE(m.Inicializado());
    }
    m.DesInicializar();
  }
  // Service mode shows nothing; otherwise the refusal is also shown.
  EXPECT_TRUE(ev.Com("Msg:opmOK").empty());
  m.SetModoServico(false);
  fake.configura = 3;
  EXPECT_THROW(m.Inicializar(), ERuVirIdUzaErro);
  EXPECT_EQ(ev.Com("Msg:opmOK"), std::vector<std::string>{"Msg:opmOK:Código de terminal inválido"});
}

TEST_F(BindingTest, ConfigurationLogLineAndASecondStartIsNoOp) {
  m.SetEnderecoIP("10.0.0.1");
  m.SetCodigoLoja("00000000");
  m.SetNumeroTerminal("AG000101");
  m.SetParametrosAdicionais({"A=1"});
  fake.configura = 9;  // success even though not 0: the log still says 0
  m.Inicializar();
  m.Inicializar();
  EXPECT_EQ(fake.configuracoes,
            std::vector<std::string>{"10.0.0.1|00000000|AG000101|[A=1];{ValorIncluiTaxa=0;};"});
  EXPECT_THAT(LerArquivo(pasta + "/tef.log"),
              HasSubstr("*** ConfiguraIntSiTefInterativoEx. EnderecoIP: 10.0.0.1 CodigoLoja: "
                        "00000000 NumeroTerminal: AG000101 Resultado: 0 ParametrosAdicionais: "
                        "[A=1];{ValorIncluiTaxa=0;};\r\n"));
}

TEST_F(BindingTest, PinPadAndUtilities) {
  EXPECT_EQ(MensagemDe([&] { m.VerificarPresencaPinPad(); }), "Erro ao iniciar \"TEF\"");
  EXPECT_EQ(MensagemDe([&] { m.DefineMensagemPermanentePinPad("x"); }), "Erro ao iniciar \"TEF\"");
  EXPECT_EQ(MensagemDe([&] { m.ObtemQuantidadeTransacoesPendentes(platform::Now(), "1"); }),
            "Erro ao iniciar \"TEF\"");
  m.Inicializar();
  struct Caso {
    int resultado;
    const char* texto;
  };
  for (const Caso& k :
       {Caso{-1, "Erro na DLL ou arquivo .INI do PINPAD"}, Caso{0, "Nenhum PINPAD conectado..."},
        Caso{1, "PINPAD conectado com sucesso..."}, Caso{2, ""}}) {
    fake.pinpad = k.resultado;
    EXPECT_EQ(m.VerificarPresencaPinPad(), k.texto);
  }
  EXPECT_EQ(m.ObtemQuantidadeTransacoesPendentes(platform::Now(), "1"), 3);
  m.DefineMensagemPermanentePinPad("OLÁ");
  EXPECT_EQ(fake.mensagensPinPad.back(), "OL\xC1");  // Windows-1252 at the boundary

  c.SetGPAtual(gpCliSiTef);
  EXPECT_EQ(c.LerCartaoSeguro(), "4111111111111111=3012");
  EXPECT_EQ(fake.mensagensPinPad.back(), "** BOA VIAGEM **");
  EXPECT_EQ(ev.Com("Msg:opmExibirMsgOperador"),
            std::vector<std::string>{"Msg:opmExibirMsgOperador:Passe o cartão"});

  EXPECT_EQ(MensagemDe([&] { m.AtivarGP(); }), "CliSiTef não pode ser ativado localmente");
  m.DesInicializar();
  EXPECT_EQ(MensagemDe([&] { m.VerificarPresencaPinPad(); }), "Erro ao iniciar \"TEF\"");
}

// ---------------------------------------------------------------- simulator

class SimuladorBindingTest : public ::testing::Test {
 protected:
  void Preparar(const std::string& extra = "") {
    sim = std::make_unique<Simulador>(extra);
    c.SetPathBackup(sim->pasta + "/TEF");
    c.SetArqLOG(sim->pasta + "/tef.log");
    c.SetModoServico(true);
    m.SetModoServico(true);
    m.SetPathDLL(sim->dll);
    m.SetEnderecoIP("127.0.0.1");
    m.SetCodigoLoja("00000000");
    m.SetNumeroTerminal("AG000101");
    ev.Ligar(c);
  }

  std::unique_ptr<Simulador> sim;
  Eventos ev;
  TRuVirIdUza c;
  TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
};

TEST_F(SimuladorBindingTest, InitializesFromTheDllFolderWithTheParameterString) {
  Preparar();
  m.SetParametrosAdicionais({"PortaPinPad=AUTO_USB", "Timeout=30"});
  c.SetCNPJLoja("12345678000199");
  c.SetCNPJZoVure("98765432000100");
  c.Inicializar(gpCliSiTef);
  EXPECT_TRUE(c.Inicializado(gpCliSiTef));
  const auto cfg = sim->Chamadas("ConfiguraIntSiTefInterativoEx");
  ASSERT_EQ(cfg.size(), 1u);
  EXPECT_EQ(cfg[0].Arg("address"), "127.0.0.1");
  EXPECT_EQ(cfg[0].Arg("store"), "00000000");
  EXPECT_EQ(cfg[0].Arg("terminal"), "AG000101");
  EXPECT_EQ(cfg[0].Arg("parameters"),
            "[PortaPinPad=AUTO_USB;Timeout=30];{ValorIncluiTaxa=0;};"
            "[ParmsClient=1=12345678000199;2=98765432000100];");
  EXPECT_EQ(cfg[0].result, 0);
  EXPECT_EQ(m.VerificarPresencaPinPad(), "PINPAD conectado com sucesso...");
}

TEST_F(SimuladorBindingTest, RefusedStoreCodeIsAConnectionFailure) {
  Preparar();
  m.SetCodigoLoja("loja!");
  EXPECT_EQ(MensagemDe([&] { c.Inicializar(gpCliSiTef); }), "Erro ao conectar com servidor TEF");
  EXPECT_FALSE(c.Inicializado(gpCliSiTef));
  ASSERT_EQ(sim->Chamadas("ConfiguraIntSiTefInterativoEx").size(), 1u);
  EXPECT_EQ(sim->Chamadas("ConfiguraIntSiTefInterativoEx")[0].result, 2);
  // The manager's own start reports what the library refused.
  EXPECT_EQ(MensagemDe([&] { m.Inicializar(); }), "Código da loja inválido");
}

TEST_F(SimuladorBindingTest, PinPadAnswersOfTheLibrary) {
  for (int presente : {0, -1}) {
    Preparar("\"pinpad_present\": " + std::to_string(presente));
    m.Inicializar();
    EXPECT_EQ(m.VerificarPresencaPinPad(), presente == 0 ? "Nenhum PINPAD conectado..."
                                                         : "Erro na DLL ou arquivo .INI do PINPAD");
    m.DesInicializar();
  }
}

TEST_F(SimuladorBindingTest, TrackCaptureRunsTheDialogueAndKeepsTheTrack) {
  Preparar();
  c.Inicializar(gpCliSiTef);
  EXPECT_EQ(c.LerTrilha3(), "0123456789");
  EXPECT_FALSE(m.AguardandoResposta());
  const auto msgs = sim->Chamadas("EscreveMensagemPermanentePinPad");
  ASSERT_FALSE(msgs.empty());
  EXPECT_EQ(msgs.back().Arg("message"), "** BOA VIAGEM **");
  EXPECT_THAT(ev.Com("Msg:opmExibirMsgOperador"),
              ::testing::Contains("Msg:opmExibirMsgOperador:Passe o cartao"));
}

TEST_F(SimuladorBindingTest, MissingLibraryAndMissingEntryPoint) {
  Preparar();
  fs::remove(sim->dll + "/libclisitef.so");
  EXPECT_EQ(MensagemDe([&] { m.Inicializar(); }),
            "Erro ao carregar a função:ConfiguraIntSiTefInterativoEx de: libclisitef.so");
  // A shared library without our entry points.
  fs::copy_file("/usr/lib/x86_64-linux-gnu/libBrokenLocale.so.1", sim->dll + "/libclisitef.so");
  EXPECT_EQ(MensagemDe([&] { m.Inicializar(); }),
            "Erro ao carregar a função:ConfiguraIntSiTefInterativoEx de: libclisitef.so");
  EXPECT_FALSE(m.Inicializado());
}

}  // namespace
