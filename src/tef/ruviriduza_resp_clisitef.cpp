#include "tef/ruviriduza_resp_clisitef.h"

#include <cctype>

#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza_resp_comum.h"

namespace tef {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string EscaparTef(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 32 || c > 127 || c == '\\') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string DesescaparTef(std::string_view valor) {
  const std::string bytes = platform::Utf8ToAnsi(valor).bytes();
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    if (bytes[i] == '\\' && i + 3 < bytes.size() && bytes[i + 1] == 'x') {
      const int hi = HexValue(bytes[i + 2]), lo = HexValue(bytes[i + 3]);
      out += (hi < 0 || lo < 0) ? ' ' : static_cast<char>(hi * 16 + lo);
      i += 4;
    } else {
      out += bytes[i++];
    }
  }
  return platform::AnsiToUtf8(out);
}

void TRuVirIdUzaRespCliSiTef::GravaInformacao(int Identificacao,
                                              const platform::AnsiString& Informacao) {
  int sequencia = 0;
  using namespace clisitef;
  // Installments come one per call: each takes the next free sequence.
  if (Identificacao == kCampoVencimentoParcela || Identificacao == kCampoValorParcela) {
    sequencia = 1;
    while (sequencia < kMaxSequencia && fpConteudo.Existe(Identificacao, sequencia)) ++sequencia;
  }
  if (Identificacao == kCampoComprovante1aVia || Identificacao == kCampoComprovante2aVia) {
    fMsgImpressao = true;
  }
  fpConteudo.GravaInformacao(Identificacao, sequencia, EscaparTef(Informacao.bytes()));
}

void TRuVirIdUzaRespCliSiTef::ConteudoToProperty() {
  fpValorTotal = TCurrency();
  fpImagemComprovante1aVia.clear();
  fpImagemComprovante2aVia.clear();
  fpDebito = fpCredito = false;
  bool tem_parcelas = false;

  for (int k = 0; k < fpConteudo.Count(); ++k) {
    if (MapearLinha(fpConteudo.GetLinha(k))) tem_parcelas = true;
  }

  AtualizarQtdLinhasComprovante();
  fpParcelas.Clear();
  if (tem_parcelas) {
    for (int s = 1; s <= fpQtdParcelas && s <= kMaxSequencia; ++s) {
      TRuVirIdUzaRespParcela p;
      p.SetVencimento(fpConteudo.LeInformacao(clisitef::kCampoVencimentoParcela, s).AsDate());
      p.SetValor(fpConteudo.LeInformacao(clisitef::kCampoValorParcela, s).AsFloat());
      fpParcelas.Add(p);
    }
  }
}

bool TRuVirIdUzaRespCliSiTef::MapearLinha(const TRuVirIdUzaLinha& linha) {
  using namespace clisitef;
  const TRuVirIdUzaInformacao& info = linha.Informacao();
  const std::string texto = DesescaparTef(info.AsString());
  switch (linha.Identificacao()) {
    case kCampoModalidadePagto:
      MapearModalidade(texto);
      break;
    case kCampoModalidadeExtenso:
      fpModalidadePagtoExtenso = texto;
      break;
    case kCampoModalidadePagtoDescrita:
      fpModalidadePagtoDescrita = texto;
      break;
    case kCampoDataHoraComprovante:
      fpDataHoraTransacaoComprovante = info.AsTimeStampSQL();
      fpDataHoraTransacaoHost = fpDataHoraTransacaoComprovante;
      fpDataHoraTransacaoLocal = fpDataHoraTransacaoComprovante;
      break;
    case kCampoAutenticacao:
      fpAutenticacao = texto;
      break;
    case kCampoComprovante1aVia:
      fpImagemComprovante1aVia = DividirLinhas(texto);
      break;
    case kCampoComprovante2aVia:
      fpImagemComprovante2aVia = DividirLinhas(texto);
      break;
    case kCampoSaque:
      fpSaque = info.AsFloat();
      fpValorTotal += fpSaque;
      break;
    case kCampoInstituicao:
      fpInstituicao = texto;
      break;
    case kCampoBandeira:
      fpBandeira = texto;
      break;
    case kCampoNSU:
      fpNSU = texto;
      break;
    case kCampoNSUHost:
      fpNSUComprovante = texto;
      break;
    case kCampoCodigoAutorizacao:
      fpCodigoAutorizacaoTransacao = texto;
      break;
    case kCampoValorEntradaCDC:
      fpValorEntradaCDC = info.AsFloat();
      break;
    case kCampoDataEntradaCDC:
      fpDataEntradaCDC = info.AsDate();
      break;
    case kCampoVencimentoParcela:
      return true;
    case kCampoRede:
      fpRede = texto;
      break;
    case kCampoCodigoEstabelecimento:
      fpCodigoEstabelecimento = texto;
      break;
    case kCampoTipoPessoa:
      fpTipoPessoa = info.AsInteger() != 0 ? 'F' : 'J';
      break;
    case kCampoDocumentoPessoa:
      fpDocumentoPessoa = texto;
      break;
    case kCampoQtdParcelas:
      fpQtdParcelas = info.AsInteger();
      break;
    case kCampoDataPreDatado:
      fpDataPreDatado = info.AsDate();
      break;
    case kCampoQtdParcelasFinal:
      fpQtdParcelas = info.AsInteger();
      break;
    case kCampoDataTransacaoCancelada:
      fpDataHoraTransacaoCancelada = info.AsDate();
      break;
    case kCampoNSUTransacaoCancelada:
      fpNSUTransacaoCancelada = texto;
      break;
    case kCampoDataVencimentoCartao:
      fpDataVencimento = info.AsDate();
      break;
    case kCampoCMC7:
      fpCMC7 = texto;
      fpCheque = texto.size() > 20 ? texto.substr(20, 6) : std::string();
      break;
    case kCampoBanco:
      fpBanco = texto;
      break;
    case kCampoAgencia:
      fpAgencia = texto;
      break;
    case kCampoAgenciaDC:
      fpAgenciaDC = texto;
      break;
    case kCampoConta:
      fpConta = texto;
      break;
    case kCampoContaDC:
      fpContaDC = texto;
      break;
    case kCampoCodigoHASH:
      fpCodigoHASH = texto;
      break;
    case kCampoControle:
      MapearControle(linha, texto);
      break;
    case kCampoNumeroCartaoMascarado:
      fpNumeroCartao = texto;
      break;
    case kCampoDesconto:
      fpDesconto = info.AsFloat();
      fpValorTotal -= fpDesconto;
      break;
    default:
      break;
  }
  return false;
}

// Digits 1-2 the kind (debit, credit), digits 3-4 how it is paid.
void TRuVirIdUzaRespCliSiTef::MapearModalidade(const std::string& texto) {
  fpModalidadePagto = texto;
  const int tipo = NumeroOuZero(std::string_view(texto).substr(0, 2));
  if (tipo == 1) fpDebito = true;
  if (tipo == 2) fpCredito = true;
  const int n = texto.size() > 2 ? NumeroOuZero(std::string_view(texto).substr(2, 2)) : 0;
  if (n == 2) fpParceladoPor = parcLoja;
  if (n == 3) fpParceladoPor = parcADM;
  fpTipoOperacao = n == 0               ? opAvista
                   : n == 1             ? opPreDatado
                   : (n == 2 || n == 3) ? opParcelado
                                        : opOutras;
}

void TRuVirIdUzaRespCliSiTef::MapearControle(const TRuVirIdUzaLinha& linha,
                                             const std::string& texto) {
  using namespace clisitef;
  const TRuVirIdUzaInformacao& info = linha.Informacao();
  switch (linha.Sequencia()) {
    case kControleCNFEnviado:
    case kControleIndiceFPG_ECF:
    case kControleOrdemPagamento:
      LerCamposDeControle(linha);
      break;
    case kControleHeader:
      fpHeader = texto;
      break;
    case kControleDocumento:
      fpID = info.AsInteger();
      break;
    case kControleDocumentoVinculado:
      fpDocumentoVinculado = texto;
      break;
    case kControleValorCentavos:
      fpValorTotal += info.AsFloat();
      break;
    default:
      break;
  }
}

}  // namespace tef
