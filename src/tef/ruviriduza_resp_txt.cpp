#include "tef/ruviriduza_resp_txt.h"

#include <cctype>

#include "tef/ruviriduza_resp_comum.h"

namespace tef {
namespace {

std::string SemAspas(std::string s) {
  if (!s.empty() && s.front() == '"') s.erase(0, 1);
  if (!s.empty() && s.back() == '"') s.pop_back();
  return s;
}

}  // namespace

bool TRuVirIdUzaRespTXT::TransacaoAprovada() const {
  const std::string status = TrimTef(fpStatusTransacao);
  if (LerNumero(status) == 0) return true;
  return status.size() == 2 && std::toupper(static_cast<unsigned char>(status[0])) == 'P' &&
         status[1] == '1';
}

void TRuVirIdUzaRespTXT::ConteudoToProperty() {
  fpDataHoraTransacaoComprovante = platform::TDateTime();
  fpImagemComprovante1aVia.clear();
  fpImagemComprovante2aVia.clear();
  bool tem_parcelas = false;
  bool viu_710 = false;

  for (int k = 0; k < fpConteudo.Count(); ++k) {
    const TRuVirIdUzaLinha linha = fpConteudo.GetLinha(k);
    const TRuVirIdUzaInformacao& info = linha.Informacao();
    const std::string& v = info.AsString();
    switch (linha.Identificacao()) {
      case 0: fpHeader = v; break;
      case 1: fpID = info.AsInteger(); break;
      case 2: fpDocumentoVinculado = v; break;
      case 3: fpValorTotal = info.AsFloat(); break;
      case 4: fpMoeda = info.AsInteger(); break;
      case 5: fpCMC7 = v; break;
      case 6: fpTipoPessoa = v.empty() ? ' ' : v[0]; break;
      case 7: fpDocumentoPessoa = v; break;
      case 8: fpDataCheque = info.AsDate(); break;
      case 9: fpStatusTransacao = v; break;
      case 10: fpRede = v; break;
      case 11: fpTipoTransacao = info.AsInteger(); break;
      case 12: fpNSU = v; break;
      case 13: fpCodigoAutorizacaoTransacao = v; break;
      case 14: fpNumeroLoteTransacao = info.AsInteger(); break;
      case 15: fpDataHoraTransacaoHost = info.AsTimeStamp(); break;
      case 16: fpDataHoraTransacaoLocal = info.AsTimeStamp(); break;
      case 17:
        fpTipoParcelamento = info.AsInteger();
        fpParceladoPor = fpTipoParcelamento == 0   ? parcLoja
                         : fpTipoParcelamento == 1 ? parcADM
                                                   : parcNenhum;
        break;
      case 18: fpQtdParcelas = info.AsInteger(); break;
      case 19: tem_parcelas = true; break;
      case 22: {
        const platform::TDateTime d = info.AsDate();
        fpDataHoraTransacaoComprovante = JuntarDataHora(d, fpDataHoraTransacaoComprovante);
        break;
      }
      case 23:
        fpDataHoraTransacaoComprovante = JuntarDataHora(fpDataHoraTransacaoComprovante, info.AsTime());
        break;
      case 24: fpDataPreDatado = info.AsDate(); break;
      case 25: fpNSUTransacaoCancelada = v; break;
      case 26: fpDataHoraTransacaoCancelada = info.AsTimeStamp(); break;
      case 27: fpFinalizacao = v; break;
      case 28:
        fpImagemComprovante1aVia.clear();
        fpQtdLinhasComprovante = info.AsInteger();
        break;
      case 29: fpImagemComprovante1aVia.push_back(SemAspas(v)); break;
      case 30: fpTextoEspecialOperador = v; break;
      case 31: fpTextoEspecialCliente = v; break;
      case 32: fpAutenticacao = v; break;
      case 33: fpBanco = v; break;
      case 34: fpAgencia = v; break;
      case 35: fpAgenciaDC = v; break;
      case 36: fpConta = v; break;
      case 37: fpContaDC = v; break;
      case 38: fpCheque = v; break;
      case 39: fpChequeDC = v; break;
      case 40: fpNomeAdministradora = v; break;
      case 707: fpValorOriginal = info.AsFloat(); break;
      case 708: fpSaque = info.AsFloat(); break;
      case 709: fpDesconto = info.AsFloat(); break;
      case 710:
        viu_710 = true;
        fpImagemComprovante1aVia.clear();
        fpQtdLinhasComprovante = info.AsInteger();
        break;
      case 711: fpImagemComprovante1aVia.push_back(SemAspas(v)); break;
      case 712:
        if (!viu_710) {
          fpImagemComprovante1aVia.clear();
          fpQtdLinhasComprovante = info.AsInteger();
        }
        break;
      case 713:
        if (!viu_710) fpImagemComprovante1aVia.push_back(SemAspas(v));
        break;
      case 714: fpImagemComprovante2aVia.clear(); break;
      case 715: fpImagemComprovante2aVia.push_back(SemAspas(v)); break;
      case 899: LerCamposDeControle(linha); break;
      case 999: fpTrailer = v; break;
      default: break;
    }
  }

  if (fpImagemComprovante2aVia.empty()) fpImagemComprovante2aVia = fpImagemComprovante1aVia;

  fpParcelas.Clear();
  if (tem_parcelas) {
    for (int s = 1; s <= fpQtdParcelas && s <= kMaxSequencia; ++s) {
      TRuVirIdUzaRespParcela p;
      p.SetVencimento(fpConteudo.LeInformacao(19, s).AsDate());
      p.SetValor(fpConteudo.LeInformacao(20, s).AsFloat());
      p.SetNSUParcela(fpConteudo.LeInformacao(21, s).AsString());
      fpParcelas.Add(p);
    }
  }

  const int t = fpTipoTransacao;
  fpDebito = (t >= 20 && t <= 25) || t == 40;
  fpCredito = t >= 10 && t <= 12;
  if (t == 10 || t == 20 || t == 23) {
    fpTipoOperacao = opAvista;
  } else if (t == 11 || t == 12 || t == 22) {
    fpTipoOperacao = opParcelado;
  } else if (t == 21 || t == 24 || t == 25) {
    fpTipoOperacao = opPreDatado;
  } else if (t == 40) {
    fpTipoOperacao = opParcelado;
    fpParceladoPor = parcADM;
  } else {
    fpTipoOperacao = opOutras;
  }
}

}  // namespace tef
