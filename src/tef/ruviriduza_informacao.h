// One value of a TEF record (a request or response field) with typed views.
// The text is kept as written; each getter converts it and never fails
// (unreadable text reads as 0 or as no date). A plain value object: copy it
// freely; not shared between threads.
#pragma once

#include <string>

#include "platform/clock.h"
#include "tef/currency.h"

namespace tef {

class TRuVirIdUzaInformacao {
 public:
  TRuVirIdUzaInformacao() = default;
  explicit TRuVirIdUzaInformacao(std::string valor) : fInformacao(std::move(valor)) {}

  const std::string& Nome() const { return FNome; }
  void SetNome(std::string nome) { FNome = std::move(nome); }

  const std::string& AsString() const { return fInformacao; }
  void SetAsString(std::string valor) { fInformacao = std::move(valor); }

  // Trimmed text as a decimal integer (optional sign); 0 otherwise.
  int AsInteger() const;
  void SetAsInteger(int valor);  // 0 writes an empty value

  // The text is an amount in cents: "," and "." are dropped, the rest read
  // as an integer and divided by 100 (12,50 and 1250 both read 12.50).
  TCurrency AsFloat() const;
  // Writes cents (half away from zero), at least three digits: 0.05 -> 005.
  void SetAsFloat(TCurrency valor);

  // Digit forms; separators in the text are ignored when reading. A text
  // with too few digits or an impossible date or time reads as zero; extra
  // digits at the end are ignored. A zero value writes an empty text.
  platform::TDateTime AsDate() const;  // DDMMYYYY
  void SetAsDate(const platform::TDateTime& d);
  platform::TDateTime AsTime() const;  // HHNNSS (date part zero)
  void SetAsTime(const platform::TDateTime& t);
  platform::TDateTime AsTimeStamp() const;  // DDMMHHNNSS, current year
  void SetAsTimeStamp(const platform::TDateTime& t);
  platform::TDateTime AsTimeStampSQL() const;  // YYYYMMDDHHNNSS
  void SetAsTimeStampSQL(const platform::TDateTime& t);

 private:
  std::string FNome;
  std::string fInformacao;
};

// Blanks and control characters removed from both ends (as the TEF texts
// are trimmed everywhere).
std::string TrimTef(std::string_view s);

// The date part of d and the time part of t in one value (the record forms
// that carry a date and a time in two fields).
platform::TDateTime JuntarDataHora(const platform::TDateTime& d, const platform::TDateTime& t);

}  // namespace tef
