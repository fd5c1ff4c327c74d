// Small text helpers shared by every layer: trimming of blanks and control
// characters, line and separator splitting, and ASCII case-insensitive
// comparison. Byte-wise, so they serve UTF-8 and Windows-1252 text alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Without the leading and trailing characters up to and including the blank
// (control characters, as the TEF library and profile files pad with them).
std::string TrimControle(std::string_view s);
// The same, at the end only.
std::string TrimControleDireita(std::string_view s);

// Lines of a text broken at CR LF, CR or LF; a final line break gives no
// empty last line.
std::vector<std::string> DividirLinhas(std::string_view texto);

// Pieces of a text between separators; a trailing separator gives no empty
// last piece ("1:A;2:B;" is two pieces).
std::vector<std::string> Dividir(std::string_view texto, char separador);

// Equal ignoring the case of ASCII letters.
bool IgualSemCaixa(std::string_view a, std::string_view b);

}  // namespace platform
