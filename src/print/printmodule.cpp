#include "print/printmodule.h"

#include <mutex>

#include "platform/dynlib.h"
#include "platform/paths.h"
#include "print/printmoduleport.h"

namespace print {
namespace {

// The module as the service sees it: each call goes over the port, and what
// failed on the module's side is raised here.
class TPrintModuleOverPort final : public TPrintModule {
 public:
  explicit TPrintModuleOverPort(TPrintModulePort& port) : FPort(port) {}

  std::shared_ptr<platform::TPrintSpooler> Spooler() override {
    TPortFailure failure;
    TSpoolerPort* spooler = FPort.Spooler(failure);
    failure.Raise();
    return SpoolerOverPort(*spooler);
  }

  void PrintLayoutFile(const std::string& APrinterName,
                       const std::shared_ptr<platform::TPrintSpooler>& spooler,
                       const std::string& AFile) override {
    TPortFailure failure;
    if (TSpoolerPort* over = PortUnder(*spooler)) {
      FPort.PrintLayoutFile(APrinterName, *over, AFile, failure);
    } else {
      TSpoolerPortOf port(spooler);
      FPort.PrintLayoutFile(APrinterName, port, AFile, failure);
    }
    failure.Raise();
  }

 private:
  TPrintModulePort& FPort;
};

}  // namespace

TPrintModule& LoadPrintModule() {
  static std::mutex mu;
  static TPrintModule* module = nullptr;
  std::lock_guard<std::mutex> lock(mu);
  if (module != nullptr) return *module;
  platform::IDynLibLoader& loader = platform::SystemDynLibLoader();
  const std::string name = platform::SharedLibraryFileName(kPrintModuleBase);
  // A program linked with the module already has it; the service loads it
  // from its folder and keeps it to the end (the print stack's libraries do
  // not unload cleanly).
  platform::DynLibHandle handle = loader.GetHandle(name);
  const std::string path = platform::ExeDir() + "lib/" + name;
  if (handle == nullptr) handle = loader.Load(path);
  using TEntry = TPrintModulePort* (*)();
  auto entry = reinterpret_cast<TEntry>(loader.Symbol(handle, kPrintModuleEntry));
  TPrintModulePort* port = entry != nullptr ? entry() : nullptr;
  if (port != nullptr) module = new TPrintModuleOverPort(*port);  // kept to the end, as the module
  if (module == nullptr) {
    if (handle != nullptr) loader.Release(handle);
    throw platform::EPrintSpooler("Módulo de impressão não carregado: " + path);
  }
  return *module;
}

}  // namespace print
