// The library's numbers the simulator shares with the service (commands,
// field codes, results of the interactive functions), under a short name.
#pragma once

#include "tef/clisitef_protocol.h"

namespace clisitef_sim {

namespace clisitef = tef::clisitef;

// What an entry point answers when it fails inside: the library's "out of
// memory", the one result the automation takes as an internal fault.
inline constexpr int kInternalError = clisitef::kFaltaDeMemoria;

}  // namespace clisitef_sim
