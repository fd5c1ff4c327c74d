#include "platform/dynlib.h"

#include <dlfcn.h>

namespace platform {
namespace {

class TSystemDynLibLoader final : public IDynLibLoader {
 public:
  DynLibHandle Load(const std::string& path) override {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }

  DynLibHandle GetHandle(const std::string& path) override {
    // RTLD_NOLOAD still counts a reference when it finds the library; give it
    // back at once so this behaves like a plain lookup.
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h != nullptr) dlclose(h);
    return h;
  }

  void* Symbol(DynLibHandle handle, const std::string& name) override {
    if (handle == nullptr) return nullptr;
    return dlsym(handle, name.c_str());
  }

  void Release(DynLibHandle handle) override {
    if (handle != nullptr) dlclose(handle);
  }
};

}  // namespace

IDynLibLoader& SystemDynLibLoader() {
  static TSystemDynLibLoader loader;
  return loader;
}

std::string SharedLibraryFileName(const std::string& base) { return "lib" + base + ".so"; }

}  // namespace platform
