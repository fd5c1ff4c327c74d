// Run-time loading of shared libraries (the TEF client library). Each
// successful Load takes one reference on the library, as LoadLibrary does;
// Release gives one back. GetHandle finds an already loaded library without
// taking a reference. The interface exists so tests can replace the system
// loader (for example with one that fails at a given entry point).
// The system loader is stateless and safe to call from any thread.
#pragma once

#include <string>

namespace platform {

using DynLibHandle = void*;

class IDynLibLoader {
 public:
  virtual ~IDynLibLoader() = default;
  // Loads the library at path (a bare file name uses the normal library
  // search) and takes one reference. Null when it cannot be loaded.
  virtual DynLibHandle Load(const std::string& path) = 0;
  // The handle of the library at path when it is already loaded, else null.
  // Takes no reference.
  virtual DynLibHandle GetHandle(const std::string& path) = 0;
  // The address of an exported symbol, or null.
  virtual void* Symbol(DynLibHandle handle, const std::string& name) = 0;
  // Gives back one reference taken by Load.
  virtual void Release(DynLibHandle handle) = 0;
};

// The loader backed by the operating system.
IDynLibLoader& SystemDynLibLoader();

// File name of a shared library on this platform: "lib" + base + ".so".
std::string SharedLibraryFileName(const std::string& base);

}  // namespace platform
