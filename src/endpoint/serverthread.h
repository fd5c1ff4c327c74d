// The TLS WebSocket server: listens on one port (all IPv4 addresses, TLS 1.2
// only) and serves every connection with threads of its own: a reader, which
// does the handshakes and reads one message after another, and, from the
// first message that needs it, an executor, which routes the messages of the
// connection's inbox. The reader routes a message itself when nothing of its
// connection is queued or being handled and the message cannot wait for the
// front end's later messages (WaitsForFrontEnd: a payment reads its answers
// through the reader, which must stay free, and pings the front end from
// it); every other message goes through the inbox, so that the messages of
// one connection are handled one at a time and in order. A slow or stalled
// peer therefore holds only its own threads: no lock shared between
// connections is held while waiting for input, and every frame is written
// under its own connection's write lock.
//
// Where messages go: a reply goes to the connection whose message is being
// handled; while a payment runs, the payment's prompts, notices and result go
// to the paying connection (the one that started it or took it over) and its
// answers are read from that connection's inbox. The paying connection is
// probed with a WebSocket ping every 5 s; one that answers nothing for 10 s,
// or whose socket fails, is gone, and the next connection that sends a
// message takes the payment over and receives the pending prompt again.
// Outside payments the connection that sent the latest message is the
// current one (FIdContext), used by threads that handle no connection.
//
// Owned by the service module, which creates it for a port, Start()s it,
// and on stop calls Deactivate() then destroys it.
#pragma once

#include <condition_variable>
#include <deque>
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

// Liveness and stall limits of the server (tests may shorten them).
struct TServerTimings {
  int PingIntervalMs = 5000;   // ping of the paying connection
  int PongTimeoutMs = 10000;   // silence after a ping that makes it gone
  int StallTimeoutMs = 30000;  // a begun TLS record or frame
};

class TServerThread {
 public:
  // What the server calls on a connection's reader or executor thread.
  struct THandlers {
    // A complete non-empty message from the connection (RouteTargeting),
    // handed over: the server keeps no copy.
    std::function<void(std::string&& text, TConnection& connection)> Route;
    // After each routed message (clears the data module's reading flag).
    std::function<void()> AfterMessage;
    // A connection ended (the TEF component cancels pending transactions).
    std::function<void()> Disconnect;
    // One line for the service log.
    std::function<void(const std::string&)> Log;
    // Whether a message answers a prompt. Such a message arriving with a
    // take-over is not routed: the prompt it may answer is asked again.
    std::function<bool(const std::string&)> AnswersPrompt;
    // Whether handling a message may wait for the front end's next messages
    // (it may start a payment). True (or no function) sends the message to
    // the connection's executor; false lets the reader handle it when its
    // connection has nothing else pending. Err towards true.
    std::function<bool(const std::string&)> WaitsForFrontEnd;
  };

  using TTimings = TServerTimings;

  // cert_dir holds server_cert.pem, server_key.pem and ca_cert.pem.
  TServerThread(int port, std::string cert_dir, THandlers handlers, TTimings timings = {});
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
  int Port() const { return FPort; }

  // Writes one text message: on a payment's thread to the paying connection
  // (dropped while it is gone; never raises), on a thread handling a
  // connection's message to that connection, elsewhere to the current
  // connection. Nothing when there
  // is no such open connection. Other write errors propagate.
  void SendClientMessage(const std::string& msg);
  // A payment's prompt that waits for an answer: sent as above, and sent
  // again to a connection that takes the payment over, until PromptAnswered.
  void SendPrompt(const std::string& msg);
  void PromptAnswered();

  // The calling thread, which handles a message of some connection, starts
  // (ends) running a payment for it: that connection becomes (stops being)
  // the paying connection, and this thread's messages and reads follow the
  // paying connection until EndPayment.
  void BeginPayment();
  void EndPayment();

  // On a payment's thread: takes the paying front end's next message, or ""
  // when none is waiting. Elsewhere always "".
  std::string DecodeWebSocketFrame();
  // On a payment's thread: waits up to timeout_ms for a message of the paying
  // front end; true when one is waiting.
  bool WaitForClientData(int timeout_ms);

  // The connection this thread talks to (see SendClientMessage), or null.
  std::shared_ptr<TConnection> CurrentConnection() const;

 private:
  struct TClient;
  struct TReader;
  struct TRole;
  static TRole& Role();

  void Execute();
  // REQUIRES: FLock held.
  void StartReader();
  // A reader thread's life: accept, serve, wait for the next connection.
  void RunReaders(TReader& self);
  void RunReader(const std::shared_ptr<TClient>& client);
  void ReadMessages(const std::shared_ptr<TClient>& client);
  void Probe(TClient& client);
  // Routes a message read by the reader (inline or through the inbox).
  void Dispatch(const std::shared_ptr<TClient>& client, std::string text);
  // Route and AfterMessage for one message; false when the connection was
  // closed for an error escaping the handler.
  bool RouteOne(TClient& client, std::string&& text);
  void RunExecutor(const std::shared_ptr<TClient>& client);
  void Disconnected();
  void Write(TClient& client, const std::string& frame);
  // REQUIRES: FLock held.
  bool PayingGone() const;
  std::shared_ptr<TClient> Target(bool& payment) const;
  void Log(const std::string& line) const;
  void ReapFinished();

  const int FPort;
  const std::string FCertDir;
  const THandlers FHandlers;
  const TTimings FTimings;

  std::thread FThread;
  std::unique_ptr<platform::TListenSocket> FListener;
  SSL_CTX* FSslContext = nullptr;

  mutable std::mutex FLock;  // guards everything below and every client's inbox
  std::condition_variable FStateCv;
  std::condition_variable FInboxCv;  // an inbox, the payment or the server changed
  bool FActive = false;
  bool FEnded = false;
  bool FDeactivating = false;
  std::list<std::shared_ptr<TClient>> FClients;
  std::shared_ptr<TClient> FCurrent;  // FIdContext
  bool FPaymentRunning = false;
  std::thread::id FPaymentThread;
  std::shared_ptr<TClient> FPaying;
  std::string FPendingPrompt;

  std::list<TReader> FReaders;
  int FWaitingReaders = 0;    // in Accept or about to be
  bool FReadersStop = false;  // the readers end (server stop, listener failed)
};

}  // namespace endpoint
