// TDmSitef: the central data module. It routes each client message, keeps
// the sessions and the sale data, owns the TEF component and bridges its
// dialogue to the front end. One instance, created by the service module.
//
// Route handlers run on the networking thread of the connection that sent
// the message; a whole payment runs there.
#pragma once

#include <atomic>
#include <string>

#include "endpoint/connection.h"

namespace platform {
class TIniFile;
}
namespace endpoint {
class TServerThread;
}

namespace core {

// What the data module needs from the service module that owns it.
class TDmSitefHost {
 public:
  virtual ~TDmSitefHost() = default;
  virtual platform::TIniFile& IniConfig() = 0;
  // The running server thread, or null while stopped or paused.
  virtual endpoint::TServerThread* ServerThread() = 0;
  // GravaLog.
  virtual int Log(const std::string& text) = 0;
};

class TDmSitef {
 public:
  // DataModuleCreate.
  explicit TDmSitef(TDmSitefHost& host);
  ~TDmSitef();

  // Routes one client message (called by the server's execute event).
  void RouteTargeting(const std::string& text, endpoint::TConnection& connection);
  // After each routed message: no client answer is being read any more.
  void MessageHandled() { FProcessandoMsg.store(false); }
  // A connection ended: the TEF component cancels pending transactions.
  void ConnectionClosed();

  // The TEF log file name chosen at creation.
  const std::string& TefLogFileName() const { return fTefLogFileName; }

  std::atomic<bool> FProcessandoMsg{false};

 private:
  TDmSitefHost& host_;
  std::string fTefLogFileName;
};

}  // namespace core
