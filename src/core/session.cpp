#include "core/session.h"

namespace core {

void TSessionList::AddItem(const std::string& uuid, const platform::TDateTime& expiration,
                           endpoint::TConnection* context, const TSessionSale& sale) {
  std::lock_guard<std::mutex> lock(FLock);
  FList.push_back(std::make_shared<TSession>(uuid, expiration, context, sale));
}

std::shared_ptr<TSession> TSessionList::GetSession(const std::string& uuid) const {
  std::lock_guard<std::mutex> lock(FLock);
  for (const auto& s : FList) {
    if (s->Session_UUID() == uuid) return s;
  }
  return nullptr;
}

void TSessionList::DeleteItem(const std::string& uuid) {
  std::lock_guard<std::mutex> lock(FLock);
  for (auto it = FList.begin(); it != FList.end(); ++it) {
    if ((*it)->Session_UUID() == uuid) {
      FList.erase(it);
      return;
    }
  }
}

size_t TSessionList::Count() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FList.size();
}

}  // namespace core
