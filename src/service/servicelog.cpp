#include "service/servicelog.h"

#include <mutex>

#include "platform/ansi.h"
#include "platform/paths.h"
#include "platform/regional.h"

namespace service {
namespace {

std::mutex g_log_mutex;

bool BlankAfterTrim(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

}  // namespace

std::string ServiceLogPath(const std::string& base_dir, const platform::TDateTime& now) {
  const std::string month =
      platform::CapitalizeFirstAscii(platform::FormatDateTime("mmmmm-yyyy", now));
  return base_dir + "Log/" + month + "/ZentavoSiTefService " +
         platform::FormatDateTime("dd-mm-yyyy", now) + ".log";
}

int GravaLogIn(const std::string& base_dir, const std::string& text, platform::TEnv& env) {
  try {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    const platform::TDateTime now = env.Now();
    const std::string path = ServiceLogPath(base_dir, now);
    if (!env.CreateFolders(path.substr(0, path.rfind('/')))) return 0;
    std::string line;
    if (!BlankAfterTrim(text)) {
      line = "[" + platform::FormatDateTime("dd/mm/yyyy hh:nn:ss", now) + "] " + text;
    }
    const std::string bytes = platform::Utf8ToAnsi(line).bytes() + "\r\n";
    return env.AppendToFile(path, bytes) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

std::string TefLogPath(const std::string& base_dir, const platform::TDateTime& when) {
  const std::string dir = base_dir + "Log";
  platform::CreateDir(dir);
  const std::string month_dir = dir + "/" + platform::FormatDateTime("mm-yyyy", when);
  platform::CreateDir(month_dir);
  return month_dir + "/TEF-" + platform::FormatDateTime("dd-mm-yyyy", when) + ".log";
}

}  // namespace service
