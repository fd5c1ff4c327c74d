#include "print/printroute.h"

#include <optional>
#include <random>

#include "core/base64.h"
#include "core/conversions.h"
#include "core/dmsitef.h"
#include "platform/files.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "print/printqueue.h"

namespace print {
namespace {

// Larger documents are refused before decoding.
constexpr size_t kMaxDocumentBytes = 64 * 1024 * 1024;
// New names drawn when the one drawn is taken.
constexpr int kNameAttempts = 50;

}  // namespace

std::string CleanBase64(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\n' && c != '\r' && c != ' ') out.push_back(c);
  }
  const size_t comma = out.find(',');
  if (comma != std::string::npos) out.erase(0, comma + 1);
  return out;
}

namespace {

constexpr std::string_view kWrapping = "\n\r ";

// The document of a "data" text: decoded in one pass over the text, the
// wrapping and any data-URL header passed over instead of cleaned away.
std::optional<std::string> DecodeDocument(std::string_view text, std::string& failure) {
  const size_t comma = text.find(',');
  if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
  std::optional<std::string> bytes = core::Base64Decode(text, kMaxDocumentBytes, kWrapping);
  if (!bytes) {
    size_t digits = text.size();
    for (char c : text) digits -= kWrapping.find(c) != std::string_view::npos ? 1 : 0;
    failure = "Erro na conversão do arquivo: " + std::string(digits / 4 * 3 > kMaxDocumentBytes
                                                                 ? "Documento grande demais."
                                                                 : "Texto base64 inválido.");
  }
  return bytes;
}

TSaveResult WriteDocument(std::string_view bytes, const std::string& file, std::string& failure) {
  std::string error;
  switch (platform::WriteNewFile(file, bytes, error)) {
    case platform::TNewFileResult::nfCreated:
      return TSaveResult::srSaved;
    case platform::TNewFileResult::nfExists:
      return TSaveResult::srExists;
    case platform::TNewFileResult::nfFailed:
      break;
  }
  failure = "Erro na conversão do arquivo: " + error;
  return TSaveResult::srFailed;
}

}  // namespace

TSaveResult SaveBase64ToFile(std::string_view text, const std::string& file, std::string& failure) {
  const std::optional<std::string> bytes = DecodeDocument(text, failure);
  return bytes ? WriteDocument(*bytes, file, failure) : TSaveResult::srFailed;
}

void PrintData(core::TDmSitef& dm, const std::string& FileType, std::string_view Data,
               const std::string& folder) {
  const std::string printer = dm.Host().IniConfig().ReadString("sitef", "printer", "");
  if (printer.empty()) {
    dm.SendClientMessage(core::TDmSitef::BuildErrorReply("Impressora não definida."));
    return;
  }
  std::shared_ptr<TPrintQueue> queue = dm.Host().PrintQueue();
  if (!queue) throw core::EDmSitefErro("Fila de impressão não iniciada.");

  static thread_local std::mt19937 rng{std::random_device{}()};
  std::uniform_int_distribution<int> draw(0, 9999998);
  std::string file;
  std::string failure;
  // Decoded once, whatever the names tried.
  const std::optional<std::string> bytes = DecodeDocument(Data, failure);
  TSaveResult saved = bytes ? TSaveResult::srExists : TSaveResult::srFailed;
  for (int i = 0; i < kNameAttempts && saved == TSaveResult::srExists; ++i) {
    file = folder + std::to_string(draw(rng)) + "_Temp." + FileType;
    saved = WriteDocument(*bytes, file, failure);
  }
  if (saved == TSaveResult::srExists) failure = "Erro na conversão do arquivo: nenhum nome livre.";
  if (saved != TSaveResult::srSaved) {
    dm.Log(failure);
    dm.SendClientMessage(failure);  // bare text, as the front end expects it
  }
  dm.Env().SleepMillis(100);
  if (saved == TSaveResult::srSaved && dm.Env().FileExists(file)) {
    queue->SetPrintSettings("noscale");
    queue->AddToQueue(file);
  } else {
    dm.SendClientMessage(core::TDmSitef::BuildErrorReply("Arquivo convertido não localizado."));
  }
}

}  // namespace print

namespace core {

void TDmSitef::Print(const std::string& pContent, const TSessionPtr& /*pSession*/) {
  const TJsonMessage message = ParseJsonObject(pContent);
  if (!message) return;
  try {
    if (GetJSONField(*message, "type") != "print") {
      SendClientMessage(BuildErrorReply("Campo type diferente de print."));
      return;
    }
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return;
  }
  // The document is read where the parse left it (it may be megabytes).
  std::string_view data;
  try {
    const TJsonValue* member = message->Find("data");
    if (member == nullptr) throw ECampoNaoEncontrado("data");
    data = member->Text();
    while (!data.empty() && static_cast<unsigned char>(data.front()) <= ' ') data.remove_prefix(1);
    while (!data.empty() && static_cast<unsigned char>(data.back()) <= ' ') data.remove_suffix(1);
    if (data.empty()) {
      SendClientMessage(BuildErrorReply("Campo \"data\" não foi preenchido."));
      return;
    }
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return;
  }
  try {
    const std::string file_type = GetJSONField(*message, "file_type");
    if (file_type == "pdf" || file_type == "gdi") {
      print::PrintData(*this, file_type, data, platform::ExeDir());
    } else {
      SendClientMessage(BuildErrorReply("Tipo do arquivo inválido. Valor permitido [pdf,gdi]"));
    }
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(std::string("Erro ao imprimir: ") + e.what()));
  }
}

}  // namespace core
