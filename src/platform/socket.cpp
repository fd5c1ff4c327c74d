#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

TListenSocket::~TListenSocket() { Close(); }

bool TListenSocket::Listen(int port, std::string& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Accepted sockets inherit these from the listener, which saves five
  // system calls on every connection's way in. A peer that vanished without
  // a FIN (a dropped Wi-Fi, a sleeping laptop) is found out by the kernel, so
  // its connection ends.
  const int idle_s = 10, interval_s = 5, probes = 3;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  // A connection is handed to Accept once its first bytes (a TLS hello) are
  // in, so the thread that takes it reads at once instead of waking twice;
  // a peer that connects and says nothing holds no thread.
  const int defer_s = 5;
  setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &defer_s, sizeof defer_s);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
    error = "Não foi possível abrir a porta " + std::to_string(port) + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  FHandle = fd;
  return true;
}

int TListenSocket::Accept() {
  // A blocking accept: the kernel wakes one waiting thread per connection,
  // and that thread goes on to serve it.
  const int fd = FHandle.load();
  while (!FWoken.load() && fd >= 0) {
    const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (c >= 0) return c;
    if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) continue;
    if (errno == EMFILE || errno == ENFILE) {
      ::usleep(50000);  // out of descriptors: back off, keep listening
      continue;
    }
    return -1;
  }
  return -1;
}

void TListenSocket::Wake() {
  FWoken.store(true);
  // Every accept blocked on a listening socket that is shut down returns
  // (EINVAL), and so does every later one.
  const int fd = FHandle.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void TListenSocket::Close() {
  const int fd = FHandle.exchange(-1);
  if (fd >= 0) ::close(fd);
}

namespace {
int WaitFor(int fd, short events, int timeout_ms) {
  while (true) {
    struct pollfd p {
      fd, events, 0
    };
    const int n = ::poll(&p, 1, timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) return 0;
    if (p.revents & POLLNVAL) return -1;
    return 1;
  }
}
}  // namespace

int WaitReadable(int fd, int timeout_ms) { return WaitFor(fd, POLLIN, timeout_ms); }
int WaitWritable(int fd, int timeout_ms) { return WaitFor(fd, POLLOUT, timeout_ms); }

void ShutdownSocket(int fd) {
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void CloseSocket(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace platform
