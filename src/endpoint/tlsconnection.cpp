#include "endpoint/tlsconnection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "platform/env.h"
#include "platform/socket.h"

namespace endpoint {
namespace {

long long NowMs() { return platform::DefaultEnv().MonotonicMillis(); }

}  // namespace

TTlsConnection::TTlsConnection(SSL_CTX* ctx, int fd) : FHandle(fd) {
  FSsl = SSL_new(ctx);
  if (FSsl != nullptr) SSL_set_fd(FSsl, FHandle);
}

TTlsConnection::~TTlsConnection() {
  Close();
  if (FSsl != nullptr) SSL_free(FSsl);
  platform::CloseSocket(FHandle);
}

bool TTlsConnection::Handshake(int timeout_ms) {
  if (FSsl == nullptr) return false;
  const long long deadline = NowMs() + timeout_ms;
  while (!FClosed.load()) {
    int err;
    {
      std::lock_guard<std::mutex> lock(FSslLock);
      ERR_clear_error();
      const int r = SSL_accept(FSsl);
      if (r == 1) return true;
      err = SSL_get_error(FSsl, r);
    }
    const long long left = deadline - NowMs();
    if (left <= 0) return false;
    int w;
    if (err == SSL_ERROR_WANT_READ)
      w = platform::WaitReadable(FHandle, static_cast<int>(left));
    else if (err == SSL_ERROR_WANT_WRITE)
      w = platform::WaitWritable(FHandle, static_cast<int>(left));
    else
      return false;
    if (w < 0) return false;
  }
  return false;
}

size_t TTlsConnection::Read(void* buf, size_t n, int timeout_ms) {
  return Take(buf, n, timeout_ms, false);
}

size_t TTlsConnection::Peek(void* buf, size_t n, int timeout_ms) {
  return Take(buf, n, timeout_ms, true);
}

size_t TTlsConnection::Take(void* buf, size_t n, int timeout_ms, bool peek) {
  if (n == 0) return 0;
  const long long deadline = timeout_ms < 0 ? -1 : NowMs() + timeout_ms;
  while (true) {
    if (FClosed.load()) throw EConnectionClosed("Conexão encerrada");
    int err;
    {
      std::lock_guard<std::mutex> lock(FSslLock);
      ERR_clear_error();
      const int chunk = n > 1 << 30 ? 1 << 30 : static_cast<int>(n);
      const int r = peek ? SSL_peek(FSsl, buf, chunk) : SSL_read(FSsl, buf, chunk);
      if (r > 0) return static_cast<size_t>(r);
      err = SSL_get_error(FSsl, r);
    }
    if (err != SSL_ERROR_WANT_READ && err != SSL_ERROR_WANT_WRITE) {
      FClosed.store(true);
      throw EConnectionClosed("Conexão encerrada");
    }
    int wait_ms = -1;
    if (deadline >= 0) {
      const long long left = deadline - NowMs();
      if (left <= 0) return 0;
      wait_ms = static_cast<int>(left);
    }
    const int w = err == SSL_ERROR_WANT_WRITE ? platform::WaitWritable(FHandle, wait_ms)
                                              : platform::WaitReadable(FHandle, wait_ms);
    if (w < 0) {
      FClosed.store(true);
      throw EConnectionClosed("Conexão encerrada");
    }
    if (w == 0) return 0;
  }
}

void TTlsConnection::Write(const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  size_t off = 0;
  while (off < n) {
    if (FClosed.load()) throw EConnectionClosed("Conexão encerrada");
    int err;
    {
      std::lock_guard<std::mutex> lock(FSslLock);
      ERR_clear_error();
      const size_t left = n - off;
      const int chunk = left > 1 << 30 ? 1 << 30 : static_cast<int>(left);
      const int r = SSL_write(FSsl, p + off, chunk);
      if (r > 0) {
        off += static_cast<size_t>(r);
        continue;
      }
      err = SSL_get_error(FSsl, r);
    }
    int w;
    if (err == SSL_ERROR_WANT_WRITE)
      w = platform::WaitWritable(FHandle, 30000);
    else if (err == SSL_ERROR_WANT_READ)
      w = platform::WaitReadable(FHandle, 30000);
    else
      w = -1;
    if (w <= 0) {
      FClosed.store(true);
      throw EConnectionClosed("Conexão encerrada");
    }
  }
}

bool TTlsConnection::HasPendingData() {
  if (FClosed.load()) return false;
  {
    std::lock_guard<std::mutex> lock(FSslLock);
    if (SSL_has_pending(FSsl) == 1) return true;
  }
  return platform::WaitReadable(FHandle, 0) == 1;
}

bool TTlsConnection::WaitForData(int timeout_ms) {
  if (FClosed.load()) return false;
  {
    std::lock_guard<std::mutex> lock(FSslLock);
    if (SSL_has_pending(FSsl) == 1) return true;
  }
  return platform::WaitReadable(FHandle, timeout_ms) == 1;
}

void TTlsConnection::Close() {
  if (FClosed.exchange(true)) return;
  {
    std::lock_guard<std::mutex> lock(FSslLock);
    if (FSsl != nullptr) SSL_shutdown(FSsl);
  }
  platform::ShutdownSocket(FHandle);
}

void TTlsConnection::Abort() {
  FClosed.store(true);
  platform::ShutdownSocket(FHandle);
}

}  // namespace endpoint
