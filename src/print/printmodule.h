// TPrintModule: the print stack (receipt drawing with cairo + pango, layouts
// with libxml2, pictures with libpng, CUPS jobs) as a shared module,
// lib/libzentavo_print.so in the application folder. The service does not
// link it: it is loaded at the first print job, so an idle service carries
// none of those libraries. Programs that link the module (the layout preview
// tool, the print tests) use the copy already in the process.
//
// Thread safety: LoadPrintModule may be called from any thread; the module's
// functions are safe wherever what they are given is.
#pragma once

#include <memory>
#include <string>

#include "platform/printspooler.h"

namespace print {

class TPrintModule {
 public:
  virtual ~TPrintModule() = default;
  // The machine's print system (CUPS).
  virtual std::shared_ptr<platform::TPrintSpooler> Spooler() = 0;
  // Draws the receipt layout file and submits it through `spooler` to the
  // destination as one page; raises the renderer's and the interpreter's
  // failures (nothing is submitted then).
  virtual void PrintLayoutFile(const std::string& APrinterName,
                               const std::shared_ptr<platform::TPrintSpooler>& spooler,
                               const std::string& AFile) = 0;
};

class TPrintModulePort;

// The module's one exported entry point; it returns the module's side of the
// boundary (print/printmoduleport.h), which lives as long as the process.
extern "C" TPrintModulePort* ZentavoPrintModule();
inline constexpr const char* kPrintModuleEntry = "ZentavoPrintModule";
inline constexpr const char* kPrintModuleBase = "zentavo_print";

// The module, loaded on the first call (and kept); raises
// platform::EPrintSpooler "Módulo de impressão não carregado: <path>" when
// it cannot be loaded, and tries again on the next call.
TPrintModule& LoadPrintModule();

}  // namespace print
