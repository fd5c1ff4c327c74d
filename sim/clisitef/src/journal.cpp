#include "journal.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace clisitef_sim {
namespace {

std::string LocalTimestamp() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  localtime_r(&tv.tv_sec, &tm);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(tv.tv_usec / 1000));
  return buf;
}

}  // namespace

void Member(JsonWriter& w, const char* key, const std::string& value) {
  w.Key(key);
  w.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
}

void Member(JsonWriter& w, const char* key, int value) {
  w.Key(key);
  w.Int(value);
}

void Journal::Write(const std::function<void(JsonWriter&)>& fill) {
  ++FSeq;
  if (FPath.empty()) return;
  rapidjson::StringBuffer buf;
  JsonWriter w(buf);
  w.StartObject();
  w.Key("seq");
  w.Int64(FSeq);
  Member(w, "at", LocalTimestamp());
  fill(w);
  w.EndObject();
  std::string line(buf.GetString(), buf.GetSize());
  line += '\n';
  // One write() per line on an O_APPEND descriptor: the line reaches the file whole
  // and at once, and concurrent readers never see half of it.
  const int fd = ::open(FPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "clisitef simulator: cannot open the journal %s (errno %d)\n",
                 FPath.c_str(), errno);
    return;
  }
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace clisitef_sim
