// Feeds arbitrary bytes to the backup-file reader and both response
// mappings, the way a damaged or hostile backup file would reach them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ansi.h"
#include "tef/ruviriduza_arquivo.h"
#include "tef/ruviriduza_resp_clisitef.h"
#include "tef/ruviriduza_resp_txt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tef::TRuVirIdUzaRespCliSiTef clisitef;
  clisitef.Conteudo().CarregarTexto(bytes);
  clisitef.ConteudoToProperty();
  tef::TRuVirIdUzaRespTXT txt;
  txt.Assign(clisitef);
  (void)txt.TransacaoAprovada();
  // Re-saving must give back a content that loads to the same lines.
  tef::TRuVirIdUzaArquivo again;
  again.CarregarTexto(platform::Utf8ToAnsi(clisitef.Conteudo().Texto()).bytes());
  if (again.Linhas() != clisitef.Conteudo().Linhas()) __builtin_trap();
  for (int k = 0; k < clisitef.Conteudo().Count(); ++k) {
    const auto linha = clisitef.Conteudo().GetLinha(k);
    (void)tef::DesescaparTef(linha.Informacao().AsString());
    (void)linha.Informacao().AsTimeStampSQL();
    (void)linha.Informacao().AsTimeStamp();
  }
  clisitef.GravaInformacao(141, platform::AnsiString::FromBytes(std::string(bytes.substr(0, 64))));
  return 0;
}
