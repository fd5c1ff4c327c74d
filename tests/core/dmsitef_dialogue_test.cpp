#include <gtest/gtest.h>

#include <chrono>

#include "core/conversions.h"
#include "core/dmsitef.h"
#include "core/fakehost.h"
#include "platform/testenv.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_resp_clisitef.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace core {
namespace {

// The dialogue bridge with a scripted front end: answers are queued before
// the prompt, and the test reads back what the service sent.
class DialogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() /
           ("dialogue_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FDir);
    FHost = std::make_unique<TFakeHost>(FDir);
    TDmSitefOptions options;
    options.RespostaTimeoutMs = 300;
    Create(options);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  void Create(const TDmSitefOptions& options) {
    FDmSitef = std::make_unique<TDmSitef>(*FHost, options);
  }
  // Whether the library's next wait is interrupted (a cancellation is
  // flagged); the flag is handed over, so it is clear afterwards.
  bool LibraryInterrupted() {
    bool stop = false;
    FDmSitef->RuVirIdUzaAguardaResp("", 0, stop);
    return stop;
  }
  // The library waits for the host (the cancellation is allowed), and the
  // front end cancels.
  void FlagCancellation() {
    FDmSitef->RuVirIdUzaMudaEstadoResp(tef::respAguardandoResposta);
    FDmSitef->CancelTransactionInProgress(
        "{\"route\":\"/transaction/cancel\",\"type\":\"cancellation\"}");
    FHost->TakeSent();
  }

  void Answer(const std::string& json) { FHost->incoming.push_back(json); }
  std::vector<TJsonValue> Sent() {
    std::vector<TJsonValue> out;
    for (const std::string& s : FHost->TakeSent()) out.push_back(*ParseJson(s));
    return out;
  }
  static std::string Type(const TJsonValue& v) { return std::string(v.Find("type")->Text()); }

  std::filesystem::path FDir;
  std::unique_ptr<TFakeHost> FHost;
  std::unique_ptr<TDmSitef> FDmSitef;
};

TEST_F(DialogueTest, SilentFrontEndEndsTheWaitAtTheDeadline) {
  const auto start = std::chrono::steady_clock::now();
  std::string text = "x";
  FDmSitef->GetClientResponse(text);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(text, "");
  EXPECT_TRUE(LibraryInterrupted());
  EXPECT_GE(took, std::chrono::milliseconds(300));
  EXPECT_LT(took, std::chrono::seconds(3));
  ASSERT_FALSE(FHost->log.empty());
  EXPECT_EQ(FHost->log.back(), "GetClientResponse: timeout aguardando resposta do cliente.");
}

TEST_F(DialogueTest, MenuAnswerIsMatchedTrimmedAndIgnoringCase) {
  const tef::TStringList options = {"1:Debito", "2:Crédito"};
  struct Case {
    const char* response;
    int expected;
  } cases[] = {{" 2:CRÉDITO ", 1}, {"1:debito", 0}, {"3:Pix", -1}};
  for (const Case& c : cases) {
    Answer(std::string("{\"route\":\"/transaction\",\"type\":\"menu\",\"response\":\"") +
           c.response + "\"}");
    int item = -7;
    bool back = false;
    FDmSitef->RuVirIdUzaExibeMenu("Forma", options, item, back);
    EXPECT_EQ(item, c.expected) << c.response;
    const std::vector<TJsonValue> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(
        sent[0].Serialize(),
        "{\"type\":\"menu\",\"title\":\"Forma\",\"options\":[\"1:Debito\",\"2:Cr\\u00E9dito\"],"
        "\"can_cancel\":false,\"back_menu\":false}");
  }
}

TEST_F(DialogueTest, LeavingAMenuAsksTheCancelConfirmation) {
  struct Case {
    const char* confirmation_answer;
    bool cancel_stands;
  } cases[] = {
      {"{\"route\":\"/transaction\",\"type\":\"question\",\"response\":\"Sim\"}", false},
      {"{\"route\":\"/transaction\",\"type\":\"question\",\"response\":\"Não\"}", false},
      {"{\"route\":\"/transaction\",\"type\":\"confirmation\"}", true},
  };
  for (const Case& c : cases) {
    FDmSitef->RuVirIdUzaMudaEstadoReq(tef::reqNenhum);  // no cancellation flagged
    Answer("{\"route\":\"/transaction\",\"type\":\"menu\",\"response\":\"\",\"back_menu\":false}");
    Answer(c.confirmation_answer);
    int item = -1;
    bool back = false;
    FDmSitef->RuVirIdUzaExibeMenu("Forma", {"1:A"}, item, back);
    EXPECT_EQ(item, -1);
    EXPECT_FALSE(back);
    EXPECT_EQ(LibraryInterrupted(), c.cancel_stands) << c.confirmation_answer;
    const std::vector<TJsonValue> sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].Serialize(),
              "{\"type\":\"question\",\"message\":\"Deseja realmente cancelar esta "
              "opera\\u00E7\\u00E3o?\","
              "\"options\":[\"Sim\",\"N\\u00E3o\"],\"can_cancel\":false}");
  }
}

TEST_F(DialogueTest, CollectAnswers) {
  std::string resposta = "old";
  bool digitado = false, back = false;
  Answer("{\"route\":\"/transaction\",\"type\":\"collect\",\"typed\":true,\"response\":1234}");
  FDmSitef->RuVirIdUzaObtemCampo("Valor", 1, 4, 146, tef::tcCurrency, resposta, digitado, back);
  EXPECT_EQ(resposta, "1234");
  const std::vector<TJsonValue> sent = Sent();
  EXPECT_EQ(sent[0].Serialize(),
            "{\"type\":\"collect\",\"title\":\"Valor\",\"minimum_size\":1,\"maximum_size\":4,"
            "\"field_type\":146,\"field_operation\":\"currency\",\"can_cancel\":false,"
            "\"back_menu\":false,\"typed\":false}");

  Answer(
      "{\"route\":\"/transaction\",\"type\":\"collect\",\"typed\":\"true\",\"response\":\"ab\"}");
  FDmSitef->RuVirIdUzaObtemCampo("T", 1, 4, 1, tef::tcString, resposta, digitado, back);
  EXPECT_EQ(resposta, "ab");

  Answer("{\"route\":\"/transaction\",\"type\":\"collect\",\"typed\":false,\"back_menu\":true}");
  FDmSitef->RuVirIdUzaObtemCampo("T", 1, 4, 1, tef::tcString, resposta, digitado, back);
  EXPECT_TRUE(back);
  EXPECT_FALSE(LibraryInterrupted());
  EXPECT_EQ(Sent().size(), 2u);  // two prompts, no cancel question
  EXPECT_FALSE(digitado);        // never changed by the service
}

TEST_F(DialogueTest, AnswersOnOtherRoutesAreDropped) {
  std::string resposta = "keep";
  bool digitado = false, back = false;
  Answer("{\"route\":\"/print\",\"type\":\"collect\",\"typed\":true,\"response\":\"x\"}");
  FDmSitef->RuVirIdUzaObtemCampo("T", 1, 4, 1, tef::tcString, resposta, digitado, back);
  EXPECT_EQ(resposta, "keep");
  Answer("{\"type\":\"collect\"}");  // no route: answered at once
  FDmSitef->RuVirIdUzaObtemCampo("T", 1, 4, 1, tef::tcString, resposta, digitado, back);
  const std::vector<TJsonValue> sent = Sent();
  bool missing_route = false;
  for (const TJsonValue& m : sent) {
    if (Type(m) == "error" && m.Find("message")->Text() == "Campo route nao encontrado.") {
      missing_route = true;
    }
  }
  EXPECT_TRUE(missing_route);
}

TEST_F(DialogueTest, MessagesByOperation) {
  int modal = 0;
  FDmSitef->ControlDisplayMessage("x", tef::opmRemoverMsgCliente, modal);
  EXPECT_TRUE(Sent().empty());
  FDmSitef->ControlDisplayMessage("x", tef::opmRemoverMsgOperador, modal);
  EXPECT_EQ(Sent()[0].Serialize(),
            "{\"type\":\"message\",\"message\":\"\",\"options\":[],\"can_cancel\":false}");
  Answer("{\"route\":\"/transaction\",\"type\":\"question\",\"response\":\"Reimprimir\"}");
  FDmSitef->ControlDisplayMessage("Imprimir?", tef::opmYesNoCustom, modal);
  EXPECT_EQ(modal, tef::mrOk);
  Answer("{\"route\":\"/transaction\",\"type\":\"confirmation\"}");
  FDmSitef->ControlDisplayMessage("Sem conexao SiTef", tef::opmOK, modal);
  EXPECT_EQ(modal, 0);
  EXPECT_TRUE(LibraryInterrupted());
}

TEST_F(DialogueTest, ReceiptHighlightCountsDown) {
  TDmSitefOptions options;
  options.DestaqueViaMs = 300;
  options.DestaqueViaStepMs = 100;
  Create(options);
  int modal = 0;
  FDmSitef->ControlDisplayMessage("Destaque a 1ª Via", tef::opmDestaqueVia, modal);
  const std::vector<TJsonValue> sent = Sent();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent.back().Find("message")->Text(), "Destaque a 1ª Via");
  EXPECT_EQ(sent[sent.size() - 2].Find("message")->Text(), "Destaque a 1ª Via 0");
}

// The full three-second highlight, run on a clock the test owns: no real
// time passes, and every step of the countdown is seen.
TEST_F(DialogueTest, ReceiptHighlightCountsDownOnTheEnvironmentsClock) {
  platform::TManualClockEnv clock;
  FDmSitef = std::make_unique<TDmSitef>(*FHost, TDmSitefOptions{}, clock);
  int modal = 0;
  FDmSitef->ControlDisplayMessage("Destaque a 2ª Via", tef::opmDestaqueVia, modal);
  std::vector<std::string> messages;
  for (const TJsonValue& m : Sent()) messages.emplace_back(m.Find("message")->Text());
  const std::string v = "Destaque a 2ª Via";
  EXPECT_EQ(messages, (std::vector<std::string>{v + " 2", v + " 2", v + " 1", v + " 1", v + " 0",
                                                v + " 0", v + " 0", v}));
  EXPECT_EQ(clock.Slept(), 3500);
}

TEST_F(DialogueTest, InterruptionCheckHandsTheCancellationToTheLibrary) {
  FDmSitef->RuVirIdUzaMudaEstadoResp(tef::respProcessando);                 // not cancellable
  Answer("{\"route\":\"/transaction/cancel\",\"type\":\"cancellation\"}");  // too early
  bool stop = false;
  FDmSitef->RuVirIdUzaAguardaResp("23", 0, stop);
  EXPECT_FALSE(stop);
  FDmSitef->RuVirIdUzaMudaEstadoResp(tef::respAguardandoResposta);  // cancellable
  Answer("{\"route\":\"/transaction/cancel\",\"type\":\"cancellation\"}");
  FDmSitef->RuVirIdUzaAguardaResp("23", 0, stop);
  EXPECT_TRUE(stop);
  EXPECT_FALSE(LibraryInterrupted());
}

}  // namespace
}  // namespace core

namespace core {
namespace {

// An approval that arrives while a cancellation is flagged is undone at
// once, and its copy does not linger into the next function's result.
TEST_F(DialogueTest, ApprovalWithACancellationFlaggedLeavesNothingPending) {
  auto& pending = FDmSitef->RuVirIdUza().RespostasPendentes();
  pending.Add(std::make_unique<tef::TRuVirIdUzaRespCliSiTef>());
  FlagCancellation();
  FDmSitef->RuVirIdUzaDepoisConfirmarTransacoes(pending);
  EXPECT_EQ(pending.Count(), 0);
  const std::vector<TJsonValue> sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(
      sent[0].Serialize(),
      "{\"type\":\"result\",\"status\":\"unauthorized\",\"message\":\"Transa\\u00E7\\u00E3o TEF "
      "n\\u00E3o realizada.\"}");
  EXPECT_FALSE(FDmSitef->Concluido());
}

TEST_F(DialogueTest, AStoppingServiceEndsTheWaitAtOnce) {
  FHost->serving = false;
  TDmSitefOptions options;
  options.RespostaTimeoutMs = 60000;
  Create(options);
  const auto start = std::chrono::steady_clock::now();
  std::string text;
  FDmSitef->GetClientResponse(text);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(LibraryInterrupted());
}

}  // namespace
}  // namespace core

namespace core {
namespace {

TEST_F(DialogueTest, PrinterInformationBeforeAnyTransaction) {
  std::string r;
  FDmSitef->RuVirIdUzaInfoECF(tef::ineTotalAPagar, r);
  EXPECT_EQ(r, PrinterAmountText(tef::TCurrency()));
  FDmSitef->RuVirIdUzaInfoECF(tef::ineEstadoECF, r);
  EXPECT_EQ(r, "L");  // no TEF manager selected
}

}  // namespace
}  // namespace core
