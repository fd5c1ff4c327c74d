#include "core/dmsitef.h"

#include "platform/clock.h"
#include "platform/paths.h"
#include "service/servicelog.h"

namespace core {

TDmSitef::TDmSitef(TDmSitefHost& host) : host_(host) {
  fTefLogFileName = service::TefLogPath(platform::ExeDir(), platform::Now());
}

TDmSitef::~TDmSitef() = default;

void TDmSitef::RouteTargeting(const std::string& /*text*/, endpoint::TConnection& /*connection*/) {}

void TDmSitef::ConnectionClosed() {}

}  // namespace core
