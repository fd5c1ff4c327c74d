// A data-module host for tests: an INI file in a temporary folder, a log in
// memory, and the front end as two queues (messages sent, messages to read).
#pragma once

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/dmsitef.h"
#include "platform/inifile.h"

namespace core {

// An always-open connection whose data lives in the host's queue.
class TFakeConnection : public endpoint::TConnection {
 public:
  size_t Read(void*, size_t, int) override { return 0; }
  void Write(const void*, size_t) override {}
  bool Connected() const override { return true; }
  bool HasPendingData() override { return false; }
  void Close() override {}
};

class TFakeHost : public TDmSitefHost {
 public:
  explicit TFakeHost(const std::filesystem::path& dir)
      : connection(std::make_shared<TFakeConnection>()),
        FIni((dir / "SvcZentavoSiTef.ini").string()) {}

  platform::TIniFile& IniConfig() override { return FIni; }
  int Log(const std::string& text) override {
    std::lock_guard<std::mutex> lock(FLock);
    log.push_back(text);
    return 1;
  }
  void SendClientMessage(const std::string& msg) override {
    std::lock_guard<std::mutex> lock(FLock);
    sent.push_back(msg);
  }
  std::string DecodeWebSocketFrame() override {
    std::lock_guard<std::mutex> lock(FLock);
    if (incoming.empty()) return {};
    std::string m = incoming.front();
    incoming.pop_front();
    return m;
  }
  std::shared_ptr<endpoint::TConnection> CurrentConnection() override { return connection; }
  bool Serving() override { return serving; }
  bool WaitForClientData(int timeout_ms) override {
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (!incoming.empty()) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms < 5 ? timeout_ms : 5));
    std::lock_guard<std::mutex> lock(FLock);
    return !incoming.empty();
  }

  // Takes what was sent so far.
  std::vector<std::string> TakeSent() {
    std::lock_guard<std::mutex> lock(FLock);
    std::vector<std::string> out;
    out.swap(sent);
    return out;
  }

  std::vector<std::string> log;
  std::vector<std::string> sent;
  std::deque<std::string> incoming;
  std::shared_ptr<endpoint::TConnection> connection;
  bool serving = true;

 private:
  std::mutex FLock;
  platform::TIniFile FIni;
};

}  // namespace core
