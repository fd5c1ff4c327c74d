// Whole CliSiTef functions through the component against the simulator, with
// test handlers bound to the events the way the service binds them: the
// mapped response, the events raised and what the library was told.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/regional.h"
#include "ruviriduza_fake.h"
#include "ruviriduza_sim.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_resp.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace {

using namespace tef;
using namespace tef_test;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// What the host saw of one approved response.
struct Resultado {
  std::string header, nsu, autorizacao, cartao, documento, rede;
  TCurrency valor;
  bool debito = false, credito = false;
  int parcelas = 0;
  TRuVirIdUzaRespParceladoPor parceladoPor = parcNenhum;
  TStringList via1, via2;
};

class FuncaoSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    c.SetPathBackup(sim.pasta + "/TEF");
    c.SetArqLOG(sim.pasta + "/tef.log");
    c.SetModoServico(true);
    m.SetModoServico(true);
    m.SetPathDLL(sim.dll);
    m.SetEnderecoIP("127.0.0.1");
    m.SetCodigoLoja("00000000");
    m.SetNumeroTerminal("AG000101");
    m.SetOperador("CAIXA");
    ev.Ligar(c);
    // Like the service: read the result, confirm it, empty the list.
    c.OnDepoisConfirmarTransacoes = [this](TRuVirIdUzaRespostasPendentes& p) {
      for (int i = 0; i < p.Count(); ++i) {
        const TRuVirIdUzaResp& r = p[i];
        resultados.push_back({r.Header(), r.NSU(), r.CodigoAutorizacaoTransacao(), r.NumeroCartao(),
                              r.DocumentoVinculado(), r.Rede(), r.ValorTotal(), r.Debito(),
                              r.Credito(), r.QtdParcelas(), r.ParceladoPor(),
                              r.ImagemComprovante1aVia(), r.ImagemComprovante2aVia()});
        confirmou.push_back(c.ConfirmarTransacao(confirmar, r.DocumentoVinculado()));
      }
      p.Clear();
    };
    c.Inicializar(gpCliSiTef);
  }

  bool Pagar(int funcao, double valor, const std::string& qtdParcela = "") {
    m.SetOperacaoCRT(funcao);
    return c.CRT(valor, "01", "", 0, "", "", "", qtdParcela);
  }
  std::vector<Registro> Finalizacoes() const {
    return sim.Chamadas("FinalizaFuncaoSiTefInterativo");
  }
  std::vector<int> ContinuacoesEnviadas() const {
    std::vector<int> r;
    for (const auto& reg : sim.Chamadas("ContinuaFuncaoSiTefInterativo")) {
      r.push_back(std::stoi(reg.Arg("continuation")));
    }
    return r;
  }

  Simulador sim;
  Eventos ev;
  TRuVirIdUza c;
  TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
  bool confirmar = true;
  std::vector<Resultado> resultados;
  std::vector<bool> confirmou;
};

TEST_F(FuncaoSimTest, DebitPaymentIsMappedConfirmedAndJournalled) {
  ASSERT_TRUE(Pagar(2, 12.50));
  ASSERT_EQ(resultados.size(), 1u);
  const Resultado& r = resultados[0];
  EXPECT_EQ(r.header, "CRT");
  EXPECT_TRUE(r.debito);
  EXPECT_FALSE(r.credito);
  EXPECT_EQ(r.cartao, "555555******4444");
  EXPECT_EQ(r.valor, TCurrency::FromCents(1250));
  EXPECT_EQ(r.rede, "REDE SIMULADA");
  EXPECT_EQ(r.nsu.size(), 6u);
  EXPECT_EQ(r.autorizacao.size(), 6u);
  EXPECT_THAT(r.via1, Contains("CARTÃO: 555555******4444"));
  EXPECT_THAT(r.via1, Contains("VIA DO CLIENTE"));
  EXPECT_THAT(r.via2, Contains("VIA DO ESTABELECIMENTO"));
  EXPECT_EQ(c.CodigoNsu(), r.nsu);
  EXPECT_EQ(c.CodigoAutorizacao(), r.autorizacao);

  // The dialogue: card messages, the automatic "A Vista", the question, waits.
  EXPECT_THAT(ev.log, Contains("Msg:opmExibirMsgOperador:Aguardando cartao\r\nValor: R$ 12,50"));
  EXPECT_THAT(ev.log, Contains("Msg:opmYesNo:Confirma o pagamento de@R$ 12,50?"));  // raw text
  EXPECT_TRUE(ev.Com("Menu:").empty());
  EXPECT_GE(ev.Com("Aguarda:23:0").size(), 3u);

  // What the library was told: start with the seconds of the day, confirm
  // with the same document and today's date.
  const auto inicios = sim.Chamadas("IniciaFuncaoSiTefInterativo");
  const auto& inicio = inicios.back();
  EXPECT_EQ(inicio.Arg("value"), "12,50");
  EXPECT_EQ(inicio.Arg("restrictions"), "[10];");
  EXPECT_EQ(inicio.Arg("document"), r.documento);
  const auto fin = Finalizacoes();
  ASSERT_EQ(fin.size(), 1u);
  EXPECT_EQ(fin[0].Arg("confirm"), "1");
  EXPECT_EQ(fin[0].Arg("document"), r.documento);
  EXPECT_EQ(fin[0].Arg("date"), platform::FormatDateTime("yyyymmdd", platform::Now()));
  EXPECT_EQ(fin[0].Arg("time").size(), 6u);
  EXPECT_EQ(std::string(fin[0].doc["outcome"].GetString()), "confirmed");
  EXPECT_THAT(confirmou, ElementsAre(true));
  EXPECT_FALSE(m.AguardandoResposta());
}

TEST_F(FuncaoSimTest, CreditWithInstallmentsChosenByTheHandlers) {
  ev.menus = {1, 2};  // credit, then "Parcelado pela Administradora"
  ev.campos = {"03"};
  ASSERT_TRUE(Pagar(0, 300.00));
  ASSERT_EQ(resultados.size(), 1u);
  EXPECT_TRUE(resultados[0].credito);
  EXPECT_EQ(resultados[0].cartao, "411111******1111");
  EXPECT_EQ(resultados[0].parcelas, 3);
  EXPECT_EQ(resultados[0].parceladoPor, parcADM);
  EXPECT_EQ(ev.Com("Menu:").size(), 2u);
  EXPECT_THAT(ev.Com("Campo:"), ElementsAre("Campo:505:tcString:Numero de parcelas (2 a 12)"));
  EXPECT_THAT(resultados[0].via1, Contains("PARCELADO EM 03 VEZES"));
}

TEST_F(FuncaoSimTest, CreditWithInstallmentsAnsweredAutomatically) {
  ASSERT_TRUE(Pagar(3, 300.00, "04"));
  ASSERT_EQ(resultados.size(), 1u);
  EXPECT_EQ(resultados[0].parcelas, 4);
  EXPECT_EQ(resultados[0].parceladoPor, parcLoja);
  EXPECT_TRUE(ev.Com("Menu:").empty());
  EXPECT_TRUE(ev.Com("Campo:").empty());
}

TEST_F(FuncaoSimTest, PixQrCodeReachesTheHost) {
  m.SetRestricoes("{DevolveStringQRCode=1}");
  ASSERT_TRUE(Pagar(300, 25.00));
  ASSERT_EQ(ev.qrcodes.size(), 1u);
  EXPECT_THAT(ev.qrcodes[0], StartsWith("000201"));
  EXPECT_EQ(sim.Chamadas("IniciaFuncaoSiTefInterativo").back().Arg("restrictions"),
            "{DevolveStringQRCode=1}");
  ASSERT_EQ(resultados.size(), 1u);
  EXPECT_FALSE(c.IdDaCarteiraDigital().empty());
  EXPECT_THAT(resultados[0].via1, Contains("PAGAMENTO INSTANTÂNEO"));
}

TEST_F(FuncaoSimTest, CancellationIsAnsweredFromTheCancelandoValues) {
  ASSERT_TRUE(Pagar(3, 12.50, "01"));
  const Resultado pagamento = resultados[0];
  m.SetCancelandoTransacaoTEF(true);
  m.SetCancelandoTransacaoNSU(pagamento.nsu);
  m.SetCancelandoTransacaoDATA(platform::Now());
  m.SetCancelandoTransacaoVALOR(TCurrency::FromCents(1250));
  ev.log.clear();
  ASSERT_TRUE(Pagar(200, 12.50));
  EXPECT_TRUE(ev.Com("Campo:").empty());
  EXPECT_TRUE(ev.Com("Menu:").empty());
  ASSERT_EQ(resultados.size(), 2u);
  EXPECT_THAT(resultados[1].via1, Contains("NSU ORIGINAL: " + pagamento.nsu));
  const auto fin = Finalizacoes();
  ASSERT_EQ(fin.size(), 2u);
  EXPECT_EQ(fin[1].Arg("confirm"), "1");
  EXPECT_EQ(fin[1].Arg("document"), resultados[1].documento);
  EXPECT_EQ(std::string(fin[1].doc["transaction"]["kind"].GetString()), "cancellation");
}

TEST_F(FuncaoSimTest, ReprintIsNotFinished) {
  ASSERT_TRUE(Pagar(2, 10.00));
  ASSERT_TRUE(Pagar(113, 1.00));
  ASSERT_EQ(resultados.size(), 2u);
  EXPECT_THAT(resultados[1].via1, Contains("REIMPRESSÃO"));
  EXPECT_TRUE(m.Reimpressao());
  EXPECT_THAT(confirmou, ElementsAre(true, true));
  EXPECT_EQ(Finalizacoes().size(), 1u);  // only the payment's
}

TEST_F(FuncaoSimTest, DenialAndUnreachableHostAreReported) {
  struct Caso {
    double valor;
    const char* mensagem;
  };
  for (const Caso& k : {Caso{12.05, "Negada pelo autorizador (5)"},
                        Caso{12.13,
                             "Não foi possivel realizar a conexão com o servidor SiTef\r\n"
                             "Por favor tente mais tarde..."},
                        Caso{12.43, "Operadora do cartão de crédito off-line (-43)"}}) {
    EXPECT_FALSE(Pagar(2, k.valor));
    EXPECT_EQ(ev.Com("Msg:opmExcept").back(), std::string("Msg:opmExcept:") + k.mensagem);
  }
  EXPECT_TRUE(resultados.empty());
  EXPECT_TRUE(Finalizacoes().empty());
  EXPECT_EQ(c.RespostasPendentes().Count(), 0);
}

TEST_F(FuncaoSimTest, AbortByInterruptionCheckAndByInvalidMenuChoice) {
  ev.interromper = {true};
  EXPECT_FALSE(Pagar(2, 10.00));
  EXPECT_EQ(ev.Com("Msg:opmExcept").back(), "Msg:opmExcept:Operação cancelada pelo operador");
  EXPECT_THAT(ContinuacoesEnviadas(), Contains(clisitef::kContinuaInterromper));

  ev.menus = {7};
  EXPECT_FALSE(Pagar(0, 10.00));
  EXPECT_EQ(ev.Com("Msg:opmExcept").back(), "Msg:opmExcept:Operação cancelada pelo operador");
  EXPECT_TRUE(resultados.empty());
  EXPECT_FALSE(m.AguardandoResposta());
}

TEST_F(FuncaoSimTest, UndoneWhenTheHostRefuses) {
  confirmar = false;
  ASSERT_TRUE(Pagar(2, 10.00));
  const auto fin = Finalizacoes();
  ASSERT_EQ(fin.size(), 1u);
  EXPECT_EQ(fin[0].Arg("confirm"), "0");
  EXPECT_EQ(std::string(fin[0].doc["outcome"].GetString()), "undone");
  EXPECT_EQ(ev.Com("Msg:opmOK").back(), "Msg:opmOK:Transação \"TEF\" não efetuada.");
}

}  // namespace
