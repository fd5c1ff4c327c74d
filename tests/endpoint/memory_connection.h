// In-memory TConnection for the codec's tests and fuzz target: the peer's
// bytes are a script of chunks, each available after a delay measured in
// simulated milliseconds (no real waiting), and every write is recorded.
// A read never returns more than the rest of the current chunk, so a test
// controls how the bytes arrive. Single-threaded.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "endpoint/connection.h"

namespace endpoint::testing {

class TMemoryConnection : public TConnection {
 public:
  // Bytes that arrive delay_ms after the previous chunk was taken.
  void Push(std::string bytes, int delay_ms = 0) {
    if (!bytes.empty()) FChunks.push_back({std::move(bytes), delay_ms});
  }

  size_t Read(void* buf, size_t n, int timeout_ms) override {
    read_timeouts.push_back(timeout_ms);
    const size_t k = Look(buf, n, timeout_ms);
    if (k == 0) return 0;
    TChunk& c = FChunks.front();
    c.offset += k;
    if (c.offset == c.bytes.size()) FChunks.pop_front();
    return k;
  }

  size_t Peek(void* buf, size_t n, int timeout_ms) override {
    return can_peek ? Look(buf, n, timeout_ms) : 0;
  }

  void Write(const void* buf, size_t n) override {
    if (FClosed || fail_writes) throw EConnectionClosed("write failed");
    writes.emplace_back(static_cast<const char*>(buf), n);
  }

  bool Connected() const override { return !FClosed; }
  bool HasPendingData() override { return !FChunks.empty() && FChunks.front().delay_ms == 0; }
  void Close() override { FClosed = true; }

  // Bytes of the script not read yet.
  std::string Unread() const {
    std::string s;
    for (const auto& c : FChunks) s += c.bytes.substr(c.offset);
    return s;
  }
  std::string Written() const {
    std::string s;
    for (const auto& w : writes) s += w;
    return s;
  }

  std::vector<std::string> writes;  // one entry per Write call
  std::vector<int> read_timeouts;   // timeout of every Read call
  bool fail_writes = false;
  bool can_peek = true;  // false: Peek always returns 0

 private:
  struct TChunk {
    std::string bytes;
    int delay_ms;
    size_t offset = 0;
  };

  // Copies what a read would return, leaving it in place.
  size_t Look(void* buf, size_t n, int timeout_ms) {
    if (FClosed) throw EConnectionClosed("closed");
    if (FChunks.empty()) throw EConnectionClosed("peer ended the stream");
    if (n == 0) return 0;
    TChunk& c = FChunks.front();
    if (c.delay_ms > 0) {
      if (timeout_ms >= 0 && c.delay_ms > timeout_ms) {
        c.delay_ms -= timeout_ms;
        return 0;
      }
      c.delay_ms = 0;
    }
    const size_t k = std::min(n, c.bytes.size() - c.offset);
    std::memcpy(buf, c.bytes.data() + c.offset, k);
    return k;
  }

  std::deque<TChunk> FChunks;
  bool FClosed = false;
};

}  // namespace endpoint::testing
