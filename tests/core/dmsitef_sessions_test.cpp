#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "core/dmsitef.h"
#include "core/fakehost.h"
#include "core/jwt.h"
#include "platform/clock.h"
#include "platform/testenv.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"

namespace core {
namespace {

using platform::TDateTime;

// Sessions with a clock the test moves.
class SessionClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "America/Sao_Paulo", 1);  // UTC-3, no daylight saving since 2019
    tzset();
    FDir = std::filesystem::temp_directory_path() /
           ("sessions_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FDir);
    FHost = std::make_unique<TFakeHost>(FDir);
    TDmSitefOptions options;
    options.PathDLL = ZENTAVO_APP_DIR "/dll/";  // the TEF library simulator
    FDmSitef = std::make_unique<TDmSitef>(*FHost, options, FClock);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  void At(const TDateTime& local) { FClock.SetNowMillis(platform::LocalToUnixMillis(local)); }
  TJsonValue Start(const std::string& secctional = "0012", const std::string& sale_id = "5") {
    TJsonValue claims = TJsonValue::MakeObject();
    claims.AddString("secctional_code", secctional)
        .AddString("ip_address", "127.0.0.1")
        .AddString("store_code", "00000000")
        .AddString("additional_parameters", "")
        .AddString("operator", "CAIXA")
        .AddString("sale_id", sale_id)
        .AddInteger("company_id", 1)
        .AddString("callback_url", "https://x/api");
    TJsonValue msg = TJsonValue::MakeObject();
    msg.AddString("route", "/session/start")
        .AddString("type", "session")
        .AddString("token", GenerateJWT(kJWTSharedKey, claims));
    FDmSitef->RouteTargeting(msg.Serialize(), FConnection);
    return LastReply();
  }
  TJsonValue LastReply() {
    std::vector<std::string> sent = FHost->TakeSent();
    EXPECT_FALSE(sent.empty());
    if (sent.empty()) return TJsonValue();
    std::optional<TJsonValue> v = ParseJson(sent.back());
    EXPECT_TRUE(v && v->IsObject()) << sent.back();
    return v ? *v : TJsonValue();
  }
  std::string Finish(const std::string& uuid) {
    FDmSitef->RouteTargeting(
        "{\"route\":\"/session/finish\",\"type\":\"session\",\"session_uuid\":\"" + uuid + "\"}",
        FConnection);
    return std::string(LastReply().Find("message")->Text());
  }

  std::filesystem::path FDir;
  platform::TManualClockEnv FClock;
  std::unique_ptr<TFakeHost> FHost;
  std::unique_ptr<TDmSitef> FDmSitef;
  TFakeConnection FConnection;
};

TEST_F(SessionClockTest, ExpirationIsTheExpiryInUtcWithMilliseconds) {
  At(TDateTime{2025, 1, 5, 14, 33, 9, 123});
  const TJsonValue reply = Start();
  ASSERT_NE(reply.Find("expiration"), nullptr) << reply.Serialize();
  EXPECT_EQ(reply.Find("expiration")->Text(), "2025-01-05T18:03:09.123Z");
  EXPECT_EQ(FDmSitef->CurrentSale().Venda_Id, 5);
}

TEST_F(SessionClockTest, ThirtyMinutesLaterTheSessionHasExpiredAndIsGone) {
  At(TDateTime{2025, 1, 5, 14, 33, 9, 123});
  const TJsonValue reply = Start();
  ASSERT_NE(reply.Find("session_uuid"), nullptr) << reply.Serialize();
  const std::string uuid(reply.Find("session_uuid")->Text());
  At(TDateTime{2025, 1, 5, 15, 3, 9, 122});
  TSessionPtr s;
  EXPECT_TRUE(FDmSitef->ValidateSession("{\"session_uuid\":\"" + uuid + "\"}", s));
  At(TDateTime{2025, 1, 5, 15, 3, 9, 123});
  EXPECT_EQ(Finish(uuid), "Sessão expirada.");
  EXPECT_EQ(Finish(uuid), "Sessão inválida.");
  EXPECT_EQ(FDmSitef->Sessions().Count(), 0u);
}

TEST_F(SessionClockTest, WhileTheTEFIsClaimedSessionStartAndInitializeChangeNothing) {
  At(TDateTime{2025, 1, 5, 14, 33, 9, 123});
  const std::string uuid(Start("0012", "77").Find("session_uuid")->Text());
  {
    TTEFClaim transaction(FDmSitef->TEFClaim(), TTEFClaim::usoTransacao);
    ASSERT_TRUE(transaction.Owns());
    EXPECT_EQ(Start().Serialize(),
              "{\"type\":\"error\",\"message\":\"Transa\\u00E7\\u00E3o TEF em andamento.\"}");
    FDmSitef->RouteTargeting(
        "{\"route\":\"/initialize\",\"type\":\"initialize\",\"session_uuid\":\"" + uuid + "\"}",
        FConnection);
    EXPECT_EQ(LastReply().Find("message")->Text(), kMsgTEFEmAndamento);
    EXPECT_EQ(FDmSitef->CurrentSale().Venda_Id, 77);
    EXPECT_EQ(FDmSitef->Sessions().Count(), 1u);
    TTEFClaim second(FDmSitef->TEFClaim(), TTEFClaim::usoPinPad);
    EXPECT_FALSE(second.Owns());
    EXPECT_EQ(second.Holder(), TTEFClaim::usoTransacao);
  }
  // Released on the way out: the next session start runs.
  EXPECT_EQ(Start().Find("status")->Text(), "created");
  EXPECT_EQ(FDmSitef->CurrentSale().Venda_Id, 5);
}

TEST_F(SessionClockTest, ASessionOutlivesTheHourRepeatedWhenDaylightSavingEnds) {
  setenv("TZ", "America/New_York", 1);
  tzset();
  // 01:40 of the second pass through 01:00-02:00 on 2 November 2025 (EST).
  const int64_t start = platform::ToUnixMillisAsUtc(TDateTime{2025, 11, 2, 6, 40, 0, 0});
  FClock.SetNowMillis(start);
  const TJsonValue reply = Start();
  ASSERT_NE(reply.Find("session_uuid"), nullptr) << reply.Serialize();
  EXPECT_EQ(reply.Find("expiration")->Text(), "2025-11-02T07:10:00.000Z");
  const std::string uuid(reply.Find("session_uuid")->Text());
  const int64_t later = start + 60 * 1000;
  FClock.SetNowMillis(later);
  TSessionPtr session;
  EXPECT_TRUE(FDmSitef->ValidateSession("{\"session_uuid\":\"" + uuid + "\"}", session));
  setenv("TZ", "America/Sao_Paulo", 1);
  tzset();
}

TEST_F(SessionClockTest, ClaimsTakeTheLibrarysCodePage) {
  At(TDateTime{2025, 1, 5, 14, 33, 9, 123});
  // The terminal number is made four characters long, not four bytes.
  Start("1\u00e9");
  EXPECT_EQ(FDmSitef->RuVirIdUza().TEFCliSiTef().NumeroTerminal(), "AG001\u00e900");
  // A sale identifier is read as the library would see it.
  const TJsonValue reply = Start("0012", "1\u0663");
  ASSERT_NE(reply.Find("message"), nullptr);
  EXPECT_EQ(reply.Find("message")->Text(), "'1?' is not a valid integer value");
}

TEST_F(SessionClockTest, TheComponentCarriesTheIntegratorsIdentification) {
  const tef::TRuVirIdUzaIdentificacao& id = FDmSitef->RuVirIdUza().Identificacao();
  EXPECT_EQ(id.NomeAplicacao(), "Zentavo TEF Server");
  EXPECT_EQ(id.VersaoAplicacao(), "1.0.12");
  EXPECT_FALSE(id.SoftwareHouse().empty());
  EXPECT_FALSE(id.RazaoSocial().empty());
}

}  // namespace
}  // namespace core
