// Receipt layouts under arbitrary bytes: the interpreter and the renderer
// (preview mode) either draw or raise their own failure; nothing else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "print/gdiprinter.h"
#include "print/layoutparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  print::TGDIPrinter printer("", nullptr);
  printer.BeginPreview(200, 96);
  printer.Initialize();
  print::TLayoutParser parser(printer);
  try {
    parser.ParseXML(text);
  } catch (const print::ELayoutParser&) {
  } catch (const print::EGDIPrinter&) {
  }
  printer.EndPreview();
  return 0;
}
