#include "print/layoutparser.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "core/conversions.h"
#include "platform/env.h"
#include "platform/text.h"

namespace print {
namespace {

std::string LowerAscii(const char* s) {
  std::string out = s ? s : "";
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Name(xmlNode* node) { return LowerAscii(reinterpret_cast<const char*>(node->name)); }

bool HasAttr(xmlNode* node, const char* name) {
  return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::string GetAttr(xmlNode* node, const char* name, const std::string& def) {
  if (!HasAttr(node, name)) return def;
  xmlChar* v = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string out = v ? reinterpret_cast<const char*>(v) : "";
  xmlFree(v);
  return out;
}

bool GetBoolAttr(xmlNode* node, const char* name) {
  if (!HasAttr(node, name)) return false;
  const std::string v = platform::TrimControle(GetAttr(node, name, ""));
  return platform::IgualSemCaixa(v, "true") || v == "1" || platform::IgualSemCaixa(v, "yes");
}

// "double" -> fsLarge, "large" -> fsDblHeight, anything else fsNormal.
TFontSize SizeOf(const std::string& value) {
  if (platform::IgualSemCaixa(value, "double")) return TFontSize::fsLarge;
  if (platform::IgualSemCaixa(value, "large")) return TFontSize::fsDblHeight;
  return TFontSize::fsNormal;
}

int IntAttr(xmlNode* node, const char* name, int def) {
  const std::string v = GetAttr(node, name, std::to_string(def));
  if (v.empty()) return def;
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (errno != 0 || end != v.c_str() + v.size() || n < INT_MIN || n > INT_MAX || v[0] == ' ' ||
      v[0] == '\t' || v[0] == '\n' || v[0] == '\r')
    return def;
  return static_cast<int>(n);
}

bool IsElement(xmlNode* n) { return n->type == XML_ELEMENT_NODE; }
// Whitespace between elements is layout formatting, not text.
bool IsText(xmlNode* n) { return n->type == XML_TEXT_NODE && !xmlIsBlankNode(n); }
bool IsCData(xmlNode* n) { return n->type == XML_CDATA_SECTION_NODE; }

std::string Content(xmlNode* n) {
  return n->content ? reinterpret_cast<const char*>(n->content) : "";
}

// Depth of the element tree below node (node itself is 1); stops counting
// past `limit`, so the walk stays shallow whatever the document.
int Depth(xmlNode* node, int limit) {
  int deepest = 1;
  if (limit <= 0) return deepest;
  for (xmlNode* c = node->children; c; c = c->next) {
    if (IsElement(c)) deepest = std::max(deepest, 1 + Depth(c, limit - 1));
  }
  return deepest;
}

// The element's whole text content (every descendant text and CDATA), as is.
std::string CollectRaw(xmlNode* node) {
  std::string out;
  for (xmlNode* c = node->children; c; c = c->next) {
    if (IsElement(c))
      out += CollectRaw(c);
    else if (c->type == XML_TEXT_NODE || IsCData(c))
      out += Content(c);
  }
  return out;
}

struct TDocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

}  // namespace

std::string NormalizeLayoutText(const std::string& s) {
  std::string t = core::TrimControl(s);
  std::string out;
  out.reserve(t.size());
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\r') {
      out.push_back(' ');
      if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
    } else if (t[i] == '\n') {
      out.push_back(' ');
    } else {
      out.push_back(t[i]);
    }
  }
  std::string collapsed;
  collapsed.reserve(out.size());
  for (char c : out) {
    if (c == ' ' && !collapsed.empty() && collapsed.back() == ' ') continue;
    collapsed.push_back(c);
  }
  return core::TrimControl(collapsed);
}

TLayoutParser::TLayoutParser(TGDIPrinter& ABuilder) : FBuilder(ABuilder) {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

void TLayoutParser::ParseFile(const std::string& AArquivo) {
  platform::TEnv& env = platform::DefaultEnv();
  uint64_t size = 0;
  if (!env.IsRegularFile(AArquivo) || !env.FileSize(AArquivo, size))
    throw ELayoutParser("Arquivo de leiaute nao encontrado: " + AArquivo);
  if (size > kMaxDocumentBytes) throw ELayoutParser("Leiaute grande demais (máximo 8 MiB)");
  std::string bytes;
  if (!env.ReadFile(AArquivo, bytes)) throw ELayoutParser("Falha ao ler o leiaute: " + AArquivo);
  ProcessDocument(bytes, AArquivo);
}

void TLayoutParser::ParseXML(const std::string& AXML) {
  if (core::TrimControl(AXML).empty()) throw ELayoutParser("Conteudo XML vazio.");
  if (AXML.size() > kMaxDocumentBytes) throw ELayoutParser("Leiaute grande demais (máximo 8 MiB)");
  ProcessDocument(AXML, "leiaute.xml");
}

void TLayoutParser::ProcessDocument(const std::string& bytes, const std::string& name) {
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) throw ELayoutParser("Memória insuficiente para o leiaute");
  // No entity substitution, no DTD loading, no network: nothing outside the
  // text reaches the document.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  std::unique_ptr<xmlDoc, TDocFree> doc(xmlCtxtReadMemory(
      ctxt, bytes.data(), static_cast<int>(bytes.size()), name.c_str(), nullptr, options));
  if (!doc) {
    const xmlError* err = xmlCtxtGetLastError(ctxt);
    std::string msg = err && err->message ? core::TrimControl(err->message) : "documento inválido";
    const int line = err ? err->line : 0;
    xmlFreeParserCtxt(ctxt);
    throw ELayoutParser("Erro no XML (linha " + std::to_string(line) + "): " + msg);
  }
  xmlFreeParserCtxt(ctxt);
  if (doc->intSubset || doc->extSubset) throw ELayoutParser("Leiaute com DOCTYPE não é aceito");
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root) return;
  if (Depth(root, kMaxDepth) > kMaxDepth)
    throw ELayoutParser("Leiaute aninhado demais (máximo " + std::to_string(kMaxDepth) +
                        " níveis)");
  ProcessNode(root);
}

void TLayoutParser::ProcessChildren(xmlNode* node) {
  for (xmlNode* c = node->children; c; c = c->next) ProcessNode(c);
}

void TLayoutParser::ProcessNode(xmlNode* node) {
  if (!IsElement(node)) return;
  const std::string name = Name(node);
  TGDIPrinter& b = FBuilder;
  if (name == "receipt" || name == "header" || name == "section") {
    ProcessChildren(node);
  } else if (name == "center") {
    const bool bold = GetBoolAttr(node, "bold");
    b.SetAlignment(TTextAlign::taCenter);
    b.SetFontSize(SizeOf(GetAttr(node, "size", "normal")));
    if (bold) b.SetBold(true);
    bool blocks = false;
    for (xmlNode* c = node->children; c; c = c->next) {
      if (IsElement(c) && Name(c) != "bold") blocks = true;
    }
    if (blocks)
      ProcessChildren(node);
    else
      b.PrintLine(CollectText(node));
    if (bold) b.SetBold(false);
    b.SetFontSize(TFontSize::fsNormal);
    b.SetAlignment(TTextAlign::taLeft);
  } else if (name == "line") {
    const bool bold = GetBoolAttr(node, "bold");
    b.SetAlignment(TTextAlign::taLeft);
    b.SetFontSize(SizeOf(GetAttr(node, "size", "normal")));
    if (bold) b.SetBold(true);
    RenderInline(node);
    b.PrintLine("");
    if (bold) b.SetBold(false);
    b.SetFontSize(TFontSize::fsNormal);
  } else if (name == "row") {
    const bool bold = GetBoolAttr(node, "bold");
    std::string left, right;
    for (xmlNode* c = node->children; c; c = c->next) {
      if (!IsElement(c)) continue;
      const std::string cn = Name(c);
      if (cn == "left")
        left = CollectText(c);
      else if (cn == "right")
        right = CollectText(c);
    }
    b.SetFontSize(SizeOf(GetAttr(node, "size", "normal")));
    b.PrintRow(left, right, bold);
    b.SetFontSize(TFontSize::fsNormal);
  } else if (name == "title") {
    const TFontSize size = SizeOf(GetAttr(node, "size", "normal"));
    const std::string text = CollectText(node);
    b.SetAlignment(TTextAlign::taCenter);
    b.SetFontSize(size);
    b.SetBold(true);
    b.PrintLine(text);
    b.SetBold(false);
    b.SetFontSize(TFontSize::fsNormal);
    b.SetAlignment(TTextAlign::taLeft);
  } else if (name == "inverse") {
    const bool bold = GetBoolAttr(node, "bold");
    const std::string text = CollectText(node);
    b.SetAlignment(TTextAlign::taCenter);
    b.SetInverse(true);
    if (bold) b.SetBold(true);
    b.PrintLine(text);
    if (bold) b.SetBold(false);
    b.SetInverse(false);
    b.SetAlignment(TTextAlign::taLeft);
  } else if (name == "qrcode") {
    b.PrintQRCode(core::TrimControl(CollectRaw(node)), GetAttr(node, "title", ""));
  } else if (name == "image") {
    b.PrintImage(core::TrimControl(CollectRaw(node)), IntAttr(node, "width", 0),
                 IntAttr(node, "height", 0));
  } else if (name == "hr") {
    b.PrintHRule();
  } else if (name == "feed") {
    b.PrintLineFeed(IntAttr(node, "lines", 1));
  } else if (name == "cut") {
    b.Cut(true);
  }
}

std::string TLayoutParser::CollectText(xmlNode* node) {
  std::string out;
  for (xmlNode* c = node->children; c; c = c->next) {
    if (IsElement(c))
      out += CollectText(c);
    else if (IsText(c) || IsCData(c))
      out += Content(c);
  }
  return NormalizeLayoutText(out);
}

void TLayoutParser::RenderInline(xmlNode* node) {
  TGDIPrinter& b = FBuilder;
  for (xmlNode* c = node->children; c; c = c->next) {
    if (IsText(c)) {
      const std::string text = NormalizeLayoutText(Content(c));
      if (!text.empty()) b.PrintText(text + " ");
    } else if (IsElement(c)) {
      const std::string cn = Name(c);
      if (cn == "bold") {
        const TFontSize saved = b.CurrentSize();
        const TFontSize size = SizeOf(GetAttr(c, "size", ""));
        if (size == TFontSize::fsLarge || size == TFontSize::fsDblHeight) b.SetFontSize(size);
        b.SetBold(true);
        RenderInline(c);
        b.SetBold(false);
        b.SetFontSize(saved);
      } else if (cn == "image") {
        b.PrintLine("");
        b.PrintImage(core::TrimControl(CollectRaw(c)), IntAttr(c, "width", 0),
                     IntAttr(c, "height", 0));
      } else {
        RenderInline(c);
      }
    }
  }
}

}  // namespace print
