// Content of a TEF request or response: a sorted list of text lines
// "KKK-SSS = value", one line per key, saved to and loaded from 8-bit
// (Windows-1252) text files with CR LF line ends. The content owns its lines;
// lines handed out are copies. Not thread-safe: one owner uses it at a time.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/env.h"
#include "tef/ruviriduza_informacao.h"

namespace tef {

// Key of a field: identification in decimal padded to at least three digits,
// "-", sequence padded to three digits and cut to its first three
// (1234/5 -> "1234-005", 1/1234 -> "001-123").
std::string ChaveTef(int identificacao, int sequencia);

// A view of one content line, parsed when its text is set.
class TRuVirIdUzaLinha {
 public:
  TRuVirIdUzaLinha() = default;
  explicit TRuVirIdUzaLinha(std::string linha) { SetLinha(std::move(linha)); }

  // The key is the text before the first " = " (a line ending in "=" still
  // parses, with an empty value); the identification is the number before
  // "-" (the first three characters when "-" comes early), the sequence the
  // three characters after it, each 0 when not a number. A line without
  // " = " has identification 0, sequence 0 and an empty value.
  void SetLinha(std::string linha);
  const std::string& Linha() const { return fLinha; }
  const std::string& Chave() const { return FChave; }
  int Identificacao() const { return fIdentificacao; }
  int Sequencia() const { return fSequencia; }
  const TRuVirIdUzaInformacao& Informacao() const { return fInformacao; }

 private:
  std::string fLinha;
  std::string FChave;
  int fIdentificacao = 0;
  int fSequencia = 0;
  TRuVirIdUzaInformacao fInformacao;
};

class TRuVirIdUzaArquivo {
 public:
  void Clear() { FLinhas.clear(); }
  int Count() const { return static_cast<int>(FLinhas.size()); }

  // Replaces the line of that key; an empty value only removes it. Line
  // breaks inside a value become blanks: the file form has no way to carry
  // them and they would otherwise forge extra keys when the file is read.
  void GravaInformacao(int identificacao, int sequencia, std::string_view informacao);
  void GravaInformacao(int identificacao, int sequencia, const TRuVirIdUzaInformacao& informacao);
  void GravaInformacao(std::string_view chave, std::string_view informacao);

  // The line of that key; when absent, "KKK-SSS = " with an empty value
  // (the content is not changed).
  TRuVirIdUzaLinha LeLinha(int identificacao, int sequencia) const;
  // The value of that key (empty when absent); its Nome is the key.
  TRuVirIdUzaInformacao LeInformacao(int identificacao, int sequencia) const;
  bool Existe(int identificacao, int sequencia) const;

  // Line at index, 0 <= index < Count() (std::out_of_range otherwise).
  TRuVirIdUzaLinha GetLinha(int index) const;
  // All lines, in order.
  std::vector<std::string> Linhas() const;
  // All lines joined by CR LF (the form written to files and logs).
  std::string Texto() const;

  // Writes every line as Windows-1252 with CR LF ends, replacing the file;
  // with flush the file is on disk before this returns. Fails with
  // ERuVirIdUzaArquivo.
  void GravarArquivo(const std::string& nome_arquivo, bool do_flush_to_disk,
                     platform::TEnv& env = platform::DefaultEnv()) const;
  // Replaces the lines by the file's. A missing file fails with
  // ERuVirIdUzaArquivo "Arquivo: \r\n<name>\r\nnão encontrado". Lines
  // without " = " carry no field and are skipped; of two lines with the same
  // key the later one wins.
  void LeArquivo(const std::string& nome_arquivo, platform::TEnv& env = platform::DefaultEnv());
  // The same from text already in memory (Windows-1252 bytes).
  void CarregarTexto(std::string_view bytes_ansi);

 private:
  // (key, value) sorted by key: the same order as sorting the line texts.
  std::vector<std::pair<std::string, std::string>> FLinhas;

  std::vector<std::pair<std::string, std::string>>::const_iterator Procura(
      std::string_view chave) const;
};

}  // namespace tef
