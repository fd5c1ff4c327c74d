// A TLS 1.2 server-side connection over a non-blocking socket. Every OpenSSL
// call on the session is made under the connection's own mutex, so a write
// from another thread can never race a read; waits happen outside it.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "endpoint/connection.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace endpoint {

class TTlsConnection : public TConnection {
 public:
  // Takes ownership of the socket.
  TTlsConnection(SSL_CTX* ctx, int fd);
  ~TTlsConnection() override;

  // Runs the TLS server handshake; false when it failed or timed out.
  bool Handshake(int timeout_ms);

  size_t Read(void* buf, size_t n, int timeout_ms) override;
  size_t Peek(void* buf, size_t n, int timeout_ms) override;
  void Write(const void* buf, size_t n) override;
  bool Connected() const override { return !FClosed.load(); }
  bool HasPendingData() override;
  bool WaitForData(int timeout_ms) override;
  void Close() override;
  // Wakes a blocked reader by shutting the socket down (server stop).
  void Abort();

 private:
  size_t Take(void* buf, size_t n, int timeout_ms, bool peek);

  std::mutex FSslLock;
  SSL* FSsl = nullptr;
  const int FHandle;
  std::atomic<bool> FClosed{false};
};

}  // namespace endpoint
