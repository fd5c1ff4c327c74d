// Runs a shell command line with its output captured: /bin/sh -c, standard
// output and standard error on one pipe, standard input from /dev/null.
#pragma once

#include <string>

namespace platform {

struct TCommandResult {
  int ExitCode = -1;   // -1: could not be started; 1 after a time-out kill
  std::string Output;  // everything written to stdout and stderr
  bool TimedOut = false;
};

// Waits at most timeout_ms; then the whole process group is killed and the
// exit code is 1.
TCommandResult RunCommand(const std::string& command_line, int timeout_ms);

}  // namespace platform
