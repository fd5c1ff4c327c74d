// RouteTargeting and the reply envelope shared by every route handler.
#include "core/dmsitef.h"
#include "core/frontendmessages.h"

namespace core {

namespace {

// The message being routed on this thread: its text object and its parse.
struct TRoutedMessage {
  const std::string* text = nullptr;
  TJsonMessage parsed;
};
thread_local TRoutedMessage tRouted;

class TRoutedScope {
 public:
  TRoutedScope(const std::string& text, TJsonMessage parsed) : FSaved(std::move(tRouted)) {
    tRouted = TRoutedMessage{&text, std::move(parsed)};
  }
  ~TRoutedScope() { tRouted = std::move(FSaved); }
  TRoutedScope(const TRoutedScope&) = delete;
  TRoutedScope& operator=(const TRoutedScope&) = delete;

 private:
  TRoutedMessage FSaved;
};

}  // namespace

TJsonMessage ParseJsonObject(const std::string& pContent) {
  if (tRouted.text == &pContent) return tRouted.parsed;
  std::optional<TJsonValue> v = ParseJson(pContent);
  if (!v || !v->IsObject()) return {};
  return TJsonMessage(std::make_shared<const TJsonValue>(std::move(*v)));
}

std::string TDmSitef::GetJSONField(const TJsonValue& object, const std::string& name) {
  std::optional<std::string> v = MemberText(object, name);
  if (!v) throw ECampoNaoEncontrado(name);
  return *v;
}

std::string TDmSitef::BuildErrorReply(const std::string& text) {
  return frontend::ErrorReply(text).Serialize();
}

TJsonMessage TDmSitef::ReadRequest(const std::string& pContent, const std::string& type,
                                   const std::string& wrongType) {
  try {
    TJsonMessage message = ParseJsonObject(pContent);
    if (!message) throw EDmSitefErro("Os dados recebidos são inválidos.");
    if (GetJSONField(*message, "type") == type) return message;
    SendClientMessage(BuildErrorReply(wrongType));
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
  }
  return {};
}

void TDmSitef::SendSampleMsg(const std::string& pMsg) {
  SendClientMessage(frontend::Notice(pMsg).Serialize());
}

void TDmSitef::RouteTargeting(const std::string& pContent, endpoint::TConnection& pIdContext) {
  RouteTargeting(std::string(pContent), pIdContext);
}

void TDmSitef::RouteTargeting(std::string&& pContent, endpoint::TConnection& pIdContext) {
  // Only a text long enough to hold a string worth sharing is moved into
  // shared storage.
  if (pContent.size() < kSharedStringBytes) {
    RouteParsed(pContent, ParseJson(pContent), pIdContext);
    return;
  }
  const auto shared = std::make_shared<const std::string>(std::move(pContent));
  RouteParsed(*shared, ParseJson(shared), pIdContext);
}

void TDmSitef::RouteParsed(const std::string& pContent, std::optional<TJsonValue> parsed,
                           endpoint::TConnection& pIdContext) {
  if (!parsed) return;  // not JSON: ignored
  // Valid JSON that is not an object: the server closes the connection.
  if (!parsed->IsObject()) throw EDmSitefErro("Mensagem não é um objeto JSON");
  const TRoutedScope routed(pContent,
                            TJsonMessage(std::make_shared<const TJsonValue>(std::move(*parsed))));
  // Declared after the scope, so the scope ends holding the last reference.
  const TJsonMessage message = ParseJsonObject(pContent);
  try {
    const std::string route = GetJSONField(*message, "route");
    if (route == "/session/start") {
      try {
        CreateSession(pContent, pIdContext);
      } catch (...) {
        SendClientMessage(BuildErrorReply("Dados de sessão inválidos."));
      }
      return;
    }
    bool needs_session = true;
    if (route == "/version" || route == "/print") {
      needs_session = false;
    } else if (route == "/transaction" && GetJSONField(*message, "type") == "confirmation") {
      needs_session = false;
    }
    TSessionPtr session;
    if (needs_session && !ValidateSession(pContent, session)) return;

    if (route == "/session/finish")
      FinishSession(pContent, session);
    else if (route == "/initialize")
      InitializeSiTef(pContent, session);
    else if (route == "/pinpad/status")
      CheckPinpad(pContent, session);
    else if (route == "/version")
      CheckFileVersion(pContent, session);
    else if (route == "/transaction")
      StartTransaction(pContent, session);
    else if (route == "/transaction/cancel")
      CancelTransactionInProgress(pContent);
    else if (route == "/transaction/status")
      TransactionStatus(pContent, session);
    else if (route == "/print")
      Print(pContent, session);
  } catch (const endpoint::EConnectionClosed&) {
    throw;  // the connection is gone: nothing can be answered on it
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
  }
}

}  // namespace core
