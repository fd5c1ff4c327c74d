// The TLS WebSocket server: listens on one port (all IPv4 addresses, TLS 1.2
// only), runs a thread per connection, and keeps the single current
// connection (FIdContext) to which every outgoing message is written.
//
// Owned by the service module, which creates it for a port, Start()s it,
// and on stop calls Deactivate() then destroys it. IOHandlerLock (recursive)
// is held around every frame read and every frame write.
#pragma once

#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "endpoint/connection.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace platform {
class TListenSocket;
}

namespace endpoint {

class TTlsConnection;

class TServerThread {
 public:
  // What the server calls on a connection's thread.
  struct THandlers {
    // A complete non-empty message from the connection (RouteTargeting).
    std::function<void(const std::string& text, TConnection& connection)> Route;
    // After each routed message (clears the data module's reading flag).
    std::function<void()> AfterMessage;
    // A connection ended (the TEF component cancels pending transactions).
    std::function<void()> Disconnect;
    // One line for the service log.
    std::function<void(const std::string&)> Log;
    // Whether another connection may become the current one now (false
    // while a transaction runs on the current connection).
    std::function<bool()> MayTakeOver;
  };

  // cert_dir holds server_cert.pem, server_key.pem and ca_cert.pem.
  TServerThread(int port, std::string cert_dir, THandlers handlers);
  ~TServerThread();
  TServerThread(const TServerThread&) = delete;
  TServerThread& operator=(const TServerThread&) = delete;

  // Starts the server thread, which activates the listener. An activation
  // error ends the thread and is written to the log.
  void Start();
  // Closes every connection, stops listening, waits for the connection
  // threads; then the server thread ends.
  void Deactivate();
  // Waits for the server thread to end.
  void WaitFor();

  // True while the listener is active.
  bool Active() const;
  // True once Deactivate has begun.
  bool Deactivating() const;
  // Waits until the listener is active or the thread has ended; returns
  // Active(). For tests and start-up diagnostics.
  bool WaitUntilListening(int timeout_ms);
  int Port() const { return port_; }

  // Writes one text message to the current connection (nothing when there
  // is none). A write error propagates after the lock is released.
  void SendClientMessage(const std::string& msg);
  // Reads one complete message from the current connection; empty when there
  // is none, no data is waiting on it, after a close frame or a decoding
  // error. Callers wait for data first (WaitForData).
  std::string DecodeWebSocketFrame();

  // The current connection, or null.
  std::shared_ptr<TConnection> CurrentConnection() const;

  std::recursive_mutex IOHandlerLock;

 private:
  struct TClient {
    std::shared_ptr<TTlsConnection> connection;
    std::thread thread;
    bool finished = false;
  };

  void Execute();
  void RunConnection(std::shared_ptr<TTlsConnection> connection, TClient* self);
  void ExecuteEvent(const std::shared_ptr<TTlsConnection>& connection);
  void Log(const std::string& line) const;
  void TakeOver(const std::shared_ptr<TTlsConnection>& connection, bool opening);
  void ReapFinished();

  const int port_;
  const std::string cert_dir_;
  const THandlers handlers_;

  std::thread thread_;
  std::unique_ptr<platform::TListenSocket> listener_;
  SSL_CTX* ctx_ = nullptr;

  mutable std::mutex mu_;  // guards everything below
  std::condition_variable state_cv_;
  bool active_ = false;
  bool ended_ = false;
  bool deactivating_ = false;
  std::list<TClient> clients_;
  std::shared_ptr<TConnection> current_;  // FIdContext
};

}  // namespace endpoint
