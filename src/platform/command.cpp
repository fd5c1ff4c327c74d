#include "platform/command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

long long MonotonicMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

TCommandResult RunCommand(const std::string& command_line, int timeout_ms) {
  TCommandResult r;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return r;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return r;
  }
  if (pid == 0) {
    setpgid(0, 0);
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    execl("/bin/sh", "sh", "-c", command_line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(pid, pid);
  close(fds[1]);
  const long long deadline = MonotonicMs() + timeout_ms;
  char buf[4096];
  bool open_pipe = true;
  while (open_pipe) {
    const long long left = deadline - MonotonicMs();
    if (left <= 0) {
      r.TimedOut = true;
      break;
    }
    struct pollfd p {
      fds[0], POLLIN, 0
    };
    const int n = poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    const ssize_t got = read(fds[0], buf, sizeof buf);
    if (got > 0)
      r.Output.append(buf, static_cast<size_t>(got));
    else if (got == 0 || errno != EINTR)
      open_pipe = false;
  }
  int status = 0;
  if (!r.TimedOut) {
    // The output closed; the process may still run (a child kept no pipe).
    while (true) {
      const pid_t w = waitpid(pid, &status, WNOHANG);
      if (w == pid) break;
      if (w < 0 && errno != EINTR) break;
      if (MonotonicMs() >= deadline) {
        r.TimedOut = true;
        break;
      }
      usleep(10000);
    }
  }
  close(fds[0]);
  if (r.TimedOut) {
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
    r.ExitCode = 1;
    return r;
  }
  if (WIFEXITED(status)) {
    r.ExitCode = WEXITSTATUS(status);
    if (r.ExitCode == 127 && r.Output.empty()) r.ExitCode = -1;
  } else {
    r.ExitCode = 1;
  }
  return r;
}

}  // namespace platform
