// layout-preview LAYOUT.xml OUT.png [--width-mm 72] [--dpi 203]
//
// Draws a receipt layout as the service prints it and writes the page as a
// PNG. The defaults are a receipt printer's: 72 mm printable at 203 dpi.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "print/layoutpreview.h"

int main(int argc, char** argv) {
  std::string in, out;
  double width_mm = 72;
  int dpi = 203;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--width-mm" || a == "--dpi") && i + 1 < argc) {
      const std::string v = argv[++i];
      if (a == "--width-mm")
        width_mm = std::atof(v.c_str());
      else
        dpi = std::atoi(v.c_str());
    } else if (in.empty()) {
      in = a;
    } else if (out.empty()) {
      out = a;
    } else {
      in.clear();
      break;
    }
  }
  if (in.empty() || out.empty() || width_mm < 10 || width_mm > 1000 || dpi < 50 || dpi > 1200) {
    std::cerr << "usage: layout-preview LAYOUT.xml OUT.png [--width-mm 72] [--dpi 203]\n"
                 "  width 10-1000 mm, resolution 50-1200 dpi\n";
    return 2;
  }
  try {
    auto picture = print::RenderLayoutPreview(in, width_mm, dpi);
    if (!picture || !picture->SaveToPng(out)) {
      std::cerr << "layout-preview: cannot write " << out << "\n";
      return 1;
    }
    std::cout << out << ": " << picture->Width() << "x" << picture->Height() << " pixels\n";
  } catch (const std::exception& e) {
    std::cerr << "layout-preview: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
