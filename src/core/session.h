// Sessions opened by "/session/start" and checked on every guarded route.
//
// Thread safety: TSessionList is guarded by its own lock; sessions are
// handed out as shared pointers so a session removed by one connection stays
// valid for a handler still using it on another.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace endpoint {
class TConnection;
}

namespace core {

// The sale a session was opened for (claims of its token).
struct TSessionSale {
  int Venda_Id = 0;
  int Empresa_Id = 0;
  std::string CallbackURL;
};

class TSession {
 public:
  TSession(std::string uuid, platform::TDateTime expiration, endpoint::TConnection* context,
           TSessionSale sale = {})
      : FSession_UUID(std::move(uuid)),
        FExpirationDateTime(expiration),
        FIdContext(context),
        FSale(std::move(sale)) {}

  const std::string& Session_UUID() const { return FSession_UUID; }
  const platform::TDateTime& ExpirationDateTime() const { return FExpirationDateTime; }
  // Kept for reference only; replies go to the connection of each request.
  endpoint::TConnection* IdContext() const { return FIdContext; }
  // A payment on this session is registered for this sale.
  const TSessionSale& Sale() const { return FSale; }

 private:
  const std::string FSession_UUID;
  const platform::TDateTime FExpirationDateTime;  // UTC
  endpoint::TConnection* const FIdContext;        // not owned
  const TSessionSale FSale;
};

class TSessionList {
 public:
  void AddItem(const std::string& uuid, const platform::TDateTime& expiration,
               endpoint::TConnection* context, const TSessionSale& sale = {});
  // The first session whose identifier equals uuid exactly, or null.
  std::shared_ptr<TSession> GetSession(const std::string& uuid) const;
  // Removes the first such session; nothing when there is none.
  void DeleteItem(const std::string& uuid);
  size_t Count() const;

 private:
  mutable std::mutex FLock;
  std::vector<std::shared_ptr<TSession>> FList;  // in creation order
};

}  // namespace core
