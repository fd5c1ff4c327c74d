#include "core/dmsitef.h"

#include "platform/clock.h"
#include "platform/paths.h"
#include "service/servicelog.h"

namespace core {

TDmSitef::TDmSitef(TDmSitefHost& host) : host_(host) {
  fTefLogFileName = service::TefLogPath(platform::ExeDir(), platform::Now());
}

TDmSitef::~TDmSitef() = default;

void TDmSitef::SendClientMessage(const std::string& pMsg) { host_.SendClientMessage(pMsg); }

void TDmSitef::DecodeWebSocketFrame(std::string& DecodedMessage) {
  DecodedMessage.clear();
  DecodedMessage = host_.DecodeWebSocketFrame();
}

void TDmSitef::ConnectionClosed() {}

void TDmSitef::ConfigureTEF(const TJsonValue& /*claims*/) {}

void TDmSitef::InitializeSiTef(const std::string&, const TSessionPtr&) {}
void TDmSitef::CheckPinpad(const std::string&, const TSessionPtr&) {}
void TDmSitef::CheckFileVersion(const std::string&, const TSessionPtr&) {}
void TDmSitef::StartTransaction(const std::string&, const TSessionPtr&) {}
void TDmSitef::CancelTransactionInProgress(const std::string&) {}
void TDmSitef::Print(const std::string&, const TSessionPtr&) {}

}  // namespace core
