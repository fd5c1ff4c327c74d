// Response record of the CliSiTef manager: fields arrive one by one from the
// library (GravaInformacao) and are mapped to properties when the function
// ends. Same ownership and threading as TRuVirIdUzaResp.
#pragma once

#include <string>
#include <string_view>

#include "platform/ansi.h"
#include "tef/ruviriduza_resp.h"

namespace tef {

class TRuVirIdUzaRespCliSiTef : public TRuVirIdUzaResp {
 public:
  bool TransacaoAprovada() const override { return true; }
  void ConteudoToProperty() override;

  // Stores one library field. Fields 141 and 142 (installment due dates and
  // amounts) go into the next free sequence from 1; every other field into
  // sequence 0, replacing what was there. The bytes are kept escaped (see
  // EscaparTef); an empty value removes the field.
  void GravaInformacao(int Identificacao, const platform::AnsiString& Informacao);

 private:
  // One line of the content into its properties; true for an installment.
  bool MapearLinha(const TRuVirIdUzaLinha& linha);
  void MapearModalidade(const std::string& texto);                               // field 100
  void MapearControle(const TRuVirIdUzaLinha& linha, const std::string& texto);  // field 899
};

// Bytes below 32 or above 127, and the backslash itself, as "\x" and two
// upper-case hex digits, so the value stays on one printable line and
// decodes back exactly.
std::string EscaparTef(std::string_view bytes);
// The reverse, in one pass over the Windows-1252 form of an escaped UTF-8
// value: "\xHH" becomes that byte, "\x" with two non-hex characters a blank;
// a "\x" too near the end is kept. Returns UTF-8.
std::string DesescaparTef(std::string_view valor);

}  // namespace tef
