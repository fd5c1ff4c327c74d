#include "platform/text.h"

namespace platform {
namespace {

bool Branco(char c) { return static_cast<unsigned char>(c) <= ' '; }

char Minuscula(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string TrimControle(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && Branco(s[b])) ++b;
  while (e > b && Branco(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string TrimControleDireita(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && Branco(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::vector<std::string> DividirLinhas(std::string_view texto) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < texto.size()) {
    size_t fim = texto.find_first_of("\r\n", i);
    if (fim == std::string_view::npos) fim = texto.size();
    out.emplace_back(texto.substr(i, fim - i));
    i = fim;
    if (i < texto.size() && texto[i] == '\r') {
      ++i;
      if (i < texto.size() && texto[i] == '\n') ++i;
    } else if (i < texto.size()) {
      ++i;
    }
  }
  return out;
}

std::vector<std::string> Dividir(std::string_view texto, char separador) {
  std::vector<std::string> out;
  size_t inicio = 0;
  while (inicio < texto.size()) {
    size_t fim = texto.find(separador, inicio);
    if (fim == std::string_view::npos) fim = texto.size();
    out.emplace_back(texto.substr(inicio, fim - inicio));
    inicio = fim + 1;
  }
  return out;
}

bool IgualSemCaixa(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Minuscula(a[i]) != Minuscula(b[i])) return false;
  }
  return true;
}

}  // namespace platform
