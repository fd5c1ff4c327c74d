// TLayoutParser: reads a receipt layout (a small XML vocabulary: receipt,
// header, section, center, line, row/left/right, title, inverse, bold,
// qrcode, image, hr, feed, cut) and turns each element into calls on a
// TGDIPrinter, top to bottom. The renderer is not owned.
//
// Layouts are untrusted: documents above kMaxDocumentBytes, nested deeper
// than kMaxDepth elements or carrying a DOCTYPE are refused, and the parser
// never loads external entities or reaches the network. Failures raise
// ELayoutParser (missing file, empty text, malformed XML, limits); bad
// pictures are the renderer's business and print an error line.
//
// Thread safety: one instance is used by one thread.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "print/gdiprinter.h"

typedef struct _xmlNode xmlNode;
typedef struct _xmlDoc xmlDoc;

namespace print {

class ELayoutParser : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TLayoutParser {
 public:
  static constexpr size_t kMaxDocumentBytes = 8 * 1024 * 1024;
  static constexpr int kMaxDepth = 64;

  explicit TLayoutParser(TGDIPrinter& ABuilder);

  // "Arquivo de leiaute nao encontrado: <path>" when there is no such file.
  void ParseFile(const std::string& AArquivo);
  // "Conteudo XML vazio." for a blank text.
  void ParseXML(const std::string& AXML);

 private:
  void ProcessDocument(const std::string& bytes, const std::string& name);
  void ProcessNode(xmlNode* node);
  void ProcessChildren(xmlNode* node);
  std::string CollectText(xmlNode* node);
  void RenderInline(xmlNode* node);

  TGDIPrinter& FBuilder;
};

// Layout text normalisation: trimmed, line breaks as spaces, runs of spaces
// as one.
std::string NormalizeLayoutText(const std::string& s);

}  // namespace print
