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

class TSession {
 public:
  TSession(std::string uuid, platform::TDateTime expiration, endpoint::TConnection* context)
      : FSession_UUID(std::move(uuid)), FExpirationDateTime(expiration), FIdContext(context) {}

  const std::string& Session_UUID() const { return FSession_UUID; }
  const platform::TDateTime& ExpirationDateTime() const { return FExpirationDateTime; }
  // Kept for reference only; messages always go to the current connection.
  endpoint::TConnection* IdContext() const { return FIdContext; }

 private:
  const std::string FSession_UUID;
  const platform::TDateTime FExpirationDateTime;  // UTC
  endpoint::TConnection* const FIdContext;        // not owned
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
