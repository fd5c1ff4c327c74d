#include "endpoint/serverthread.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <chrono>
#include <thread>

#include "endpoint/tlsconnection.h"
#include "endpoint/websocket.h"
#include "platform/socket.h"

namespace endpoint {
namespace {

constexpr int kTlsHandshakeTimeoutMs = 60000;

std::string OpenSslError(const std::string& what) {
  const unsigned long e = ERR_get_error();
  if (e == 0) return what;
  char buf[256];
  ERR_error_string_n(e, buf, sizeof buf);
  return what + ": " + buf;
}

}  // namespace

TServerThread::TServerThread(int port, std::string cert_dir, THandlers handlers)
    : port_(port), cert_dir_(std::move(cert_dir)), handlers_(std::move(handlers)),
      listener_(std::make_unique<platform::TListenSocket>()) {}

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
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
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
    auto conn = std::make_shared<TTlsConnection>(ctx_, fd);
    clients_.emplace_back();
    TClient* client = &clients_.back();
    client->connection = conn;
    client->thread = std::thread([this, conn, client] { RunConnection(conn, client); });
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
    if (it->finished) {
      if (it->thread.joinable()) it->thread.join();
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

void TServerThread::RunConnection(std::shared_ptr<TTlsConnection> connection, TClient* self) {
  if (connection->Handshake(kTlsHandshakeTimeoutMs)) {
    try {
      while (connection->Connected()) {
        {
          std::lock_guard<std::mutex> lock(mu_);
          if (deactivating_) break;
        }
        ExecuteEvent(connection);
      }
    } catch (...) {
      // An error escaping the execute event closes this connection only.
    }
  }
  connection->Close();
  try {
    if (handlers_.Disconnect) handlers_.Disconnect();
  } catch (...) {
  }
  std::lock_guard<std::mutex> lock(mu_);
  // Nothing may be written to or read from a connection that is gone.
  if (current_.get() == connection.get()) current_.reset();
  self->finished = true;
}

// A connection becomes the current one when a message arrives on it, except
// while a transaction holds the current connection that is still open: a
// second connection must not take over a running payment's dialogue. On
// opening it takes over only a current connection that is gone (a front end
// reconnecting), so a connection that merely opens cannot race a payment
// that is about to start. An idle connection never takes over.
void TServerThread::TakeOver(const std::shared_ptr<TTlsConnection>& connection, bool opening) {
  const bool may = !opening && (!handlers_.MayTakeOver || handlers_.MayTakeOver());
  std::lock_guard<std::mutex> lock(mu_);
  if (current_ == nullptr || !current_->Connected() || may) current_ = connection;
}

void TServerThread::ExecuteEvent(const std::shared_ptr<TTlsConnection>& connection) {
  if (connection->Data() == nullptr) connection->SetData(std::make_unique<TClientData>());
  if (connection->Data()->State == csHandshake) {
    WebSocketHandshake(*connection);
    TakeOver(connection, true);
    return;
  }
  // Wait for the next message without holding IOHandlerLock, so an idle
  // connection cannot stall the writes of every other one.
  while (!connection->WaitForData(1000)) {
    if (!connection->Connected()) return;
    std::lock_guard<std::mutex> lock(mu_);
    if (deactivating_) return;
  }
  TakeOver(connection, false);
  if (CurrentConnection().get() == connection.get() && handlers_.MayTakeOver &&
      !handlers_.MayTakeOver()) {
    // A running transaction reads its answers from the current connection
    // itself; this thread must not take them away from it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return;
  }
  std::string text;
  {
    std::lock_guard<std::recursive_mutex> io(IOHandlerLock);
    text = ReadWebSocketMessage(*connection, [this](const std::string& line) { Log(line); });
  }
  if (!text.empty() && handlers_.Route) handlers_.Route(text, *connection);
  if (handlers_.AfterMessage) handlers_.AfterMessage();
}

std::shared_ptr<TConnection> TServerThread::CurrentConnection() const {
  std::lock_guard<std::mutex> lock(mu_);
  return current_;
}

void TServerThread::SendClientMessage(const std::string& msg) {
  std::lock_guard<std::recursive_mutex> io(IOHandlerLock);
  const std::shared_ptr<TConnection> conn = CurrentConnection();
  if (conn == nullptr || !conn->Connected()) return;
  const std::string frame = EncodeWebSocketTextFrame(msg);
  conn->Write(frame.data(), frame.size());
}

std::string TServerThread::DecodeWebSocketFrame() {
  std::lock_guard<std::recursive_mutex> io(IOHandlerLock);
  const std::shared_ptr<TConnection> conn = CurrentConnection();
  // Callers wait for data first; the current connection may have changed
  // since, and a read must never block here holding the lock.
  if (conn == nullptr || !conn->WaitForData(0)) return {};
  return ReadWebSocketMessage(*conn, [this](const std::string& line) { Log(line); });
}

void TServerThread::Deactivate() {
  std::list<std::thread*> threads;
  {
    std::lock_guard<std::mutex> lock(mu_);
    deactivating_ = true;
    for (TClient& c : clients_) c.connection->Abort();
  }
  listener_->Wake();
  // The clients list only shrinks under mu_ in the accept loop, which has
  // stopped accepting once deactivating_ is set; join outside the lock.
  WaitFor();
  std::list<TClient> clients;
  {
    std::lock_guard<std::mutex> lock(mu_);
    clients.swap(clients_);
    current_.reset();
  }
  for (TClient& c : clients) {
    if (c.thread.joinable()) c.thread.join();
  }
}

}  // namespace endpoint
