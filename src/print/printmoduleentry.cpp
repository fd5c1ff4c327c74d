// The print module's side of TPrintModule: what the service reaches through
// the entry point once the module is loaded.
#include "platform/cupsspooler.h"
#include "print/gdiprinter.h"
#include "print/layoutparser.h"
#include "print/printmodule.h"

namespace print {
namespace {

class TPrintModuleImpl final : public TPrintModule {
 public:
  std::shared_ptr<platform::TPrintSpooler> Spooler() override { return platform::CupsSpooler(); }

  void PrintLayoutFile(const std::string& APrinterName,
                       const std::shared_ptr<platform::TPrintSpooler>& spooler,
                       const std::string& AFile) override {
    TGDIPrinter printer(APrinterName, spooler);
    TLayoutParser parser(printer);
    printer.BeginPrint();
    printer.Initialize();
    parser.ParseFile(AFile);
    printer.EndPrint();  // a failure before this drops the page unprinted
  }
};

}  // namespace
}  // namespace print

extern "C" __attribute__((visibility("default"))) print::TPrintModule* ZentavoPrintModule() {
  static print::TPrintModuleImpl module;
  return &module;
}
