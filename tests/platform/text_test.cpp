// The shared text helpers, each over a table of the inputs that tell the
// variants apart: blanks and control characters, every line break, trailing
// separators, and case outside ASCII letters.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Linhas = std::vector<std::string>;

TEST(Text, TrimRemovesBlanksAndControlCharactersOnly) {
  struct Caso {
    std::string entrada, ambos, direita;
  } casos[] = {
      {"", "", ""},
      {"   ", "", ""},
      {" a b ", "a b", " a b"},
      {"\t\r\n x\x01\x1f", "x", "\t\r\n x"},
      {std::string("\0a\0", 3), "a", std::string("\0a", 2)},
      {"\xC3\xA7\xC3\xA3 ", "\xC3\xA7\xC3\xA3", "\xC3\xA7\xC3\xA3"},  // UTF-8 bytes stay
      {"\xE7 ", "\xE7", "\xE7"},                                      // Windows-1252 too
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(platform::TrimControle(c.entrada), c.ambos) << c.entrada;
    EXPECT_EQ(platform::TrimControleDireita(c.entrada), c.direita) << c.entrada;
  }
}

TEST(Text, DividirLinhasBreaksAtEveryLineEnding) {
  struct Caso {
    std::string texto;
    Linhas linhas;
  } casos[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\n\r\n", {"a", ""}},
      {"\n", {""}},
      {"a\n\r", {"a", ""}},
  };
  for (const Caso& c : casos) EXPECT_EQ(platform::DividirLinhas(c.texto), c.linhas) << c.texto;
}

TEST(Text, DividirAtASeparator) {
  struct Caso {
    std::string texto;
    Linhas pecas;
  } casos[] = {
      {"", {}},          {"1:A;2:B;", {"1:A", "2:B"}}, {"1:A;2:B", {"1:A", "2:B"}},
      {";a", {"", "a"}}, {"a;;b", {"a", "", "b"}},     {";", {""}},
  };
  for (const Caso& c : casos) EXPECT_EQ(platform::Dividir(c.texto, ';'), c.pecas) << c.texto;
}

TEST(Text, IgualSemCaixaFoldsAsciiLettersOnly) {
  struct Caso {
    std::string a, b;
    bool igual;
  } casos[] = {
      {"", "", true},
      {"Geral", "GERAL", true},
      {"geral", "gerai", false},
      {"ab", "abc", false},
      {"[", "{", false},        // 0x5B and 0x7B differ only in the case bit
      {"\xC7", "\xE7", false},  // Ç and ç in Windows-1252: not folded
      {"Caixa 1", "caixa 1", true},
  };
  for (const Caso& c : casos) {
    EXPECT_EQ(platform::IgualSemCaixa(c.a, c.b), c.igual) << c.a << " " << c.b;
  }
}

}  // namespace
