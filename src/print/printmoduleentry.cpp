// The print module's side of TPrintModule: what the service reaches through
// the entry point once the module is loaded.
#include "platform/cupsspooler.h"
#include "print/gdiprinter.h"
#include "print/layoutparser.h"
#include "print/printmodule.h"
#include "print/printmoduleport.h"

namespace print {
namespace {

class TPrintModuleImpl final : public TPrintModulePort {
 public:
  TSpoolerPort* Spooler(TPortFailure& failure) noexcept override {
    return KeepFailure(failure, []() -> TSpoolerPort* {
      // Lives as long as the process, as the service may hold it to the end.
      static TSpoolerPort* cups = new TSpoolerPortOf(platform::CupsSpooler());
      return cups;
    });
  }

  void PrintLayoutFile(const std::string& APrinterName, TSpoolerPort& spooler,
                       const std::string& AFile, TPortFailure& failure) noexcept override {
    KeepFailure(failure, [&] {
      TGDIPrinter printer(APrinterName, SpoolerOverPort(spooler));
      TLayoutParser parser(printer);
      printer.BeginPrint();
      printer.Initialize();
      parser.ParseFile(AFile);
      printer.EndPrint();  // a failure before this drops the page unprinted
    });
  }
};

}  // namespace
}  // namespace print

extern "C" __attribute__((visibility("default"))) print::TPrintModulePort* ZentavoPrintModule() {
  static print::TPrintModuleImpl module;
  return &module;
}
