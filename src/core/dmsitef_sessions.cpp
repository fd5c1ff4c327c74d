// "/session/start", the session check of guarded routes and "/session/finish".
#include "core/conversions.h"
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "core/jwt.h"
#include "platform/ansi.h"
#include "platform/guid.h"
#include "platform/regional.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"

namespace core {
namespace {

constexpr int kSessionSeconds = 1800;

std::string TrimSpaces(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

// Expiry instants are UTC: a local time repeats when daylight saving ends.
bool Expired(platform::TEnv& env, const platform::TDateTime& expiry_utc) {
  return env.NowUnixMillis() >= platform::ToUnixMillisAsUtc(expiry_utc);
}

}  // namespace

void TDmSitef::CreateSession(const std::string& pConfig, endpoint::TConnection& pIdContext) {
  const std::optional<TJsonValue> claims = ReadSessionClaims(pConfig);
  if (!claims) return;
  // The library, its settings and the sale data are not touched while a
  // transaction or another configuration uses them.
  TTEFClaim claim(FTEFClaim, TTEFClaim::usoConfiguracao);
  if (!claim.Owns()) {
    Log(std::string("Erro ao iniciar sessão: ") + kMsgTEFEmAndamento);
    SendClientMessage(BuildErrorReply(kMsgTEFEmAndamento));
    return;
  }
  // The sale data about to be written belong to no session until this one
  // is created.
  FSaleSession.clear();
  if (!TakeSessionSale(*claims)) return;
  try {
    OpenSession(pIdContext);
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    Log(std::string("Erro ao iniciar sessão: ") + e.what());
    SendClientMessage(BuildErrorReply(e.what()));
  }
}

std::optional<TJsonValue> TDmSitef::ReadSessionClaims(const std::string& pConfig) {
  const TJsonMessage message = ParseJsonObject(pConfig);
  if (!message) {
    SendClientMessage(BuildErrorReply("Configuração de entrada inválida."));
    return std::nullopt;
  }
  std::string type, token;
  try {
    type = GetJSONField(*message, "type");
    if (type == "session") token = GetJSONField(*message, "token");
  } catch (const ECampoNaoEncontrado& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return std::nullopt;
  }
  if (type != "session") {
    SendClientMessage(
        BuildErrorReply("Configuração de entrada inválida: type diferente de \"session\"."));
    return std::nullopt;
  }
  TJWTVerification verification;
  try {
    verification = VerifyJWT(token);
  } catch (const EJWTMalformed& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return std::nullopt;
  }
  // EJWTUndecodable escapes to the router, which answers for it.
  if (!verification.Verified) {
    SendClientMessage(BuildErrorReply(kJWTMsgUnauthorized));
    return std::nullopt;
  }
  return std::move(verification.Claims);
}

bool TDmSitef::TakeSessionSale(const TJsonValue& claims) {
  try {
    ConfigureTEF(claims);
    fVenda_Id = StrToInt(ThroughAnsi(GetJSONField(claims, "sale_id")));
    fEmpresa_Id = StrToInt(ThroughAnsi(GetJSONField(claims, "company_id")));
  } catch (const std::exception& e) {
    Log(std::string("Erro ao iniciar sessão: ") + e.what());
    SendClientMessage(BuildErrorReply(e.what()));
    return false;
  }
  if (fVenda_Id < 1) {
    SendClientMessage(BuildErrorReply("ID de venda não informado."));
    return false;
  }
  try {
    fCallbackURL = ThroughAnsi(GetJSONField(claims, "callback_url"));
  } catch (const std::exception& e) {
    Log(std::string("Erro ao iniciar sessão: ") + e.what());
    SendClientMessage(BuildErrorReply(e.what()));
    return false;
  }
  if (TrimSpaces(fCallbackURL).empty()) {
    SendClientMessage(BuildErrorReply("URL de callback não informada."));
    return false;
  }
  return true;
}

void TDmSitef::OpenSession(endpoint::TConnection& pIdContext) {
  std::string uuid;
  try {
    const std::string g = platform::NewGuidString();
    uuid = g.substr(1, g.size() - 2);
  } catch (...) {
    uuid.clear();  // no GUID available: the identifier stays empty
  }
  const platform::TDateTime expiry =
      platform::AddMillis(FEnv.UtcNow(), kSessionSeconds * int64_t{1000});
  const TJsonValue reply = frontend::SessionCreated(
      platform::FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss.zzz\"Z\"", expiry), uuid,
      RuVirIdUza().TEFCliSiTef().CodigoLoja(), RuVirIdUza().TEFCliSiTef().NumeroTerminal());
  FSessionList.AddItem(uuid, expiry, &pIdContext,
                       TSessionSale{fVenda_Id, fEmpresa_Id, fCallbackURL});
  FSaleSession = uuid;
  SendClientMessage(reply.Serialize());
}

bool TDmSitef::ValidateSession(const std::string& pContent, TSessionPtr& pSession) {
  pSession.reset();
  try {
    const TJsonMessage message = ParseJsonObject(pContent);
    if (!message) {
      SendClientMessage(BuildErrorReply("Os dados recebidos são inválidos."));
      return false;
    }
    const std::string uuid = GetJSONField(*message, "session_uuid");
    TSessionPtr session = FSessionList.GetSession(uuid);
    if (session == nullptr) {
      SendClientMessage(BuildErrorReply("Sessão inválida."));
      return false;
    }
    if (Expired(FEnv, session->ExpirationDateTime())) {
      SendClientMessage(BuildErrorReply("Sessão expirada."));
      FSessionList.DeleteItem(uuid);
      return false;
    }
    pSession = session;
    return true;
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return false;
  }
}

void TDmSitef::FinishSession(const std::string& pContent, const TSessionPtr& pSession) {
  std::string type;
  try {
    const TJsonMessage message = ParseJsonObject(pContent);
    if (!message) throw EDmSitefErro("Os dados recebidos são inválidos.");
    type = GetJSONField(*message, "type");
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return;
  }
  if (type != "session") {
    SendClientMessage(BuildErrorReply("Campo type diferente de session."));
    return;
  }
  try {
    SendClientMessage(frontend::SessionFinished().Serialize());
    if (pSession) FSessionList.DeleteItem(pSession->Session_UUID());
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    // The busy flag is not touched: it belongs to a running transaction.
    SendClientMessage(BuildErrorReply(std::string("Erro ao finalizar sessão: ") + e.what()));
  }
}

}  // namespace core
