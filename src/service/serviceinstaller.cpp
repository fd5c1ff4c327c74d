#include "service/serviceinstaller.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/command.h"
#include "platform/env.h"
#include "platform/paths.h"
#include "platform/unitdir.h"
#include "service/zentavositefservice.h"

namespace service {
namespace {

std::string UnitPath() { return platform::ServiceUnitDir() + "/" + kServiceName + ".service"; }

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

void Systemctl(const std::string& args) {
  if (!platform::ServiceManagerAvailable()) return;
  platform::RunCommand("systemctl " + args, 30000);
}

}  // namespace

// The path as one quoted word of a unit's command line: systemd expands '%'
// specifiers and '$' variables and splits at blanks unless quoted.
std::string UnitCommandWord(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '%')
      out += "%%";
    else if (c == '$')
      out += "$$";
    else if (c == '\\' || c == '"')
      (out += '\\') += c;
    else
      out += c;
  }
  return out + "\"";
}

std::string ServiceUnitText(const std::string& exe_path) {
  return std::string("[Unit]\n") + "Description=" + kDescription + "\n" +
         "After=network.target\n\n"
         "[Service]\n"
         "Type=simple\n"
         "ExecStart=" +
         UnitCommandWord(exe_path) + "\n" +
         "Restart=on-failure\n\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

std::string InstallService(const std::string& exe_path, bool& ok) {
  const std::string path = UnitPath();
  errno = 0;
  if (!platform::DefaultEnv().WriteFile(path, ServiceUnitText(exe_path), false)) {
    ok = false;
    return std::string("Service \"") + kServiceName + "\" failed to install with error: \"" +
           std::strerror(errno ? errno : EACCES) + "\"";
  }
  Systemctl("daemon-reload");
  Systemctl(std::string("enable ") + kServiceName + ".service");
  ok = true;
  return "Service installed successfully";
}

std::string UninstallService(bool& ok) {
  const std::string path = UnitPath();
  Systemctl(std::string("disable ") + kServiceName + ".service");
  if (std::remove(path.c_str()) != 0) {
    ok = false;
    return std::string("Service \"") + kServiceName + "\" failed to uninstall with error: \"" +
           std::strerror(errno) + "\"";
  }
  Systemctl("daemon-reload");
  ok = true;
  return "Service uninstalled successfully";
}

int HandleInstallSwitches(int argc, char** argv) {
  bool install = false, uninstall = false, silent = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) continue;
    a = Lower(a.substr(1));
    if (a == "install")
      install = true;
    else if (a == "uninstall")
      uninstall = true;
    else if (a == "silent")
      silent = true;
  }
  if (!install && !uninstall) return -1;
  bool ok = false;
  const std::string msg = install ? InstallService(platform::ExePath(), ok) : UninstallService(ok);
  if (!silent) std::printf("%s\n", msg.c_str());
  return ok ? 0 : 1;
}

}  // namespace service
