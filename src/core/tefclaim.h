// The one claim on the TEF library, its configuration and the sale data.
// A transaction, the configuration steps of a session start, an
// initialisation and a PIN pad check each run only while holding it; a
// second claimant is refused at once, never kept waiting.
//
// Usage:
//   TTEFClaim claim(dm.TEFClaim(), TTEFClaim::usoPinPad);
//   if (!claim.Owns()) { ... answer kMsgTEFEmAndamento ... }
// The claim is released when the object goes out of scope, on every way out.
#pragma once

#include <atomic>

namespace core {

// The error reply of a request that finds the TEF library claimed.
inline constexpr const char* kMsgTEFEmAndamento = "Transação TEF em andamento.";

class TTEFClaim {
 public:
  enum TUso { usoNenhum = 0, usoTransacao, usoConfiguracao, usoPinPad };

  TTEFClaim(std::atomic<int>& owner, TUso uso) : FOwner(owner) {
    int expected = usoNenhum;
    FOwns = FOwner.compare_exchange_strong(expected, uso);
    FHolder = FOwns ? uso : static_cast<TUso>(expected);
  }
  ~TTEFClaim() { Release(); }
  // Releases early; nothing when not owned or already released.
  void Release() {
    if (FOwns) FOwner.store(usoNenhum);
    FOwns = false;
  }
  TTEFClaim(const TTEFClaim&) = delete;
  TTEFClaim& operator=(const TTEFClaim&) = delete;

  bool Owns() const { return FOwns; }
  // When refused: what held the claim at that moment.
  TUso Holder() const { return FHolder; }

 private:
  std::atomic<int>& FOwner;
  bool FOwns = false;
  TUso FHolder = usoNenhum;
};

}  // namespace core
