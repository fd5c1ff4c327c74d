// A receipt layout drawn as a picture through the same interpreter and
// renderer that print it (preview mode): what tools/layout-preview and the
// renderer tests look at.
#pragma once

#include <memory>
#include <string>

#include "print/gdiprinter.h"

namespace print {

// The page width in pixels for a printable width in millimetres.
int PreviewWidthPx(double width_mm, int dpi);

// Renders the layout file at `dpi` on a page `width_mm` wide. Raises the
// interpreter's failures (ELayoutParser).
std::unique_ptr<TBitmap> RenderLayoutPreview(const std::string& layout_file, double width_mm,
                                             int dpi);

}  // namespace print
