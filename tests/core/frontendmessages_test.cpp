#include "core/frontendmessages.h"

#include <gtest/gtest.h>

namespace core::frontend {
namespace {

// Each message byte for byte: the front end reads members in this order.
TEST(FrontendMessagesTest, ErrorReply) {
  EXPECT_EQ(ErrorReply("Sessão inválida.").Serialize(),
            R"({"type":"error","message":"Sess\u00E3o inv\u00E1lida."})");
}

TEST(FrontendMessagesTest, SessionReplies) {
  EXPECT_EQ(SessionCreated("2025-01-05T18:03:09.123Z", "u-1", "00000000", "AG001201").Serialize(),
            R"({"type":"session","status":"created","message":"Sess\u00E3o criada com sucesso.",)"
            R"("expiration":"2025-01-05T18:03:09.123Z","session_uuid":"u-1",)"
            R"("store_code":"00000000","terminal_number":"AG001201"})");
  EXPECT_EQ(
      SessionFinished().Serialize(),
      R"({"type":"session","status":"finished","message":"Sess\u00E3o finalizada com sucesso."})");
}

TEST(FrontendMessagesTest, InitializeReply) {
  EXPECT_EQ(Initialized().Serialize(),
            R"({"type":"initialize","message":"Inicializado com sucesso."})");
}

TEST(FrontendMessagesTest, PinpadStatusReply) {
  EXPECT_EQ(PinpadStatus("connected", "PinPad conectado").Serialize(),
            R"({"type":"status","status":"connected","message":"PinPad conectado"})");
}

TEST(FrontendMessagesTest, VersionReply) {
  EXPECT_EQ(VersionReply("clisitef_dll", "1.2.3.4", true, "07").Serialize(),
            R"({"type":"version","category":"clisitef_dll","version":"1.2.3.4",)"
            R"("updating":true,"pdv_number":"07"})");
}

TEST(FrontendMessagesTest, TransactionStatusReplies) {
  EXPECT_EQ(TransactionStatus("processing").Serialize(),
            R"({"type":"status","status":"processing"})");
  EXPECT_EQ(TransactionStatus(ResultNotRealised("canceled"), true).Serialize(),
            R"({"type":"result","status":"canceled","message":"Transa\u00E7\u00E3o TEF )"
            R"(n\u00E3o realizada.","pending_reconciliation":true})");
}

TEST(FrontendMessagesTest, NoticeAndItsClearing) {
  EXPECT_EQ(
      Notice("Inicializando TEF...").Serialize(),
      R"({"type":"message","message":"Inicializando TEF...","options":[],"can_cancel":false})");
  EXPECT_EQ(Notice("").Serialize(),
            R"({"type":"message","message":"","options":[],"can_cancel":false})");
}

TEST(FrontendMessagesTest, CanCancel) {
  EXPECT_EQ(CanCancel(true).Serialize(), R"({"type":"can_cancel","can_cancel":true})");
}

TEST(FrontendMessagesTest, QRCode) {
  EXPECT_EQ(QRCode("000201").Serialize(), R"({"type":"qrcode","data":"000201"})");
}

TEST(FrontendMessagesTest, QuestionAndConfirmation) {
  EXPECT_EQ(Question("Confirma?", {"Sim", "Não"}).Serialize(),
            R"({"type":"question","message":"Confirma?","options":["Sim","N\u00E3o"],)"
            R"("can_cancel":false})");
  EXPECT_EQ(Confirmation("Sem conexao SiTef", {"Ok"}).Serialize(),
            R"({"type":"confirmation","message":"Sem conexao SiTef","options":["Ok"],)"
            R"("can_cancel":false})");
  EXPECT_EQ(Confirmation("x", {}).Serialize(),
            R"({"type":"confirmation","message":"x","options":[],"can_cancel":false})");
}

TEST(FrontendMessagesTest, Menu) {
  EXPECT_EQ(Menu("Forma", {"1:Debito", "2:Credito"}).Serialize(),
            R"({"type":"menu","title":"Forma","options":["1:Debito","2:Credito"],)"
            R"("can_cancel":false,"back_menu":false})");
}

TEST(FrontendMessagesTest, Collect) {
  TCollectPrompt p;
  p.Title = "Valor";
  p.MinimumSize = 1;
  p.MaximumSize = 4;
  p.FieldType = 146;
  p.FieldOperation = "currency";
  p.BackMenu = true;
  EXPECT_EQ(Collect(p).Serialize(),
            R"({"type":"collect","title":"Valor","minimum_size":1,"maximum_size":4,)"
            R"("field_type":146,"field_operation":"currency","can_cancel":false,)"
            R"("back_menu":true,"typed":false})");
}

TEST(FrontendMessagesTest, Receipt) {
  EXPECT_EQ(Receipt(2, {"VIA CLIENTE", ""}).Serialize(),
            R"({"type":"receipt","copy_number":2,"data":["VIA CLIENTE",""]})");
}

TEST(FrontendMessagesTest, Results) {
  TJsonValue entries = TJsonValue::MakeArray();
  TJsonValue entry = TJsonValue::MakeObject();
  entry.AddInteger("sale_id", 5);
  entries.Push(entry);
  const TJsonValue approved = ResultApproved(entries);
  EXPECT_EQ(approved.Serialize(),
            R"({"type":"result","status":"approved","message":"Transa\u00E7\u00E3o TEF )"
            R"(conclu\u00EDda com sucesso.","transaction_data":[{"sale_id":5}]})");
  EXPECT_EQ(ResultNotRealised("unauthorized").Serialize(),
            R"({"type":"result","status":"unauthorized","message":"Transa\u00E7\u00E3o TEF )"
            R"(n\u00E3o realizada."})");
  // Not confirmed: the entries stay, status and message move behind them.
  EXPECT_EQ(ResultNotConfirmed(approved.Find("transaction_data")).Serialize(),
            R"({"type":"result","transaction_data":[{"sale_id":5}],"status":"canceled",)"
            R"("message":"Ocorreu um erro durante o processo, a transa\u00E7\u00E3o TEF )"
            R"(n\u00E3o ser\u00E1 confirmada."})");
  EXPECT_EQ(ResultNotConfirmed(nullptr).Serialize(),
            R"({"type":"result","status":"canceled","message":"Ocorreu um erro durante o )"
            R"(processo, a transa\u00E7\u00E3o TEF n\u00E3o ser\u00E1 confirmada."})");
}

}  // namespace
}  // namespace core::frontend
