// Registration of the service as a systemd unit: `install` writes
// ZentavoSiTefService.service (to /etc/systemd/system, or ZENTAVO_UNIT_DIR),
// `uninstall` removes it; systemctl daemon-reload and enable/disable run when
// systemctl exists.
#pragma once

#include <string>

namespace service {

// The unit text for the executable at exe_path.
std::string ServiceUnitText(const std::string& exe_path);

// Both return the message to show: "Service installed successfully" or
// "Service \"ZentavoSiTefService\" failed to install with error: \"...\"".
std::string InstallService(const std::string& exe_path, bool& ok);
std::string UninstallService(bool& ok);

// Process entry: handles the install/uninstall/silent switches (prefix '/'
// or '-', any case). Returns -1 when there was no such switch, otherwise the
// exit code after doing it.
int HandleInstallSwitches(int argc, char** argv);

}  // namespace service
