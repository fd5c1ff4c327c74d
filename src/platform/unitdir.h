// Where service units live: /etc/systemd/system, or ZENTAVO_UNIT_DIR (tests).
#pragma once

#include <string>

namespace platform {

std::string ServiceUnitDir();
// True when systemctl can be run and the unit folder is the real one.
bool ServiceManagerAvailable();

}  // namespace platform
