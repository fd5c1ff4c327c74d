#include "platform/unitdir.h"

#include <unistd.h>

#include <cstdlib>

namespace platform {

std::string ServiceUnitDir() {
  const char* dir = std::getenv("ZENTAVO_UNIT_DIR");
  return (dir != nullptr && *dir != '\0') ? dir : "/etc/systemd/system";
}

bool ServiceManagerAvailable() {
  const char* dir = std::getenv("ZENTAVO_UNIT_DIR");
  if (dir != nullptr && *dir != '\0') return false;  // tests never touch the machine
  return access("/bin/systemctl", X_OK) == 0 || access("/usr/bin/systemctl", X_OK) == 0;
}

}  // namespace platform
