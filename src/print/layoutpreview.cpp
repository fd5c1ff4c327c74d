#include "print/layoutpreview.h"

#include <cmath>

#include "print/layoutparser.h"

namespace print {

int PreviewWidthPx(double width_mm, int dpi) {
  return static_cast<int>(std::lround(width_mm * dpi / 25.4));
}

std::unique_ptr<TBitmap> RenderLayoutPreview(const std::string& layout_file, double width_mm,
                                             int dpi) {
  TGDIPrinter printer("", nullptr);
  printer.BeginPreview(PreviewWidthPx(width_mm, dpi), dpi);
  printer.Initialize();
  TLayoutParser parser(printer);
  parser.ParseFile(layout_file);
  return printer.EndPreview();
}

}  // namespace print
