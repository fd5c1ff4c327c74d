#include "tef/ruviriduza_arquivo.h"

#include <algorithm>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "platform/ansi.h"
#include "platform/text.h"
#include "tef/ruviriduza_erros.h"

namespace tef {
namespace {

constexpr std::string_view kSeparador = " = ";

std::string Padded(int v, size_t width) {
  const bool negative = v < 0;
  std::string d = std::to_string(negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
  if (d.size() < width) d.insert(0, width - d.size(), '0');
  return negative ? "-" + d : d;
}

int NumberOr0(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 9) return 0;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

std::string SemQuebras(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

// The key of a line: the text before the first " = " of the line with one
// blank appended; npos when there is none.
size_t PosSeparador(const std::string& linha) {
  const std::string com_branco = linha + " ";
  return com_branco.find(kSeparador);
}

}  // namespace

std::string ChaveTef(int identificacao, int sequencia) {
  return Padded(identificacao, 3) + "-" + Padded(sequencia, 3).substr(0, 3);
}

void TRuVirIdUzaLinha::SetLinha(std::string linha) {
  fLinha = std::move(linha);
  FChave.clear();
  fIdentificacao = 0;
  fSequencia = 0;
  fInformacao = TRuVirIdUzaInformacao();
  const size_t p = PosSeparador(fLinha);
  if (p == std::string::npos) return;
  FChave = fLinha.substr(0, p);
  const size_t inicio_valor = p + kSeparador.size();
  fInformacao.SetAsString(inicio_valor < fLinha.size() ? fLinha.substr(inicio_valor)
                                                       : std::string());
  fInformacao.SetNome(FChave);
  const size_t hifen = FChave.find('-');
  if (hifen == std::string::npos) {
    fIdentificacao = NumberOr0(std::string_view(FChave).substr(0, 3));
    return;
  }
  // A key written by us has the "-" at its fourth character at the earliest.
  fIdentificacao = NumberOr0(hifen < 4 ? std::string_view(FChave).substr(0, 3)
                                       : std::string_view(FChave).substr(0, hifen));
  fSequencia = NumberOr0(std::string_view(FChave).substr(hifen + 1, 3));
}

std::vector<std::pair<std::string, std::string>>::const_iterator TRuVirIdUzaArquivo::Procura(
    std::string_view chave) const {
  auto it = std::lower_bound(FLinhas.begin(), FLinhas.end(), chave,
                             [](const auto& par, std::string_view k) { return par.first < k; });
  return (it != FLinhas.end() && it->first == chave) ? it : FLinhas.end();
}

void TRuVirIdUzaArquivo::GravaInformacao(std::string_view chave_in, std::string_view informacao) {
  const std::string chave = SemQuebras(chave_in);
  auto it = std::lower_bound(FLinhas.begin(), FLinhas.end(), chave,
                             [](const auto& par, const std::string& k) { return par.first < k; });
  const bool existe = it != FLinhas.end() && it->first == chave;
  if (informacao.empty()) {
    if (existe) FLinhas.erase(it);
    return;
  }
  if (existe) {
    it->second = SemQuebras(informacao);
  } else {
    FLinhas.emplace(it, chave, SemQuebras(informacao));
  }
}

void TRuVirIdUzaArquivo::GravaInformacao(int identificacao, int sequencia,
                                         std::string_view informacao) {
  GravaInformacao(ChaveTef(identificacao, sequencia), informacao);
}

void TRuVirIdUzaArquivo::GravaInformacao(int identificacao, int sequencia,
                                         const TRuVirIdUzaInformacao& informacao) {
  GravaInformacao(ChaveTef(identificacao, sequencia), informacao.AsString());
}

TRuVirIdUzaLinha TRuVirIdUzaArquivo::LeLinha(int identificacao, int sequencia) const {
  const std::string chave = ChaveTef(identificacao, sequencia);
  const auto it = Procura(chave);
  if (it == FLinhas.end()) return TRuVirIdUzaLinha(chave + std::string(kSeparador));
  return TRuVirIdUzaLinha(it->first + std::string(kSeparador) + it->second);
}

TRuVirIdUzaInformacao TRuVirIdUzaArquivo::LeInformacao(int identificacao, int sequencia) const {
  return LeLinha(identificacao, sequencia).Informacao();
}

bool TRuVirIdUzaArquivo::Existe(int identificacao, int sequencia) const {
  return Procura(ChaveTef(identificacao, sequencia)) != FLinhas.end();
}

TRuVirIdUzaLinha TRuVirIdUzaArquivo::GetLinha(int index) const {
  if (index < 0 || index >= Count()) throw std::out_of_range("Índice de linha inválido");
  const auto& par = FLinhas[static_cast<size_t>(index)];
  return TRuVirIdUzaLinha(par.first + std::string(kSeparador) + par.second);
}

std::vector<std::string> TRuVirIdUzaArquivo::Linhas() const {
  std::vector<std::string> out;
  out.reserve(FLinhas.size());
  for (const auto& [k, v] : FLinhas) out.push_back(k + std::string(kSeparador) + v);
  return out;
}

std::string TRuVirIdUzaArquivo::Texto() const {
  std::string out;
  for (const auto& [k, v] : FLinhas) {
    if (!out.empty()) out += "\r\n";
    out += k;
    out += kSeparador;
    out += v;
  }
  return out;
}

void TRuVirIdUzaArquivo::GravarArquivo(const std::string& nome_arquivo, bool do_flush_to_disk,
                                       platform::TEnv& env) const {
  std::string utf8;
  for (const auto& [k, v] : FLinhas) {
    utf8 += k;
    utf8 += kSeparador;
    utf8 += v;
    utf8 += "\r\n";
  }
  const std::string bytes = platform::Utf8ToAnsi(utf8).bytes();
  if (!env.WriteFile(nome_arquivo, bytes, do_flush_to_disk))
    throw ERuVirIdUzaArquivo("Erro ao gravar o arquivo:\r\n" + nome_arquivo);
}

void TRuVirIdUzaArquivo::LeArquivo(const std::string& nome_arquivo, platform::TEnv& env) {
  if (!env.IsRegularFile(nome_arquivo)) {
    throw ERuVirIdUzaArquivo("Arquivo: \r\n" + nome_arquivo + "\r\n" + "não encontrado");
  }
  std::string bytes;
  if (!env.ReadFile(nome_arquivo, bytes))
    throw ERuVirIdUzaArquivo("Erro ao ler o arquivo:\r\n" + nome_arquivo);
  CarregarTexto(bytes);
}

void TRuVirIdUzaArquivo::CarregarTexto(std::string_view bytes_ansi) {
  const std::string texto = platform::AnsiToUtf8(bytes_ansi);
  FLinhas.clear();
  for (const std::string& linha : platform::DividirLinhas(texto)) {
    const size_t p = PosSeparador(linha);
    if (p == std::string::npos) continue;
    const size_t inicio_valor = p + kSeparador.size();
    GravaInformacao(std::string_view(linha).substr(0, p),
                    inicio_valor < linha.size() ? std::string_view(linha).substr(inicio_valor)
                                                : std::string_view());
  }
}

}  // namespace tef
