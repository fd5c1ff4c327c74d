// Where the TEF library keeps its control data: a fixed folder of the
// machine, /opt/CliSiTef/NaoExcluirControleCliSiTef, or the folder named by
// ZENTAVO_CLISITEF_CONTROL_DIR (tests).
#pragma once

#include <string>

namespace platform {

std::string CliSiTefControlDir();

}  // namespace platform
