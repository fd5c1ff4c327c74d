#include "tef/ruviriduza_resp_clisitef.h"

#include <cctype>

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

void TRuVirIdUzaRespCliSiTef::GravaInformacao(int Identificacao, const platform::AnsiString& Informacao) {
  int sequencia = 0;
  if (Identificacao == 141 || Identificacao == 142) {
    sequencia = 1;
    while (sequencia < kMaxSequencia && fpConteudo.Existe(Identificacao, sequencia)) ++sequencia;
  }
  if (Identificacao == 121 || Identificacao == 122) fMsgImpressao = true;
  fpConteudo.GravaInformacao(Identificacao, sequencia, EscaparTef(Informacao.bytes()));
}

void TRuVirIdUzaRespCliSiTef::ConteudoToProperty() {
  fpValorTotal = TCurrency();
  fpImagemComprovante1aVia.clear();
  fpImagemComprovante2aVia.clear();
  fpDebito = fpCredito = false;
  bool tem_parcelas = false;

  for (int k = 0; k < fpConteudo.Count(); ++k) {
    const TRuVirIdUzaLinha linha = fpConteudo.GetLinha(k);
    const TRuVirIdUzaInformacao& info = linha.Informacao();
    const std::string texto = DesescaparTef(info.AsString());
    switch (linha.Identificacao()) {
      case 100: {
        fpModalidadePagto = texto;
        const int tipo = NumeroOuZero(std::string_view(texto).substr(0, 2));
        if (tipo == 1) fpDebito = true;
        if (tipo == 2) fpCredito = true;
        const int n = texto.size() > 2 ? NumeroOuZero(std::string_view(texto).substr(2, 2)) : 0;
        if (n == 2) fpParceladoPor = parcLoja;
        if (n == 3) fpParceladoPor = parcADM;
        fpTipoOperacao = n == 0   ? opAvista
                         : n == 1 ? opPreDatado
                         : (n == 2 || n == 3) ? opParcelado
                                              : opOutras;
        break;
      }
      case 101: fpModalidadePagtoExtenso = texto; break;
      case 102: fpModalidadePagtoDescrita = texto; break;
      case 105:
        fpDataHoraTransacaoComprovante = info.AsTimeStampSQL();
        fpDataHoraTransacaoHost = fpDataHoraTransacaoComprovante;
        fpDataHoraTransacaoLocal = fpDataHoraTransacaoComprovante;
        break;
      case 120: fpAutenticacao = texto; break;
      case 121: fpImagemComprovante1aVia = DividirLinhas(texto); break;
      case 122: fpImagemComprovante2aVia = DividirLinhas(texto); break;
      case 130:
        fpSaque = info.AsFloat();
        fpValorTotal += fpSaque;
        break;
      case 131: fpInstituicao = texto; break;
      case 132: fpBandeira = texto; break;
      case 133: fpNSU = texto; break;
      case 134: fpNSUComprovante = texto; break;
      case 135: fpCodigoAutorizacaoTransacao = texto; break;
      case 139: fpValorEntradaCDC = info.AsFloat(); break;
      case 140: fpDataEntradaCDC = info.AsDate(); break;
      case 141: tem_parcelas = true; break;
      case 156: fpRede = texto; break;
      case 157: fpCodigoEstabelecimento = texto; break;
      case 501: fpTipoPessoa = info.AsInteger() != 0 ? 'F' : 'J'; break;
      case 502: fpDocumentoPessoa = texto; break;
      case 505: fpQtdParcelas = info.AsInteger(); break;
      case 506: fpDataPreDatado = info.AsDate(); break;
      case 511: fpQtdParcelas = info.AsInteger(); break;
      case 515: fpDataHoraTransacaoCancelada = info.AsDate(); break;
      case 516: fpNSUTransacaoCancelada = texto; break;
      case 527: fpDataVencimento = info.AsDate(); break;
      case 613:
        fpCMC7 = texto;
        fpCheque = texto.size() > 20 ? texto.substr(20, 6) : std::string();
        break;
      case 626: fpBanco = texto; break;
      case 627: fpAgencia = texto; break;
      case 628: fpAgenciaDC = texto; break;
      case 629: fpConta = texto; break;
      case 630: fpContaDC = texto; break;
      case 800: fpCodigoHASH = texto; break;
      case 899:
        switch (linha.Sequencia()) {
          case 1: case 2: case 3: LerCamposDeControle(linha); break;
          case 100: fpHeader = texto; break;
          case 101: fpID = info.AsInteger(); break;
          case 102: fpDocumentoVinculado = texto; break;
          case 103: fpValorTotal += info.AsFloat(); break;
          default: break;
        }
        break;
      case 2021: fpNumeroCartao = texto; break;
      case 4029:
        fpDesconto = info.AsFloat();
        fpValorTotal -= fpDesconto;
        break;
      default:
        break;
    }
  }

  AtualizarQtdLinhasComprovante();
  fpParcelas.Clear();
  if (tem_parcelas) {
    for (int s = 1; s <= fpQtdParcelas && s <= kMaxSequencia; ++s) {
      TRuVirIdUzaRespParcela p;
      p.SetVencimento(fpConteudo.LeInformacao(141, s).AsDate());
      p.SetValor(fpConteudo.LeInformacao(142, s).AsFloat());
      fpParcelas.Add(p);
    }
  }
}

}  // namespace tef
