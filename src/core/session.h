// Sessions opened by "/session/start" and checked on every guarded route.
//
// Thread safety: TSessionList is guarded by its own lock; sessions are
// handed out as shared pointers so a session removed by one connection stays
// valid for a handler still using it on another.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace endpoint {
class TConnection;
}

namespace core {

class TSession {
 public:
  TSession(std::string uuid, platform::TDateTime expiration, endpoint::TConnection* context)
      : FSession_UUID(std::move(uuid)), FExpirationDateTime(expiration), FIdContext(context) {}

  const std::string& Session_UUID() const { return FSession_UUID; }
  const platform::TDateTime& ExpirationDateTime() const { return FExpirationDateTime; }
  // Kept for reference only; messages always go to the current connection.
  endpoint::TConnection* IdContext() const { return FIdContext; }
  // The sale and company of the token that opened the session (the status
  // query looks for that sale's payments).
  long long Venda_Id() const { return FVenda_Id.load(); }
  long long Empresa_Id() const { return FEmpresa_Id.load(); }
  void SetVenda(long long venda, long long empresa) {
    FVenda_Id.store(venda);
    FEmpresa_Id.store(empresa);
  }

 private:
  const std::string FSession_UUID;
  const platform::TDateTime FExpirationDateTime;  // local time
  endpoint::TConnection* const FIdContext;        // not owned
  std::atomic<long long> FVenda_Id{0};
  std::atomic<long long> FEmpresa_Id{0};
};

class TSessionList {
 public:
  void AddItem(const std::string& uuid, const platform::TDateTime& expiration,
               endpoint::TConnection* context);
  // The first session whose identifier equals uuid exactly, or null.
  std::shared_ptr<TSession> GetSession(const std::string& uuid) const;
  // Removes the first such session; nothing when there is none.
  void DeleteItem(const std::string& uuid);
  size_t Count() const;

 private:
  mutable std::mutex mu_;
  std::vector<std::shared_ptr<TSession>> FList;  // in creation order
};

}  // namespace core
