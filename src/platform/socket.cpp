#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

TListenSocket::TListenSocket() {
  if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) FWake[0] = FWake[1] = -1;
}

TListenSocket::~TListenSocket() {
  Close();
  if (FWake[0] >= 0) ::close(FWake[0]);
  if (FWake[1] >= 0) ::close(FWake[1]);
}

bool TListenSocket::Listen(int port, std::string& error) {
  FHandle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FHandle < 0) {
    error = std::strerror(errno);
    return false;
  }
  const int one = 1;
  setsockopt(FHandle, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Accepted sockets inherit these from the listener, which saves five
  // system calls on every connection's way in. A peer that vanished without
  // a FIN (a dropped Wi-Fi, a sleeping laptop) is found out by the kernel, so
  // its connection ends.
  const int idle_s = 10, interval_s = 5, probes = 3;
  setsockopt(FHandle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  setsockopt(FHandle, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  setsockopt(FHandle, IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s);
  setsockopt(FHandle, IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s);
  setsockopt(FHandle, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(FHandle, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(FHandle, 64) != 0) {
    error = "Não foi possível abrir a porta " + std::to_string(port) + ": " + std::strerror(errno);
    ::close(FHandle);
    FHandle = -1;
    return false;
  }
  return true;
}

int TListenSocket::Accept() {
  while (FHandle >= 0) {
    struct pollfd p[2] = {{FHandle, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    const int n = ::poll(p, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (p[1].revents) return -1;
    if (p[0].revents & POLLIN) {
      const int c = ::accept4(FHandle, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (c >= 0) return c;
      if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE) {
        ::usleep(50000);  // out of descriptors: back off, keep listening
        continue;
      }
      return -1;
    }
    if (p[0].revents & (POLLERR | POLLNVAL)) return -1;
  }
  return -1;
}

void TListenSocket::Wake() {
  if (FWake[1] >= 0) {
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(FWake[1], &b, 1);
  }
}

void TListenSocket::Close() {
  if (FHandle >= 0) {
    ::close(FHandle);
    FHandle = -1;
  }
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
