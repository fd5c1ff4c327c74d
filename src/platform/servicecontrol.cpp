#include "platform/servicecontrol.h"

#include <signal.h>

#include <atomic>

namespace platform {
namespace {

// A small ring of requests; signal-safe because only atomics are touched.
constexpr int kSlots = 64;
std::atomic<int> g_ring[kSlots];
std::atomic<unsigned> g_head{0};
std::atomic<unsigned> g_tail{0};

void Push(TControlRequest r) {
  const unsigned t = g_tail.fetch_add(1);
  g_ring[t % kSlots].store(static_cast<int>(r));
}

void OnSignal(int sig) {
  switch (sig) {
    case SIGTERM:
    case SIGINT:
      Push(TControlRequest::Stop);
      break;
    case SIGUSR1:
      Push(TControlRequest::Pause);
      break;
    case SIGUSR2:
      Push(TControlRequest::Continue);
      break;
    default:
      break;
  }
}

}  // namespace

void InstallControlSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2}) sigaction(s, &sa, nullptr);
}

void IgnoreBrokenPipes() {
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGPIPE, &sa, nullptr);
}

TControlRequest TakeControlRequest() {
  unsigned h = g_head.load();
  while (h != g_tail.load()) {
    if (g_head.compare_exchange_weak(h, h + 1)) {
      // The pusher may not have stored its value yet; wait for it.
      int v;
      while ((v = g_ring[h % kSlots].exchange(0)) == 0) {
      }
      return static_cast<TControlRequest>(v);
    }
  }
  return TControlRequest::None;
}

void PostControlRequest(TControlRequest request) { Push(request); }

}  // namespace platform
