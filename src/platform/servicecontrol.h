// Control requests of the service, driven by signals: SIGTERM and SIGINT ask
// for stop, SIGUSR1 for pause, SIGUSR2 for continue. The signal handler only
// queues the request; the service thread takes requests in its control loop.
#pragma once

namespace platform {

enum class TControlRequest { None, Stop, Pause, Continue };

// Installs the handlers. Call once, before other threads start.
void InstallControlSignalHandlers();

// Takes the oldest pending request, or None. Safe from any thread.
TControlRequest TakeControlRequest();

// Queues a request as a signal would (tests and the process itself).
void PostControlRequest(TControlRequest request);

// Blocks SIGPIPE for the whole process: a peer closing a socket must surface
// as a write error, not kill the service.
void IgnoreBrokenPipes();

}  // namespace platform
