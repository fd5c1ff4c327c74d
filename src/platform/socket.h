// TCP sockets for the TLS server: a listener bound on every IPv4 address that
// can be woken from another thread, and readiness waits on connected sockets.
#pragma once

#include <atomic>
#include <string>

namespace platform {

// Listening socket. Accept blocks until a connection arrives or Wake is
// called from another thread; several threads may wait in Accept at once,
// and each connection goes to one of them.
class TListenSocket {
 public:
  TListenSocket() = default;
  ~TListenSocket();
  TListenSocket(const TListenSocket&) = delete;
  TListenSocket& operator=(const TListenSocket&) = delete;

  // Binds 0.0.0.0:port and listens. On failure returns false with a message.
  bool Listen(int port, std::string& error);
  // Returns a connected socket (non-blocking, TCP keep-alive on) or -1 when
  // woken or closed.
  int Accept();
  // Makes every waiting Accept return -1 now, and every later call.
  void Wake();
  // Only once no thread is in Accept.
  void Close();

 private:
  // Atomic: Wake may come from another thread while Listen runs.
  std::atomic<int> FHandle{-1};
  std::atomic<bool> FWoken{false};
};

// Waits until fd is readable (or has hung up). timeout_ms < 0 waits without
// limit. Returns 1 readable, 0 time-out, -1 error.
int WaitReadable(int fd, int timeout_ms);
int WaitWritable(int fd, int timeout_ms);
// Shuts both directions so that a thread blocked on the socket wakes up.
void ShutdownSocket(int fd);
void CloseSocket(int fd);

}  // namespace platform
