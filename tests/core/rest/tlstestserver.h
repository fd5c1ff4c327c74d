// A tiny HTTPS server on 127.0.0.1 for the transport tests: OpenSSL, one
// thread, one request per connection ("Connection: close"), a self-signed
// certificate made at start (optionally expired), a chosen range of TLS
// versions. Each request is recorded and answered by the test's handler.
// Construct, use and destroy on the test's thread; the server thread only
// touches what the mutex guards.
#pragma once

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/servicecontrol.h"

namespace core::rest::testing {

struct TReceivedRequest {
  std::string method, target, version, tlsVersion, body;
  std::vector<std::pair<std::string, std::string>> headers;

  const std::string* Header(const std::string& name) const {
    for (const auto& [n, v] : headers) {
      if (strcasecmp(n.c_str(), name.c_str()) == 0) return &v;
    }
    return nullptr;
  }
};

// A complete HTTP/1.1 answer.
inline std::string HttpAnswer(int status, const std::string& reason, const std::string& body,
                              const std::string& extraHeaders = "") {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n" + extraHeaders +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

class TTlsTestServer {
 public:
  struct TOptions {
    int minVersion = TLS1_2_VERSION;
    int maxVersion = TLS1_3_VERSION;
    bool expiredCertificate = false;
    int answerDelayMs = 0;
  };
  using THandler = std::function<std::string(const TReceivedRequest&)>;

  explicit TTlsTestServer(THandler handler) : TTlsTestServer(std::move(handler), TOptions()) {}
  TTlsTestServer(THandler handler, TOptions options)
      : FHandler(std::move(handler)), FOptions(options) {
    // A client that gave up must not kill the test run when we answer it.
    platform::IgnoreBrokenPipes();
    MakeContext();
    FAccept = BIO_new_accept("127.0.0.1:0");
    BIO_set_bind_mode(FAccept, BIO_BIND_REUSEADDR);
    BIO_set_nbio_accept(FAccept, 1);
    if (!FAccept || BIO_do_accept(FAccept) <= 0) throw std::runtime_error("test server: listen");
    int fd = -1;
    BIO_get_fd(FAccept, &fd);
    BIO_ADDR* addr = BIO_ADDR_new();
    BIO_sock_info_u info;
    info.addr = addr;
    if (!BIO_sock_info(fd, BIO_SOCK_INFO_ADDRESS, &info))
      throw std::runtime_error("test server: port");
    char* service = BIO_ADDR_service_string(addr, 1);
    FPort = std::stoi(service);
    OPENSSL_free(service);
    BIO_ADDR_free(addr);
    FThread = std::thread([this] { Run(); });
  }

  ~TTlsTestServer() { Stop(); }

  // Stops listening: later connections are refused.
  void Stop() {
    if (FStop.exchange(true)) return;
    FThread.join();
    BIO_free_all(FAccept);
    SSL_CTX_free(FSslContext);
  }

  int Port() const { return FPort; }
  std::string Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(FPort) + path;
  }
  std::vector<TReceivedRequest> Requests() {
    std::lock_guard lock(FLock);
    return FRequests;
  }

 private:
  void MakeContext() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    const long day = 24 * 3600;
    X509_gmtime_adj(X509_getm_notBefore(cert), FOptions.expiredCertificate ? -30 * day : -day);
    X509_gmtime_adj(X509_getm_notAfter(cert), FOptions.expiredCertificate ? -day : 30 * day);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("not this host"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_set_pubkey(cert, key);
    X509_sign(cert, key, EVP_sha256());

    FSslContext = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(FSslContext, FOptions.minVersion);
    SSL_CTX_set_max_proto_version(FSslContext, FOptions.maxVersion);
    SSL_CTX_set_cipher_list(FSslContext, "DEFAULT:@SECLEVEL=0");  // TLS 1.0/1.1 need level 0
    SSL_CTX_use_certificate(FSslContext, cert);
    SSL_CTX_use_PrivateKey(FSslContext, key);
    X509_free(cert);
    EVP_PKEY_free(key);
  }

  void Run() {
    while (!FStop) {
      if (BIO_do_accept(FAccept) <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      BIO* client = BIO_pop(FAccept);
      int fd = -1;
      BIO_get_fd(client, &fd);
      BIO_socket_nbio(fd, 0);
      SSL* ssl = SSL_new(FSslContext);
      SSL_set_bio(ssl, client, client);
      if (SSL_accept(ssl) == 1) Serve(ssl);
      SSL_free(ssl);
      ERR_clear_error();
    }
  }

  void Serve(SSL* ssl) {
    std::string data;
    char buf[4096];
    size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
      int n = SSL_read(ssl, buf, sizeof buf);
      if (n <= 0) return;
      data.append(buf, n);
    }
    TReceivedRequest req;
    req.tlsVersion = SSL_get_version(ssl);
    std::string head = data.substr(0, headEnd);
    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t s1 = requestLine.find(' '), s2 = requestLine.rfind(' ');
    req.method = requestLine.substr(0, s1);
    req.target = requestLine.substr(s1 + 1, s2 - s1 - 1);
    req.version = requestLine.substr(s2 + 1);
    size_t contentLength = 0;
    for (size_t at = lineEnd; at != std::string::npos && at < head.size();) {
      size_t next = head.find("\r\n", at + 2);
      std::string line =
          head.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
      size_t colon = line.find(':');
      std::string value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      req.headers.emplace_back(line.substr(0, colon), value);
      if (strcasecmp(line.substr(0, colon).c_str(), "Content-Length") == 0) {
        contentLength = std::stoul(value);
      }
      at = next;
    }
    req.body = data.substr(headEnd + 4);
    while (req.body.size() < contentLength) {
      int n = SSL_read(ssl, buf, sizeof buf);
      if (n <= 0) return;
      req.body.append(buf, n);
    }
    {
      std::lock_guard lock(FLock);
      FRequests.push_back(req);
    }
    for (int waited = 0; waited < FOptions.answerDelayMs && !FStop; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (FStop) return;
    std::string answer = FHandler(req);
    SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
    SSL_shutdown(ssl);
  }

  THandler FHandler;
  TOptions FOptions;
  SSL_CTX* FSslContext = nullptr;
  BIO* FAccept = nullptr;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
  std::mutex FLock;
  std::vector<TReceivedRequest> FRequests;
};

}  // namespace core::rest::testing
