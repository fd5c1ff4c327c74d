#include "endpoint/serverthread.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <chrono>
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
  std::thread reader;
  // Started by the reader with the first message that goes through the
  // inbox; most connections never need one.
  std::thread executor;
  // Guarded by the server's mu_.
  std::deque<std::string> inbox;
  bool executing = false;  // the executor handles a message
  bool reader_done = false;
  bool executor_done = true;  // none started, or it has ended
  // Touched by the reader only.
  bool large_read = false;  // a large message's memory is not given back yet
  long long last_ping_ms = 0;
  long long unanswered_ping_ms = 0;  // 0: nothing unanswered
};

// What the calling thread does for this server: the connection whose message
// it handles, and whether it runs a payment.
struct TServerThread::TRole {
  TServerThread* server = nullptr;
  std::shared_ptr<TClient> client;
  bool payment = false;
};

TServerThread::TServerThread(int port, std::string cert_dir, THandlers handlers, TTimings timings)
    : port_(port), cert_dir_(std::move(cert_dir)), handlers_(std::move(handlers)),
      timings_(timings), listener_(std::make_unique<platform::TListenSocket>()) {}

TServerThread::~TServerThread() {
  Deactivate();
  WaitFor();
  if (ctx_ != nullptr) SSL_CTX_free(ctx_);
}

void TServerThread::Log(const std::string& line) const {
  if (handlers_.Log) handlers_.Log(line);
}

void TServerThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TServerThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

bool TServerThread::Deactivating() const {
  std::lock_guard<std::mutex> lock(mu_);
  return deactivating_;
}

bool TServerThread::Active() const {
  std::lock_guard<std::mutex> lock(mu_);
  return active_;
}

bool TServerThread::WaitUntilListening(int timeout_ms) {
  std::unique_lock<std::mutex> lock(mu_);
  state_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                     [this] { return active_ || ended_; });
  return active_;
}

void TServerThread::Execute() {
  std::string error;
  bool ok = false;
  ctx_ = SSL_CTX_new(TLS_server_method());
  if (ctx_ == nullptr) {
    error = OpenSslError("Erro ao carregar a biblioteca TLS");
  } else {
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
    // Forward-secret AEAD suites only: the CBC suites carry the Lucky13
    // padding-oracle exposure.
    SSL_CTX_set_cipher_list(ctx_,
                            "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                            "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                            "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305");
    SSL_CTX_set_options(ctx_, SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    // Records are read from the socket as many as have arrived at once, not
    // a header and then a body per read. What is read ahead is seen by
    // SSL_has_pending, which the connection asks before waiting.
    SSL_CTX_set_read_ahead(ctx_, 1);
    // A browser that reconnects resumes its TLS session from a ticket it
    // holds: no session is kept here, so memory does not grow with every
    // connection ever made.
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_OFF);
    SSL_CTX_clear_options(ctx_, SSL_OP_NO_TICKET);
    const std::string cert = cert_dir_ + "server_cert.pem";
    const std::string key = cert_dir_ + "server_key.pem";
    const std::string ca = cert_dir_ + "ca_cert.pem";
    if (SSL_CTX_use_certificate_chain_file(ctx_, cert.c_str()) != 1) {
      error = OpenSslError("Erro ao carregar o certificado " + cert);
    } else if (SSL_CTX_use_PrivateKey_file(ctx_, key.c_str(), SSL_FILETYPE_PEM) != 1) {
      error = OpenSslError("Erro ao carregar a chave privada " + key);
    } else if (SSL_CTX_check_private_key(ctx_) != 1) {
      error = OpenSslError("A chave privada não corresponde ao certificado");
    } else if (SSL_CTX_load_verify_locations(ctx_, ca.c_str(), nullptr) != 1) {
      error = OpenSslError("Erro ao carregar o certificado da CA " + ca);
    } else {
      // The chain sent to clients (certificate and CA) is built once here
      // instead of in every handshake; a chain that cannot be built is still
      // built, as before, by each handshake.
      if (SSL_CTX_build_cert_chain(ctx_, 0) != 1) ERR_clear_error();
      ok = listener_->Listen(port_, error);
    }
  }
  ERR_clear_error();
  {
    std::lock_guard<std::mutex> lock(mu_);
    active_ = ok && !deactivating_;
    if (!active_) ended_ = true;
  }
  state_cv_.notify_all();
  if (!ok) {
    Log("Erro ao ativar o servidor na porta " + std::to_string(port_) + ": " + error);
    return;
  }

  while (true) {
    const int fd = listener_->Accept();
    if (fd < 0) break;
    std::lock_guard<std::mutex> lock(mu_);
    if (deactivating_) {
      platform::CloseSocket(fd);
      break;
    }
    ReapFinished();
    auto client = std::make_shared<TClient>();
    client->connection = std::make_shared<TTlsConnection>(ctx_, fd);
    clients_.push_back(client);
    client->reader = std::thread([this, client] { RunReader(client); });
  }
  listener_->Close();
  {
    std::lock_guard<std::mutex> lock(mu_);
    active_ = false;
    ended_ = true;
  }
  state_cv_.notify_all();
}

// REQUIRES: mu_ held.
void TServerThread::ReapFinished() {
  for (auto it = clients_.begin(); it != clients_.end();) {
    TClient& c = **it;
    if (c.reader_done && c.executor_done) {
      if (c.reader.joinable()) c.reader.join();
      if (c.executor.joinable()) c.executor.join();
      it = clients_.erase(it);
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
    std::lock_guard<std::mutex> lock(mu_);
    executor = client->executor.joinable();
  }
  // An executor ends the connection itself once its inbox is done, and gives
  // back the memory of its large messages.
  if (!executor) {
    Disconnected();
    if (client->large_read) platform::ReleaseFreeMemory();
  }
  role = TRole{};
  std::lock_guard<std::mutex> lock(mu_);
  if (!executor && current_ == client) current_.reset();
  client->reader_done = true;
  inbox_cv_.notify_all();
}

void TServerThread::Dispatch(const std::shared_ptr<TClient>& client, std::string text) {
  const bool may_wait = !handlers_.WaitsForFrontEnd || handlers_.WaitsForFrontEnd(text);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (deactivating_) return;
    // A payment of this connection reads its messages, and a payment whose
    // connection is gone is taken over on the executor.
    const bool payment_here = payment_running_ && (paying_ == client || PayingGone());
    if (may_wait || payment_here || client->executing || !client->inbox.empty()) {
      if (!client->executor.joinable()) {
        client->executor_done = false;
        client->executor = std::thread([this, client] { RunExecutor(client); });
      }
      client->inbox.push_back(std::move(text));
      inbox_cv_.notify_all();
      return;
    }
    current_ = client;
  }
  RouteOne(*client, text);
}

bool TServerThread::RouteOne(TClient& client, const std::string& text) {
  try {
    if (handlers_.Route) handlers_.Route(text, *client.connection);
    if (handlers_.AfterMessage) handlers_.AfterMessage();
    return true;
  } catch (...) {
    // An error escaping the handler closes this connection only, and what
    // it had sent after is not handled.
    client.connection->Close();
    std::lock_guard<std::mutex> lock(mu_);
    client.inbox.clear();
    return false;
  }
}

void TServerThread::Disconnected() {
  try {
    if (handlers_.Disconnect) handlers_.Disconnect();
  } catch (...) {
  }
}

void TServerThread::ReadMessages(const std::shared_ptr<TClient>& client) {
  TTlsConnection& conn = *client->connection;
  TWebSocketLimits limits;
  limits.StallTimeoutMs = timings_.StallTimeoutMs;
  // Input is already waiting when a read starts: from its first byte, a TLS
  // record or frame that stops arriving ends the connection at the limit.
  limits.FirstByteTimeoutMs = timings_.StallTimeoutMs;
  const auto log = [this](const std::string& line) { Log(line); };
  while (conn.Connected()) {
    {
      std::unique_lock<std::mutex> lock(mu_);
      if (deactivating_) return;
      // A peer that sends faster than its messages are handled waits here.
      if (client->inbox.size() >= kMaxInbox) {
        inbox_cv_.wait_for(lock, std::chrono::milliseconds(kProbeSliceMs));
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
    std::lock_guard<std::mutex> lock(mu_);
    paying = payment_running_ && paying_.get() == &client;
  }
  if (!paying) {
    client.unanswered_ping_ms = 0;
    client.last_ping_ms = 0;
    return;
  }
  const long long now = NowMs();
  if (client.unanswered_ping_ms != 0 && now - client.unanswered_ping_ms >= timings_.PongTimeoutMs) {
    Log("Conexão do pagamento sem resposta: encerrada.");
    client.connection->Abort();
    std::lock_guard<std::mutex> lock(mu_);
    inbox_cv_.notify_all();
    return;
  }
  if (client.last_ping_ms == 0 || now - client.last_ping_ms >= timings_.PingIntervalMs) {
    try {
      Write(client, std::string(kWebSocketPing, sizeof kWebSocketPing));
    } catch (...) {
      return;  // the socket failed: the reader ends with it
    }
    client.last_ping_ms = now;
    if (client.unanswered_ping_ms == 0) client.unanswered_ping_ms = now;
  }
}

// REQUIRES: mu_ held.
bool TServerThread::PayingGone() const {
  return paying_ == nullptr || !paying_->connection->Connected();
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
      std::unique_lock<std::mutex> lock(mu_);
      client->executing = false;
      inbox_cv_.wait(lock, [&] {
        const bool pays = payment_running_ && paying_ == client;
        return deactivating_ || (!client->inbox.empty() && !pays) ||
               (client->reader_done && client->inbox.empty());
      });
      if (deactivating_ || client->inbox.empty()) break;
      text = std::move(client->inbox.front());
      client->inbox.pop_front();
      client->executing = true;
      if (payment_running_ && paying_ != client && PayingGone()) {
        paying_ = client;
        took_over = true;
        prompt = pending_prompt_;
        inbox_cv_.notify_all();
      }
      current_ = client;
    }
    if (took_over) {
      Log("Pagamento assumido por outra conexão.");
      if (!prompt.empty()) {
        try {
          Write(*client, EncodeWebSocketTextFrame(prompt));
        } catch (...) {
        }
      }
      if (handlers_.AnswersPrompt && handlers_.AnswersPrompt(text)) continue;
    }
    if (text.size() >= platform::kLargeBlock) large_routed = true;
    RouteOne(*client, text);
  }
  Disconnected();
  // The memory of this connection's large messages goes back to the system.
  if (large_routed) platform::ReleaseFreeMemory();
  role = TRole{};
  std::lock_guard<std::mutex> lock(mu_);
  // Nothing may be written to or read from a connection that is gone.
  if (current_ == client) current_.reset();
  client->executor_done = true;
}

std::shared_ptr<TServerThread::TClient> TServerThread::Target(bool& payment) const {
  const TRole& role = Role();
  payment = role.server == this && role.payment;
  std::lock_guard<std::mutex> lock(mu_);
  if (payment) return paying_;
  if (role.server == this && role.client) return role.client;
  return current_;
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
    std::lock_guard<std::mutex> lock(mu_);
    pending_prompt_ = msg;
  }
  SendClientMessage(msg);
}

void TServerThread::PromptAnswered() {
  std::lock_guard<std::mutex> lock(mu_);
  pending_prompt_.clear();
}

void TServerThread::BeginPayment() {
  TRole& role = Role();
  std::lock_guard<std::mutex> lock(mu_);
  paying_ = role.server == this ? role.client : nullptr;
  payment_running_ = true;
  payment_thread_ = std::this_thread::get_id();
  pending_prompt_.clear();
  role.server = this;
  role.payment = true;
  inbox_cv_.notify_all();
}

void TServerThread::EndPayment() {
  TRole& role = Role();
  if (role.server == this) role.payment = false;
  std::lock_guard<std::mutex> lock(mu_);
  // A payment that another thread began since (the claim is already free)
  // is not this thread's to end.
  if (payment_thread_ != std::this_thread::get_id()) return;
  payment_thread_ = {};
  payment_running_ = false;
  paying_.reset();
  pending_prompt_.clear();
  inbox_cv_.notify_all();
}

std::string TServerThread::DecodeWebSocketFrame() {
  const TRole& role = Role();
  if (role.server != this || !role.payment) return {};
  std::lock_guard<std::mutex> lock(mu_);
  if (paying_ == nullptr || paying_->inbox.empty()) return {};
  std::string text = std::move(paying_->inbox.front());
  paying_->inbox.pop_front();
  inbox_cv_.notify_all();  // a reader may wait for room
  return text;
}

bool TServerThread::WaitForClientData(int timeout_ms) {
  const TRole& role = Role();
  const bool payment = role.server == this && role.payment;
  std::unique_lock<std::mutex> lock(mu_);
  const auto waiting = [&] { return payment && paying_ != nullptr && !paying_->inbox.empty(); };
  inbox_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                     [&] { return waiting() || deactivating_; });
  return waiting();
}

void TServerThread::Deactivate() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    deactivating_ = true;
    for (auto& c : clients_) c->connection->Abort();
    inbox_cv_.notify_all();
  }
  listener_->Wake();
  // The clients list only shrinks under mu_ in the accept loop, which has
  // stopped accepting once deactivating_ is set; join outside the lock.
  WaitFor();
  std::list<std::shared_ptr<TClient>> clients;
  {
    std::lock_guard<std::mutex> lock(mu_);
    clients.swap(clients_);
    current_.reset();
  }
  for (auto& c : clients) {
    if (c->reader.joinable()) c->reader.join();
    if (c->executor.joinable()) c->executor.join();
  }
}

}  // namespace endpoint
