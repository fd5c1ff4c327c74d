// The floor the service is measured against: the least a TLS 1.2 WebSocket
// server can do for the same exchanges. One thread per connection, blocking
// I/O, the frame read straight into a buffer sized from its header and
// unmasked in place; every text message is answered with the same short
// error reply the service gives a message without a session, so both servers
// write the same bytes.
//
//   ws_floor PORT CERT.pem KEY.pem [CA.pem]
//
// With CA.pem the chain is built as the service builds it: the certificate
// and any intermediate, without the self-signed root.
// Prints "listening" on stdout once it accepts connections.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kReply[] = "{\"type\":\"error\",\"message\":\"Campo session_uuid nao encontrado.\"}";

bool ReadFull(SSL* ssl, void* buf, size_t n) {
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    size_t got = 0;
    if (SSL_read_ex(ssl, p, n, &got) != 1) return false;
    p += got;
    n -= got;
  }
  return true;
}

bool WriteFull(SSL* ssl, const void* buf, size_t n) {
  size_t done = 0;
  return SSL_write_ex(ssl, buf, n, &done) == 1 && done == n;
}

std::string Accept(const std::string& key) {
  const std::string in = key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
  unsigned char md[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(in.data()), in.size(), md);
  unsigned char b64[64];
  const int n = EVP_EncodeBlock(b64, md, SHA_DIGEST_LENGTH);
  return std::string(reinterpret_cast<char*>(b64), n);
}

void Unmask(uint8_t* p, size_t n, const uint8_t key[4]) {
  uint32_t k32;
  std::memcpy(&k32, key, 4);
  const uint64_t k64 = (uint64_t{k32} << 32) | k32;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    w ^= k64;
    std::memcpy(p + i, &w, 8);
  }
  for (; i < n; ++i) p[i] ^= key[i % 4];
}

void Serve(SSL_CTX* ctx, int fd) {
  SSL* ssl = SSL_new(ctx);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) != 1) {
    SSL_free(ssl);
    close(fd);
    return;
  }
  // Upgrade request: read until the empty line. A browser sends nothing
  // before the 101, so whatever follows the request is not read here.
  std::string req;
  char c;
  while (req.size() < 65536 && req.find("\r\n\r\n") == std::string::npos) {
    if (!ReadFull(ssl, &c, 1)) goto done;
    req += c;
  }
  {
    std::string key;
    const size_t at = req.find("Sec-WebSocket-Key:");
    if (at != std::string::npos) {
      size_t b = at + 18, e = req.find("\r\n", b);
      while (b < e && req[b] == ' ') ++b;
      key = req.substr(b, e - b);
    }
    const std::string resp =
        "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Accept: " +
        Accept(key) + "\r\n\r\n";
    if (!WriteFull(ssl, resp.data(), resp.size())) goto done;
  }
  {
    std::vector<uint8_t> payload;
    std::string message;
    uint8_t reply[2 + sizeof kReply - 1];
    reply[0] = 0x81;
    reply[1] = sizeof kReply - 1;
    std::memcpy(reply + 2, kReply, sizeof kReply - 1);
    for (;;) {
      uint8_t h[2];
      if (!ReadFull(ssl, h, 2)) break;
      const int opcode = h[0] & 0x0F;
      uint64_t len = h[1] & 0x7F;
      if (len >= 126) {
        uint8_t ext[8];
        const size_t n = len == 126 ? 2 : 8;
        if (!ReadFull(ssl, ext, n)) break;
        len = 0;
        for (size_t i = 0; i < n; ++i) len = (len << 8) | ext[i];
      }
      uint8_t key[4] = {0, 0, 0, 0};
      if ((h[1] & 0x80) && !ReadFull(ssl, key, 4)) break;
      if (opcode == 8) {
        const uint8_t bye[2] = {0x88, 0x00};
        WriteFull(ssl, bye, 2);
        break;
      }
      if (len > (uint64_t{64} << 20)) break;
      payload.resize(len);
      if (!ReadFull(ssl, payload.data(), len)) break;
      Unmask(payload.data(), len, key);
      if (!(h[0] & 0x80)) continue;  // the benchmark sends whole messages
      if (!WriteFull(ssl, reply, sizeof reply)) break;
    }
  }
done:
  SSL_shutdown(ssl);
  SSL_free(ssl);
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s PORT CERT.pem KEY.pem [CA.pem]\n", argv[0]);
    return 2;
  }
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
  if (SSL_CTX_use_certificate_chain_file(ctx, argv[2]) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, argv[3], SSL_FILETYPE_PEM) != 1) {
    std::fprintf(stderr, "ws_floor: cannot load certificate or key\n");
    return 1;
  }
  if (argc == 5 && (SSL_CTX_load_verify_locations(ctx, argv[4], nullptr) != 1 ||
                    SSL_CTX_build_cert_chain(ctx, SSL_BUILD_CHAIN_FLAG_NO_ROOT) != 1)) {
    std::fprintf(stderr, "ws_floor: cannot build the chain with the CA\n");
    return 1;
  }
  const int ls = socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(ls, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(ls, 128) != 0) {
    std::perror("ws_floor: bind");
    return 1;
  }
  std::printf("listening\n");
  std::fflush(stdout);
  for (;;) {
    const int fd = accept(ls, nullptr, nullptr);
    if (fd < 0) continue;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::thread(Serve, ctx, fd).detach();
  }
}
