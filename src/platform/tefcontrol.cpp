#include "platform/tefcontrol.h"

#include <cstdlib>

namespace platform {

std::string CliSiTefControlDir() {
  const char* dir = std::getenv("ZENTAVO_CLISITEF_CONTROL_DIR");
  return (dir != nullptr && *dir != '\0') ? dir : "/opt/CliSiTef/NaoExcluirControleCliSiTef";
}

}  // namespace platform
