// The CUPS spooler: the print system through libcups (the server named by
// CUPS_SERVER, else the machine's own). It lives in the print module with the
// rest of the print stack, so only a process that prints loads libcups.
//
// Thread safety: may be used from any thread; libcups keeps its connection
// per thread.
#pragma once

#include <memory>

#include "platform/printspooler.h"

namespace platform {

std::shared_ptr<TPrintSpooler> CupsSpooler();

}  // namespace platform
