#include "endpoint/serverthread.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <chrono>
#include <system_error>
#include <thread>

#include "endpoint/tlsconnection.h"
#include "endpoint/websocket.h"
#include "platform/env.h"
#include "platform/memory.h"
#include "platform/socket.h"

namespace endpoint {
namespace {

constexpr int kTlsHandshakeTimeoutMs = 60000;
// How often an idle reader looks at liveness and at the server stopping.
constexpr int kProbeSliceMs = 250;
// Messages read ahead of their handling, per connection.
constexpr size_t kMaxInbox = 64;
// Read buffer of each TLS connection (records are read ahead into it).
constexpr size_t kTlsReadBuffer = 64 * 1024;
// Readers waiting for a connection; one that ends its connection beyond
// these ends too. A front end that reconnects finds one waiting.
constexpr int kMaxWaitingReaders = 3;

long long NowMs() { return platform::DefaultEnv().MonotonicMillis(); }

std::string OpenSslError(const std::string& what) {
  const unsigned long e = ERR_get_error();
  if (e == 0) return what;
  char buf[256];
  ERR_error_string_n(e, buf, sizeof buf);
  return what + ": " + buf;
}

}  // namespace

struct TServerThread::TClient {
  std::shared_ptr<TTlsConnection> connection;
  // Started by the reader with the first message that goes through the
  // inbox; most connections never need one.
  std::thread executor;
  // Guarded by the server's FLock.
  std::deque<std::string> inbox;
  bool executing = false;  // the executor handles a message
  bool reader_done = false;
  bool executor_done = true;  // none started, or it has ended
  // Touched by the reader only.
  bool large_read = false;  // a large message's memory is not given back yet
  long long last_ping_ms = 0;
  long long unanswered_ping_ms = 0;  // 0: nothing unanswered
};

// A reader thread: it accepts a connection and serves it, then waits for
// the next one.
struct TServerThread::TReader {
  std::thread thread;
  bool done = false;  // guarded by FLock
};

// What the calling thread does for this server: the connection whose message
// it handles, and whether it runs a payment.
struct TServerThread::TRole {
  TServerThread* server = nullptr;
  std::shared_ptr<TClient> client;
  bool payment = false;
};

TServerThread::TServerThread(int port, std::string cert_dir, THandlers handlers, TTimings timings)
    : FPort(port),
      FCertDir(std::move(cert_dir)),
      FHandlers(std::move(handlers)),
      FTimings(timings),
      FListener(std::make_unique<platform::TListenSocket>()) {}

TServerThread::~TServerThread() {
  Deactivate();
  WaitFor();
  if (FSslContext != nullptr) SSL_CTX_free(FSslContext);
}

void TServerThread::Log(const std::string& line) const {
  if (FHandlers.Log) FHandlers.Log(line);
}

void TServerThread::Start() {
  FThread = std::thread([this] { Execute(); });
}

void TServerThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

bool TServerThread::Deactivating() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FDeactivating;
}

bool TServerThread::Active() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FActive;
}

bool TServerThread::WaitUntilListening(int timeout_ms) {
  std::unique_lock<std::mutex> lock(FLock);
  FStateCv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                    [this] { return FActive || FEnded; });
  return FActive;
}

void TServerThread::Execute() {
  std::string error;
  bool ok = false;
  FSslContext = SSL_CTX_new(TLS_server_method());
  if (FSslContext == nullptr) {
    error = OpenSslError("Erro ao carregar a biblioteca TLS");
  } else {
    SSL_CTX_set_min_proto_version(FSslContext, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(FSslContext, TLS1_2_VERSION);
    // Forward-secret AEAD suites only: the CBC suites carry the Lucky13
    // padding-oracle exposure.
    SSL_CTX_set_cipher_list(FSslContext,
                            "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                            "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                            "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305");
    SSL_CTX_set_options(FSslContext, SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_verify(FSslContext, SSL_VERIFY_NONE, nullptr);
    // Records are read from the socket as many as have arrived at once, not
    // a header and then a body per read. What is read ahead is seen by
    // SSL_has_pending, which the connection asks before waiting.
    SSL_CTX_set_read_ahead(FSslContext, 1);
    // Several records a read while a large message streams in, instead of
    // one read call per 16 KiB record.
    SSL_CTX_set_default_read_buffer_len(FSslContext, kTlsReadBuffer);
    // A browser that reconnects resumes its TLS session from a ticket it
    // holds: no session is kept here, so memory does not grow with every
    // connection ever made.
    SSL_CTX_set_session_cache_mode(FSslContext, SSL_SESS_CACHE_OFF);
    SSL_CTX_clear_options(FSslContext, SSL_OP_NO_TICKET);
    const std::string cert = FCertDir + "server_cert.pem";
    const std::string key = FCertDir + "server_key.pem";
    const std::string ca = FCertDir + "ca_cert.pem";
    if (SSL_CTX_use_certificate_chain_file(FSslContext, cert.c_str()) != 1) {
      error = OpenSslError("Erro ao carregar o certificado " + cert);
    } else if (SSL_CTX_use_PrivateKey_file(FSslContext, key.c_str(), SSL_FILETYPE_PEM) != 1) {
      error = OpenSslError("Erro ao carregar a chave privada " + key);
    } else if (SSL_CTX_check_private_key(FSslContext) != 1) {
      error = OpenSslError("A chave privada não corresponde ao certificado");
    } else if (SSL_CTX_load_verify_locations(FSslContext, ca.c_str(), nullptr) != 1) {
      error = OpenSslError("Erro ao carregar o certificado da CA " + ca);
    } else {
      // The chain sent to clients is built once here instead of in every
      // handshake; a chain that cannot be built is still built, as before,
      // by each handshake. A self-signed CA is left out of it: a browser
      // trusts it only from its own store, never from what a server sends,
      // and every full handshake would carry and parse it for nothing.
      if (SSL_CTX_build_cert_chain(FSslContext, SSL_BUILD_CHAIN_FLAG_NO_ROOT) != 1) {
        ERR_clear_error();
      }
      ok = FListener->Listen(FPort, error);
    }
  }
  ERR_clear_error();
  {
    std::lock_guard<std::mutex> lock(FLock);
    FActive = ok && !FDeactivating;
    if (!FActive) FEnded = true;
  }
  FStateCv.notify_all();
  if (!ok) {
    Log("Erro ao ativar o servidor na porta " + std::to_string(FPort) + ": " + error);
    return;
  }

  // The readers accept the connections themselves: the thread woken by a
  // connection handshakes it at once, with no hand-over to another thread.
  std::unique_lock<std::mutex> lock(FLock);
  if (!FDeactivating) StartReader();
  if (FReaders.empty()) FReadersStop = true;
  FStateCv.wait(lock, [this] { return FDeactivating || FReadersStop; });
  FReadersStop = true;
  FActive = false;
  lock.unlock();
  FListener->Wake();
  // No reader starts or is reaped once FReadersStop is set.
  while (true) {
    TReader* reader = nullptr;
    lock.lock();
    for (TReader& r : FReaders) {
      if (r.thread.joinable()) {
        reader = &r;
        break;
      }
    }
    lock.unlock();
    if (reader == nullptr) break;
    reader->thread.join();
  }
  FListener->Close();
  lock.lock();
  FReaders.clear();
  FEnded = true;
  lock.unlock();
  FStateCv.notify_all();
}

// REQUIRES: FLock held.
void TServerThread::StartReader() {
  FReaders.emplace_back();
  TReader* reader = &FReaders.back();
  try {
    reader->thread = std::thread([this, reader] { RunReaders(*reader); });
  } catch (const std::system_error&) {
    // No thread to spare: the readers that return take the connections.
    FReaders.pop_back();
    return;
  }
  ++FWaitingReaders;
}

void TServerThread::RunReaders(TReader& self) {
  std::unique_lock<std::mutex> lock(FLock, std::defer_lock);
  while (true) {
    const int fd = FListener->Accept();
    lock.lock();
    --FWaitingReaders;
    if (fd < 0 || FDeactivating || FReadersStop) {
      platform::CloseSocket(fd);
      // A listener that failed ends the server.
      FReadersStop = true;
      FStateCv.notify_all();
      break;
    }
    ReapFinished();
    // Another reader waits for the next connection while this one serves.
    if (FWaitingReaders == 0) StartReader();
    auto client = std::make_shared<TClient>();
    client->connection = std::make_shared<TTlsConnection>(FSslContext, fd);
    FClients.push_back(client);
    lock.unlock();
    RunReader(client);
    client.reset();
    lock.lock();
    if (FDeactivating || FReadersStop || FWaitingReaders >= kMaxWaitingReaders) break;
    ++FWaitingReaders;
    lock.unlock();
  }
  self.done = true;
}

// REQUIRES: FLock held.
void TServerThread::ReapFinished() {
  for (auto it = FClients.begin(); it != FClients.end();) {
    TClient& c = **it;
    if (c.reader_done && c.executor_done) {
      if (c.executor.joinable()) c.executor.join();
      it = FClients.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = FReaders.begin(); it != FReaders.end();) {
    if (it->done) {
      it->thread.join();
      it = FReaders.erase(it);
    } else {
      ++it;
    }
  }
}

TServerThread::TRole& TServerThread::Role() {
  thread_local TRole role;
  return role;
}

void TServerThread::Write(TClient& client, const std::string& frame) {
  std::lock_guard<std::mutex> lock(client.connection->WriteLock());
  client.connection->Write(frame.data(), frame.size());
}

// The reader: handshakes, then one message after another, each routed here
// or through the inbox (Dispatch).
void TServerThread::RunReader(const std::shared_ptr<TClient>& client) {
  TRole& role = Role();
  role.server = this;
  role.client = client;
  TTlsConnection& conn = *client->connection;
  if (conn.Handshake(kTlsHandshakeTimeoutMs)) {
    try {
      WebSocketHandshake(conn);
      ReadMessages(client);
    } catch (...) {
      // A read error, a stalled message or a failed handshake closes this
      // connection only.
    }
  }
  conn.Close();
  bool executor;
  {
    std::lock_guard<std::mutex> lock(FLock);
    executor = client->executor.joinable();
  }
  // An executor ends the connection itself once its inbox is done, and gives
  // back the memory of its large messages.
  if (!executor) {
    Disconnected();
    if (client->large_read) platform::ReleaseFreeMemory();
  }
  role = TRole{};
  std::lock_guard<std::mutex> lock(FLock);
  if (!executor && FCurrent == client) FCurrent.reset();
  client->reader_done = true;
  FInboxCv.notify_all();
}

void TServerThread::Dispatch(const std::shared_ptr<TClient>& client, std::string text) {
  const bool may_wait = !FHandlers.WaitsForFrontEnd || FHandlers.WaitsForFrontEnd(text);
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FDeactivating) return;
    // A payment of this connection reads its messages, and a payment whose
    // connection is gone is taken over on the executor.
    const bool payment_here = FPaymentRunning && (FPaying == client || PayingGone());
    if (may_wait || payment_here || client->executing || !client->inbox.empty()) {
      if (!client->executor.joinable()) {
        client->executor_done = false;
        client->executor = std::thread([this, client] { RunExecutor(client); });
      }
      client->inbox.push_back(std::move(text));
      FInboxCv.notify_all();
      return;
    }
    FCurrent = client;
  }
  RouteOne(*client, std::move(text));
}

bool TServerThread::RouteOne(TClient& client, std::string&& text) {
  try {
    if (FHandlers.Route) FHandlers.Route(std::move(text), *client.connection);
    if (FHandlers.AfterMessage) FHandlers.AfterMessage();
    return true;
  } catch (...) {
    // An error escaping the handler closes this connection only, and what
    // it had sent after is not handled.
    client.connection->Close();
    std::lock_guard<std::mutex> lock(FLock);
    client.inbox.clear();
    return false;
  }
}

void TServerThread::Disconnected() {
  try {
    if (FHandlers.Disconnect) FHandlers.Disconnect();
  } catch (...) {
  }
}

void TServerThread::ReadMessages(const std::shared_ptr<TClient>& client) {
  TTlsConnection& conn = *client->connection;
  TWebSocketLimits limits;
  limits.StallTimeoutMs = FTimings.StallTimeoutMs;
  // Input is already waiting when a read starts: from its first byte, a TLS
  // record or frame that stops arriving ends the connection at the limit.
  limits.FirstByteTimeoutMs = FTimings.StallTimeoutMs;
  const auto log = [this](const std::string& line) { Log(line); };
  while (conn.Connected()) {
    {
      std::unique_lock<std::mutex> lock(FLock);
      if (FDeactivating) return;
      // A peer that sends faster than its messages are handled waits here.
      if (client->inbox.size() >= kMaxInbox) {
        FInboxCv.wait_for(lock, std::chrono::milliseconds(kProbeSliceMs));
        continue;
      }
    }
    if (!conn.WaitForData(kProbeSliceMs)) {
      // Idle after a large message: its memory, kept while more came, goes
      // back to the system.
      if (client->large_read) platform::ReleaseFreeMemory();
      client->large_read = false;
      Probe(*client);
      continue;
    }
    std::string text = ReadWebSocketMessage(conn, log, limits);
    if (text.size() >= platform::kLargeBlock) client->large_read = true;
    // Any frame, a pong included, shows the peer is there.
    client->unanswered_ping_ms = 0;
    if (!text.empty()) Dispatch(client, std::move(text));
    Probe(*client);
  }
}

// Liveness of the paying connection: a ping every PingIntervalMs; silence for
// PongTimeoutMs after a ping makes it gone, and it is closed.
void TServerThread::Probe(TClient& client) {
  bool paying;
  {
    std::lock_guard<std::mutex> lock(FLock);
    paying = FPaymentRunning && FPaying.get() == &client;
  }
  if (!paying) {
    client.unanswered_ping_ms = 0;
    client.last_ping_ms = 0;
    return;
  }
  const long long now = NowMs();
  if (client.unanswered_ping_ms != 0 && now - client.unanswered_ping_ms >= FTimings.PongTimeoutMs) {
    Log("Conexão do pagamento sem resposta: encerrada.");
    client.connection->Abort();
    std::lock_guard<std::mutex> lock(FLock);
    FInboxCv.notify_all();
    return;
  }
  if (client.last_ping_ms == 0 || now - client.last_ping_ms >= FTimings.PingIntervalMs) {
    try {
      Write(client, std::string(kWebSocketPing, sizeof kWebSocketPing));
    } catch (...) {
      return;  // the socket failed: the reader ends with it
    }
    client.last_ping_ms = now;
    if (client.unanswered_ping_ms == 0) client.unanswered_ping_ms = now;
  }
}

// REQUIRES: FLock held.
bool TServerThread::PayingGone() const {
  return FPaying == nullptr || !FPaying->connection->Connected();
}

// The executor: routes the inbox's messages one at a time. While its
// connection pays, the payment reads the inbox instead. It lives as long as
// its connection.
void TServerThread::RunExecutor(const std::shared_ptr<TClient>& client) {
  TRole& role = Role();
  role.server = this;
  role.client = client;
  bool large_routed = false;
  while (true) {
    std::string text;
    bool took_over = false;
    std::string prompt;
    {
      std::unique_lock<std::mutex> lock(FLock);
      client->executing = false;
      FInboxCv.wait(lock, [&] {
        const bool pays = FPaymentRunning && FPaying == client;
        return FDeactivating || (!client->inbox.empty() && !pays) ||
               (client->reader_done && client->inbox.empty());
      });
      if (FDeactivating || client->inbox.empty()) break;
      text = std::move(client->inbox.front());
      client->inbox.pop_front();
      client->executing = true;
      if (FPaymentRunning && FPaying != client && PayingGone()) {
        FPaying = client;
        took_over = true;
        prompt = FPendingPrompt;
        FInboxCv.notify_all();
      }
      FCurrent = client;
    }
    if (took_over) {
      Log("Pagamento assumido por outra conexão.");
      if (!prompt.empty()) {
        try {
          Write(*client, EncodeWebSocketTextFrame(prompt));
        } catch (...) {
        }
      }
      if (FHandlers.AnswersPrompt && FHandlers.AnswersPrompt(text)) continue;
    }
    if (text.size() >= platform::kLargeBlock) large_routed = true;
    RouteOne(*client, std::move(text));
  }
  Disconnected();
  // The memory of this connection's large messages goes back to the system.
  if (large_routed) platform::ReleaseFreeMemory();
  role = TRole{};
  std::lock_guard<std::mutex> lock(FLock);
  // Nothing may be written to or read from a connection that is gone.
  if (FCurrent == client) FCurrent.reset();
  client->executor_done = true;
}

std::shared_ptr<TServerThread::TClient> TServerThread::Target(bool& payment) const {
  const TRole& role = Role();
  payment = role.server == this && role.payment;
  std::lock_guard<std::mutex> lock(FLock);
  if (payment) return FPaying;
  if (role.server == this && role.client) return role.client;
  return FCurrent;
}

std::shared_ptr<TConnection> TServerThread::CurrentConnection() const {
  bool payment;
  std::shared_ptr<TClient> c = Target(payment);
  return c ? c->connection : nullptr;
}

void TServerThread::SendClientMessage(const std::string& msg) {
  bool payment;
  const std::shared_ptr<TClient> target = Target(payment);
  if (target == nullptr || !target->connection->Connected()) return;
  const std::string frame = EncodeWebSocketTextFrame(msg);
  if (!payment) {
    Write(*target, frame);
    return;
  }
  try {
    Write(*target, frame);
  } catch (const EConnectionClosed&) {
    // The paying front end is gone; whoever takes over gets the prompt again.
  }
}

void TServerThread::SendPrompt(const std::string& msg) {
  const TRole& role = Role();
  if (role.server == this && role.payment) {
    std::lock_guard<std::mutex> lock(FLock);
    FPendingPrompt = msg;
  }
  SendClientMessage(msg);
}

void TServerThread::PromptAnswered() {
  std::lock_guard<std::mutex> lock(FLock);
  FPendingPrompt.clear();
}

void TServerThread::BeginPayment() {
  TRole& role = Role();
  std::lock_guard<std::mutex> lock(FLock);
  FPaying = role.server == this ? role.client : nullptr;
  FPaymentRunning = true;
  FPaymentThread = std::this_thread::get_id();
  FPendingPrompt.clear();
  role.server = this;
  role.payment = true;
  FInboxCv.notify_all();
}

void TServerThread::EndPayment() {
  TRole& role = Role();
  if (role.server == this) role.payment = false;
  std::lock_guard<std::mutex> lock(FLock);
  // A payment that another thread began since (the claim is already free)
  // is not this thread's to end.
  if (FPaymentThread != std::this_thread::get_id()) return;
  FPaymentThread = {};
  FPaymentRunning = false;
  FPaying.reset();
  FPendingPrompt.clear();
  FInboxCv.notify_all();
}

std::string TServerThread::DecodeWebSocketFrame() {
  const TRole& role = Role();
  if (role.server != this || !role.payment) return {};
  std::lock_guard<std::mutex> lock(FLock);
  if (FPaying == nullptr || FPaying->inbox.empty()) return {};
  std::string text = std::move(FPaying->inbox.front());
  FPaying->inbox.pop_front();
  FInboxCv.notify_all();  // a reader may wait for room
  return text;
}

bool TServerThread::WaitForClientData(int timeout_ms) {
  const TRole& role = Role();
  const bool payment = role.server == this && role.payment;
  std::unique_lock<std::mutex> lock(FLock);
  const auto waiting = [&] { return payment && FPaying != nullptr && !FPaying->inbox.empty(); };
  FInboxCv.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                    [&] { return waiting() || FDeactivating; });
  return waiting();
}

void TServerThread::Deactivate() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FDeactivating = true;
    for (auto& c : FClients) c->connection->Abort();
    FInboxCv.notify_all();
    FStateCv.notify_all();
  }
  FListener->Wake();
  // The server thread ends once every reader has; the clients list only
  // shrinks under FLock in a reader, so it is whole now; join outside the
  // lock.
  WaitFor();
  std::list<std::shared_ptr<TClient>> clients;
  {
    std::lock_guard<std::mutex> lock(FLock);
    clients.swap(FClients);
    FCurrent.reset();
  }
  for (auto& c : clients) {
    if (c->executor.joinable()) c->executor.join();
  }
}

}  // namespace endpoint
