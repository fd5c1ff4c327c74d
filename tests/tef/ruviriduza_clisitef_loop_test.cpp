// The dialogue loop against a scripted fake library: what each command
// raises, what goes back in the buffer and as continuation value, the
// automatic answers, and the closing step when a handler raises.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

// A command the loop does not know: answered with the pre-answer only.
constexpr int kCmdNaoListado = 5;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pasta = NovaPasta("loop");
    c.SetPathBackup(pasta + "/TEF");
    c.SetArqLOG(pasta + "/tef.log");
    c.SetModoServico(true);
    m.SetModoServico(true);
    m.SetLoader(&loader);
    ev.Ligar(c);
    c.Inicializar(gpCliSiTef);
  }
  void TearDown() override { fs::remove_all(pasta); }

  // Runs a payment of 10,00 through the script; returns CRT's result.
  bool Pagar(std::vector<Passo> passos, const std::string& qtdParcela = "",
             const std::string& cartao = "", const std::string& cvv = "") {
    fake.passos = std::move(passos);
    return c.CRT(10.0, "01", "", 0, cartao, "", cvv, qtdParcela);
  }
  bool Administrar(std::vector<Passo> passos) {
    fake.passos = std::move(passos);
    return c.ADM();
  }
  // Continuation values of the calls after the first.
  std::vector<int> Continuas() const {
    std::vector<int> r;
    for (size_t i = 1; i < fake.chamadas.size(); ++i) r.push_back(fake.chamadas[i].continua);
    return r;
  }
  // What each call after the first carried in the buffer.
  std::vector<std::string> Respostas() const {
    std::vector<std::string> r;
    for (size_t i = 1; i < fake.chamadas.size(); ++i) r.push_back(fake.chamadas[i].buffer);
    return r;
  }
  std::string Log() const { return LerArquivo(pasta + "/tef.log"); }

  std::string pasta;
  FakeCliSiTef fake;
  FakeLoader loader;
  Eventos ev;
  platform::TManualClockEnv env{platform::DefaultEnv()};
  TRuVirIdUza c{env};
  TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
};

Passo Cmd(int comando, int campo = kCampoNenhum, std::string texto = "", short mn = 0,
          short mx = 0) {
  return Passo{kContinuar, comando, campo, std::move(texto), mn, mx};
}

TEST_F(LoopTest, StartSendsValueDocumentDateTimeAndRecordsTheRequestLines) {
  const int64_t ms = platform::LocalToUnixMillis({2025, 1, 2, 10, 20, 30, 0});
  env.SetNowMillis(ms);
  m.SetOperacaoCRT(3);
  m.SetOperador("CAIXA 1");
  fake.passos = {};
  c.CRT(10.5, "01", "999", 0);
  ASSERT_EQ(fake.inicios.size(), 1u);
  EXPECT_EQ(fake.inicios[0], "3|10,50|37230|20250102|102030|CAIXA 1|[10];");
  const TRuVirIdUzaResp& r = m.Resp();
  EXPECT_EQ(r.Header(), "CRT");
  EXPECT_EQ(r.ID(), 37230);
  EXPECT_EQ(r.DocumentoVinculado(), "37230");  // the caller's document is not sent
  EXPECT_EQ(r.ValorTotal(), TCurrency::FromCents(1050));
  EXPECT_EQ(m.IDSeq(), 37230);
  EXPECT_THAT(Log(), HasSubstr("*** IniciaFuncaoSiTefInterativo. Modalidade: 3 Valor: 10,50 "
                               "Documento: 37230 Data: 20250102 Hora: 102030 Operador: CAIXA 1 "
                               "Restricoes: [10];"));
  EXPECT_THAT(Log(), HasSubstr("CRT -> Result: -1"));

  m.SetRestricoes("[27];");
  fake.inicia = 5;
  EXPECT_FALSE(c.CRT(0.01, "01"));
  EXPECT_EQ(fake.inicios.back(), "3|0,01|37230|20250102|102030|CAIXA 1|[27];");
  EXPECT_THAT(Log(), HasSubstr("CRT -> Result: 0"));
}

TEST_F(LoopTest, MessagesAndTheirRemoval) {
  Administrar({Cmd(kCmdMsgOperador, kCampoNenhum, "Linha 1@Linha 2/nLinha 3"),
               Cmd(kCmdMsgCliente, kCampoNenhum, "Cliente"),
               Cmd(kCmdMsgAmbos, kCampoNenhum, "Ambos"), Cmd(kCmdRemoverMsgOperador),
               Cmd(kCmdRemoverMsgCliente), Cmd(kCmdRemoverMsgAmbos),
               Cmd(kCmdMsgQRCode, kCampoMsgQRCode, "QR@texto"), Cmd(kCmdMsgQRCode, 1, "Pix@ok"),
               Cmd(kCmdGravarCampo, kCampoMsgOperador, "Aviso@x")});
  EXPECT_EQ(
      ev.Com("Msg:"),
      (std::vector<std::string>{
          "Msg:opmExibirMsgOperador:Linha 1\r\nLinha 2\r\nLinha 3",
          "Msg:opmExibirMsgCliente:Cliente", "Msg:opmExibirMsgOperador:Ambos",
          "Msg:opmExibirMsgCliente:Ambos", "Msg:opmRemoverMsgOperador:",
          "Msg:opmRemoverMsgCliente:", "Msg:opmRemoverMsgOperador:", "Msg:opmRemoverMsgCliente:",
          "Msg:opmQRCode:QR\r\ntexto", "Msg:opmExibirMsgOperador:Pix\r\nok",
          "Msg:opmExibirMsgCliente:Pix\r\nok", "Msg:opmExibirMsgOperador:Aviso\r\nx"}));
}

TEST_F(LoopTest, YesNoQuestion) {
  ev.respostasMsg = {mrYes, mrNo, 2 /* cancel */};
  Administrar({Cmd(kCmdSimNao, kCampoNenhum, "Confirma?"), Cmd(kCmdSimNao),
               Cmd(kCmdSimNao, kCampoNenhum, "De novo?")});
  EXPECT_THAT(Respostas(), ElementsAre("0", "1", "1"));
  EXPECT_EQ(ev.Com("Msg:opmYesNo")[1], "Msg:opmYesNo:CONFIRMA ?");
}

TEST_F(LoopTest, MenusAnsweredAutomaticallyOrByTheHandler) {
  struct Caso {
    int operacaoCRT;
    const char* qtdParcela;
    const char* menu;
    const char* resposta;
    bool perguntou;
  };
  const char* aVista =
      "1:A Vista;2:Parcelado pelo Estabelecimento;3:Parcelado pela Administradora;";
  const char* leitura = "1:Magnetico/Chip;2:Digitado;";
  const Caso casos[] = {
      {2, "", aVista, "1", false},
      {2, "", leitura, "1", false},
      {2, "", "1:VISA ELECTRON;2:OUTRO;", "1", false},
      {3, "03", aVista, "2", false},
      {3, "01", aVista, "1", false},
      {3, "", leitura, "1", false},
      {3, "", "1:VISA ELECTRON;2:OUTRO;", "2", true},  // handler chose index 1
      {0, "01", aVista, "2", true},
      {2, "", "1:Opcao;2:Digitado", "2", true},  // no trailing ";": still two options
  };
  for (const Caso& k : casos) {
    ev.log.clear();
    ev.menus = {1};
    ev.menuIdx = 0;
    fake.chamadas.clear();
    m.SetOperacaoCRT(k.operacaoCRT);
    Pagar({Cmd(kCmdTitulo, kCampoNenhum, "Forma"), Cmd(kCmdMenu, kCampoNenhum, k.menu)},
          k.qtdParcela);
    EXPECT_EQ(Respostas().back(), k.resposta) << k.menu << " " << k.operacaoCRT;
    EXPECT_EQ(!ev.Com("Menu:").empty(), k.perguntou) << k.menu << " " << k.operacaoCRT;
  }
  EXPECT_EQ(ev.Com("Menu:").back(), "Menu:Forma:1:Opcao;2:Digitado;");
}

TEST_F(LoopTest, MenuWithoutAValidChoiceAbortsAndGoingBackSendsOne) {
  m.SetOperacaoCRT(0);
  for (int escolha : {5, 3, -1}) {
    ev.menus = {escolha};
    ev.menuIdx = 0;
    fake.chamadas.clear();
    Pagar({Cmd(kCmdMenu, kCampoNenhum, "1:A;2:B;3:C;"),
           Cmd(kCmdMsgOperador, kCampoNenhum, "depois")});
    EXPECT_THAT(Continuas(), ElementsAre(kContinuaInterromper, kContinuaSeguir)) << escolha;
  }
  c.OnExibeMenu = [](const std::string&, const TStringList&, int& i, bool& voltar) {
    i = 1;
    voltar = true;
  };
  fake.chamadas.clear();
  Pagar(
      {Cmd(kCmdMenu, kCampoNenhum, "1:A;2:B;3:C;"), Cmd(kCmdMsgOperador, kCampoNenhum, "depois")});
  EXPECT_THAT(Continuas(), ElementsAre(kContinuaVoltar, kContinuaSeguir));
  // Every abort and the going back removed the messages.
  EXPECT_EQ(ev.Com("Msg:opmRemoverMsgOperador").size(), 4u);
}

TEST_F(LoopTest, AbortAndBackByEachCommand) {
  // 23 interrupted, 22 always goes back.
  ev.interromper = {false, true};
  Administrar({Cmd(kCmdVerificaInterrupcao), Cmd(kCmdVerificaInterrupcao),
               Cmd(kCmdAguardaTecla, kCampoNenhum, "Transacao ja efetuada   "),
               Cmd(kCmdAguardaTecla, kCampoNenhum, " Unauthorized"), Cmd(kCmdAguardaTecla)});
  EXPECT_THAT(Continuas(), ElementsAre(kContinuaSeguir, kContinuaInterromper, kContinuaVoltar,
                                       kContinuaVoltar, kContinuaVoltar));
  EXPECT_THAT(ev.Com("Aguarda:"), ElementsAre("Aguarda:23:0", "Aguarda:23:0"));
  EXPECT_THAT(ev.Com("Msg:opmOK"),
              ElementsAre("Msg:opmOK:Transação já efetuada no sitef\r\nImprima o ultimo "
                          "comprovante de pagamento e informe o pagamento manual."));
  EXPECT_THAT(ev.Com("Msg:opmExcept"), ElementsAre("Msg:opmExcept: Unauthorized"));
}

TEST_F(LoopTest, DataFieldsDuringAPayment) {
  m.SetOperacaoCRT(3);
  m.DefinirResposta(kCampoTipoPessoa, "1");
  ev.campos = {"4111111111111111", "07"};
  Pagar({Cmd(kCmdObterCampo, kCampoNumeroCartao, "Numero do cartao", 13, 19),
         Cmd(kCmdObterCampo, kCampoQtdParcelas, "Parcelas"), Cmd(kCmdObterCampo, kCampoTipoPessoa),
         Cmd(kCmdObterCampo, kCampoCodigoSeguranca, "CVV"), Cmd(kCmdNaoListado, kCampoTipoPessoa),
         Cmd(kCmdNaoListado, 777)},
        "00");
  EXPECT_THAT(Respostas(), ElementsAre("4111111111111111", "07", "1", "", "1", ""));
  EXPECT_THAT(ev.Com("Campo:"),
              ElementsAre("Campo:512:tcString:Numero do cartao", "Campo:505:tcString:Parcelas",
                          "Campo:514:tcSeguranca:CVV"));
  // Answered fields are stored with the response (a card number masked); 501 and 514 are not.
  EXPECT_EQ(m.Resp().LeInformacao(kCampoNumeroCartao).AsString(), "411111******1111");
  EXPECT_EQ(m.Resp().LeInformacao(kCampoCodigoSeguranca).AsString(), "");
}

TEST_F(LoopTest, DataFieldsAnsweredFromTheOperationsArguments) {
  m.SetOperacaoCRT(3);
  ev.campos = {"99"};
  Pagar({Cmd(kCmdObterCampo, kCampoNumeroCartao), Cmd(kCmdObterCampo, kCampoCodigoSeguranca),
         Cmd(kCmdObterCampo, kCampoQtdParcelas), Cmd(kCmdObterCampo, 999)},
        "03", "5555444433332222", "123");
  EXPECT_THAT(Respostas(), ElementsAre("5555444433332222", "123", "03", ""));
  EXPECT_TRUE(ev.Com("Campo:").empty());  // a card given means no prompt at all

  // Administrative functions pass "0" as card number: generic fields are never asked.
  fake.chamadas.clear();
  Administrar(
      {Cmd(kCmdObterCampo, kCampoNumeroCartao, "Cartao"), Cmd(kCmdObterCampo, 999, "Outro")});
  EXPECT_THAT(Respostas(), ElementsAre("0", ""));
  EXPECT_TRUE(ev.Com("Campo:").empty());
}

TEST_F(LoopTest, InstallmentsThatAreNotANumberEndTheLoopAndFreeIt) {
  m.SetOperacaoCRT(3);
  EXPECT_THROW(Pagar({Cmd(kCmdObterCampo, kCampoQtdParcelas, "Parcelas")}, "xx"), ERuVirIdUzaErro);
  EXPECT_FALSE(m.AguardandoResposta());
  EXPECT_TRUE(Pagar({Cmd(kCmdMsgOperador, kCampoNenhum, "ok")}));  // a new function can start
}

TEST_F(LoopTest, AHandlerThatRaisesStillClosesTheDialogue) {
  c.OnExibeMsg = [](TRuVirIdUzaOperacaoMensagem op, const std::string&, TModalResult&) {
    if (op == opmExibirMsgCliente) throw std::runtime_error("conexão perdida");
  };
  fake.passos = {Cmd(kCmdGravarCampo, kCampoNSU, "000123"), Cmd(kCmdMsgCliente, kCampoNenhum, "x")};
  try {
    c.ADM();
    FAIL() << "no failure";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "conexão perdida");
  }
  EXPECT_FALSE(m.AguardandoResposta());
  EXPECT_EQ(m.Resp().NSU(), "000123");  // mapped by the closing step
  EXPECT_THAT(Log(), HasSubstr("133-000 = 000123"));
}

TEST_F(LoopTest, ASecondStartDuringTheDialogueIsRefused) {
  std::string msg;
  c.OnAguardaResp = [&](const std::string&, int, bool&) {
    try {
      c.ADM();
    } catch (const ERuVirIdUzaErro& e) {
      msg = e.what();
    }
  };
  Administrar({Cmd(kCmdVerificaInterrupcao)});
  EXPECT_EQ(msg, "Requisição anterior não concluida");
}

TEST_F(LoopTest, CurrencyFields) {
  ev.campos = {"12.5", "abc", " 7,3 ", "2"};
  Pagar({Cmd(kCmdObterValor, kCampoSaque, "Valor do saque"),
         Cmd(kCmdObterValor, kCampoSaque, "Valor"),
         Cmd(kCmdObterValor, 1, "Forneca a taxa de embarque"),
         Cmd(kCmdObterValor, 1, "Forneca a taxa de servico"),
         Cmd(kCmdObterValor, 1, "VISA ELECTRON\nSAQUE")});
  EXPECT_THAT(Respostas(), ElementsAre("12,50", "0,00", "0,00", "0,00", "0,00"));
  c.SetFornecerTaxaDeEmbarque(true);
  c.SetFornecerTaxaDeServico(true);
  fake.chamadas.clear();
  Pagar({Cmd(kCmdObterValor, 1, "Forneca a taxa de embarque"),
         Cmd(kCmdObterValor, 1, "Forneca a taxa de servico")});
  EXPECT_THAT(Respostas(), ElementsAre("7,30", "2,00"));
  EXPECT_EQ(ev.Com("Campo:").back(), "Campo:1:tcCurrency:Forneca a taxa de servico");
}

TEST_F(LoopTest, CancellationAnswersComeFromTheCancelandoValues) {
  m.SetCancelandoTransacaoTEF(true);
  m.SetCancelandoTransacaoNSU("000042");
  m.SetCancelandoTransacaoDATA({2025, 3, 7, 0, 0, 0, 0});
  m.SetCancelandoTransacaoVALOR(TCurrency::FromCents(1250));
  m.SetOperacaoCRT(200);
  Pagar({Cmd(kCmdObterCampo, kCampoValor), Cmd(kCmdObterCampo, kCampoDataTransacaoCancelada),
         Cmd(kCmdObterCampo, kCampoNSUTransacaoCancelada), Cmd(kCmdObterValor, kCampoValor)});
  EXPECT_THAT(Respostas(), ElementsAre("12,50", "07032025", "000042", "12,50"));
  EXPECT_TRUE(ev.Com("Campo:").empty());
  EXPECT_EQ(m.Resp().NSUTransacaoCancelada(), "000042");
}

TEST_F(LoopTest, ResultFieldsAndTheirSideEffects) {
  Administrar(
      {Cmd(kCmdGravarCampo, kCampoInstituicao, "REDE A"),
       Cmd(kCmdGravarCampo, kCampoInstituicao, "REDE B"), Cmd(kCmdGravarCampo, kCampoNSU, "000777"),
       Cmd(kCmdGravarCampo, kCampoCodigoAutorizacao, "AUT1"),
       Cmd(kCmdGravarCampo, kCampoIndicador15, "qualquer"),
       Cmd(kCmdGravarCampo, kCampoCodigoHASH, "HASH1"),
       Cmd(kCmdGravarCampo, kCampoCodigoHASH, "HASH2"),
       Cmd(kCmdGravarCampo, kCampoDocumentoPessoa, "12345678909"),
       Cmd(kCmdGravarCampo, kCampoSenha, "Senha"), Cmd(kCmdGravarCampo, kCampoDevolucao, "1"),
       Cmd(kCmdGravarCampo, kCampoComprovante1aVia, "CART\xC3O\nLINHA 2\n")});
  EXPECT_EQ(c.CodigoRede(), "REDE A");
  EXPECT_EQ(c.CodigoNsu(), "000777");
  EXPECT_EQ(c.CodigoAutorizacao(), "AUT1");
  EXPECT_EQ(c.CPFCliente(), "12345678909");
  EXPECT_EQ(m.CodigoHASH(), "HASH1");
  EXPECT_TRUE(m.Devolucao());
  EXPECT_EQ(m.Resp().LeInformacao(kCampoIndicador15).AsString(), "True");
  EXPECT_EQ(m.Resp().Instituicao(), "REDE B");  // the record keeps the last value
  EXPECT_THAT(ev.Com("Senha:"), ElementsAre("Senha:Senha"));
  // The receipt kept its accented line (the library sends Windows-1252).
  EXPECT_THAT(m.Resp().ImagemComprovante1aVia(), ElementsAre("CARTÃO", "LINHA 2"));
}

TEST_F(LoopTest, FinalResultsAreReportedByAvaliaErro) {
  struct Caso {
    int sts;
    const char* mensagem;
  };
  const Caso casos[] = {
      {kCanceladaPeloUsuario, "Operação cancelada pelo usuário"},
      {kSemConexaoSiTef,
       "Não foi possivel realizar a conexão com o servidor SiTef\r\nPor favor tente mais tarde..."},
      {kFaltaDeMemoria, "Falta de memória para rodar a função"},
      {kModalidadeInvalida, "Fornecida uma modalidade inválida"},
      {kCanceladaPeloOperador, "Operação cancelada pelo operador"},
      {kModuloNaoInicializado, "Módulo não inicializado"},
      {-43, "Operadora do cartão de crédito off-line (-43)"},
      {5, "Negada pelo autorizador (5)"},
  };
  for (const Caso& k : casos) {
    fake.inicia = k.sts;
    EXPECT_FALSE(c.CRT(1.0, "01"));
    EXPECT_EQ(ev.Com("Msg:opmExcept").back(), std::string("Msg:opmExcept:") + k.mensagem);
    EXPECT_THAT(Log(), HasSubstr("AvaliaErro: STS " + std::to_string(k.sts)));
  }
  EXPECT_TRUE(fake.chamadas.empty());  // no start, no loop
  EXPECT_EQ(c.RespostasPendentes().Count(), 0);
}

TEST_F(LoopTest, ChequeAndCancellationWrappersPreAnswer) {
  fake.passos = {Cmd(kCmdObterCheque, kCampoCheque, "Cheque"),
                 Cmd(kCmdObterCampo, kCampoTipoPessoa), Cmd(kCmdObterCampo, kCampoDocumentoPessoa),
                 Cmd(kCmdObterCampo, kCampoDataPreDatado)};
  c.CHQ(50.0, "02", "", "", 'J', " 12.345.678/0001-90 ", {2025, 12, 31, 0, 0, 0, 0}, "1", "234",
        "5", "12-34", "6", "123", "7", "18");
  EXPECT_THAT(Respostas(), ElementsAre("0:"
                                       "018"
                                       "001"
                                       "0234"
                                       "5"
                                       "0000001234"
                                       "6"
                                       "000123"
                                       "7",
                                       "1", "12345678000190", "31122025"));
  EXPECT_THAT(fake.inicios.back(), ::testing::EndsWith("|[15;25]"));

  fake.chamadas.clear();
  fake.passos = {Cmd(kCmdObterCampo, kCampoValor), Cmd(kCmdObterCampo, kCampoValorConfirmado),
                 Cmd(kCmdObterCampo, kCampoDataTransacaoCancelada),
                 Cmd(kCmdObterCampo, kCampoNSUTransacaoCancelada)};
  c.CNC("REDE", "000042", {2025, 3, 7, 9, 0, 0, 0}, 12.5);
  EXPECT_THAT(Respostas(), ElementsAre("12,50", "12,50", "07032025", "000042"));
  EXPECT_THAT(fake.inicios.back(), ::testing::StartsWith("200|0,00|"));
}

TEST_F(LoopTest, TypedCardDataGoesToTheLibraryButNeverToTheLogOrTheRecord) {
  ev.campos = {"4111111111111111", "1230", "987"};
  ASSERT_TRUE(Pagar({Cmd(kCmdObterCampo, kCampoNumeroCartao, "Numero do cartao", 13, 19),
                     Cmd(kCmdObterCampo, kCampoDataVencimento, "Vencimento", 4, 4),
                     Cmd(kCmdObterCampo, kCampoCodigoSeguranca, "Codigo de seguranca", 3, 4)}));
  EXPECT_THAT(Respostas(), ElementsAre("4111111111111111", "1230", "987"));
  const TRuVirIdUzaArquivo& conteudo = c.RespostasPendentes()[0].Conteudo();
  EXPECT_EQ(conteudo.LeInformacao(kCampoNumeroCartao, 0).AsString(), "411111******1111");
  EXPECT_EQ(conteudo.LeInformacao(kCampoDataVencimento, 0).AsString(), "****");
  EXPECT_FALSE(conteudo.Existe(kCampoCodigoSeguranca, 0));  // the security code is never stored
  const std::string log = Log();
  EXPECT_THAT(log, ::testing::Not(HasSubstr("4111111111111111")));
  EXPECT_THAT(log, ::testing::Not(HasSubstr("Buffer = 1230")));
  EXPECT_THAT(log, ::testing::Not(HasSubstr("Buffer = 987")));
  EXPECT_THAT(log, HasSubstr("Buffer = 411111******1111"));
  EXPECT_THAT(log, HasSubstr("512-000 = 411111******1111"));

  // A number given by the caller is masked the same way; a short one whole.
  fake.chamadas.clear();
  fake.passos = {Cmd(kCmdObterCampo, kCampoNumeroCartao, "Numero do cartao"),
                 Cmd(kCmdObterCampo, kCampoCodigoSeguranca, "CVV")};
  ASSERT_TRUE(c.CRT(10.0, "01", "", 0, "1234567890", "", "55", ""));
  EXPECT_THAT(Respostas(), ElementsAre("1234567890", "55"));
  EXPECT_EQ(c.Resp().LeInformacao(kCampoNumeroCartao).AsString(), "**********");
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("1234567890")));
  EXPECT_THAT(Log(), ::testing::Not(HasSubstr("Buffer = 55")));
}

}  // namespace
