// Process entry of SvcZentavoSiTef: install/uninstall switches, otherwise the
// service runs in the foreground until SIGTERM or SIGINT.
#include "platform/memory.h"
#include "platform/servicecontrol.h"
#include "service/serviceinstaller.h"
#include "service/zentavositefservice.h"

int main(int argc, char** argv) {
  platform::ConfigureAllocator();
  const int switched = service::HandleInstallSwitches(argc, argv);
  if (switched >= 0) return switched;

  platform::IgnoreBrokenPipes();
  platform::InstallControlSignalHandlers();
  service::TZentavoSiTefService svc;
  bool started = true;
  svc.ServiceStart(started);
  if (!started) return 1;
  svc.ServiceExecute();
  return 0;
}
