// The service's daily diary: one file per day under Log/<Month-yyyy>/ beside
// the executable, Windows-1252, CR LF. Each call opens, appends and closes.
//
// Thread safety: calls from any thread are serialised by one lock, so lines
// never interleave and none is lost to a concurrent open.
#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/env.h"

namespace service {

// "Log/Dezembro-2026/ZentavoSiTefService 09-12-2026.log" under base_dir.
std::string ServiceLogPath(const std::string& base_dir, const platform::TDateTime& now);

// Appends one line to the log under base_dir (which ends in '/'), stamped
// with env's clock. Returns 1 when written, 0 when anything failed; never
// raises.
int GravaLogIn(const std::string& base_dir, const std::string& text,
               platform::TEnv& env = platform::DefaultEnv());

// Path of the TEF component log for a process started at `when`:
// "Log/mm-yyyy/TEF-dd-mm-yyyy.log" under base_dir.
std::string TefLogPath(const std::string& base_dir, const platform::TDateTime& when);

}  // namespace service
