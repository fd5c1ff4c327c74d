// One accepted client connection as the WebSocket codec sees it: a byte
// stream with blocking reads that can time out. The TLS implementation lives
// in the server thread; tests use an in-memory one. Bytes not consumed by a
// read stay in the stream for the next read.
//
// Thread safety: one thread reads a connection (its reader); any thread may
// write to it, holding WriteLock() for each whole frame so that frames of
// different writers never interleave.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace endpoint {

// Raised when the peer closed the connection or the transport failed.
class EConnectionClosed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TClientState { csHandshake = 0, csConnected = 1 };

// Per-connection state attached on the first execute event.
struct TClientData {
  TClientState State = csHandshake;
};

class TConnection {
 public:
  virtual ~TConnection() = default;

  // Reads between 1 and n bytes. Waits at most timeout_ms (negative: no
  // limit) for the first byte; returns 0 when nothing arrived in time.
  // Throws EConnectionClosed when the stream has ended or failed.
  virtual size_t Read(void* buf, size_t n, int timeout_ms) = 0;

  // As Read, but the bytes stay in the stream for the next read. Returns 0
  // also where peeking is not supported: callers then read what they need
  // byte by byte.
  virtual size_t Peek(void* buf, size_t n, int timeout_ms) {
    (void)buf, (void)n, (void)timeout_ms;
    return 0;
  }

  // Writes all n bytes or throws EConnectionClosed.
  virtual void Write(const void* buf, size_t n) = 0;

  // True while the connection is open.
  virtual bool Connected() const = 0;

  // True when at least one byte can be read at once.
  virtual bool HasPendingData() = 0;

  // Waits up to timeout_ms for data to read; true when some is waiting.
  virtual bool WaitForData(int timeout_ms) {
    (void)timeout_ms;
    return HasPendingData();
  }

  // Closes the connection; later reads and writes throw.
  virtual void Close() = 0;

  TClientData* Data() { return FData.get(); }
  void SetData(std::unique_ptr<TClientData> d) { FData = std::move(d); }

  // Held around the write of one whole frame; never while waiting for input.
  std::mutex& WriteLock() { return FWriteLock; }

 private:
  std::unique_ptr<TClientData> FData;
  std::mutex FWriteLock;
};

}  // namespace endpoint
