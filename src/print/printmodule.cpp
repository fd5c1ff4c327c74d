#include "print/printmodule.h"

#include <mutex>

#include "platform/dynlib.h"
#include "platform/paths.h"

namespace print {

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
  using TEntry = TPrintModule* (*)();
  auto entry = reinterpret_cast<TEntry>(loader.Symbol(handle, kPrintModuleEntry));
  if (entry != nullptr) module = entry();
  if (module == nullptr) {
    if (handle != nullptr) loader.Release(handle);
    throw platform::EPrintSpooler("Módulo de impressão não carregado: " + path);
  }
  return *module;
}

}  // namespace print
