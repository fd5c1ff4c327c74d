#include "tef/ruviriduza_resp_txt.h"

#include "platform/text.h"
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
  return platform::IgualSemCaixa(status, "P1");
}

void TRuVirIdUzaRespTXT::ConteudoToProperty() {
  fpDataHoraTransacaoComprovante = platform::TDateTime();
  fpImagemComprovante1aVia.clear();
  fpImagemComprovante2aVia.clear();
  TLeitura leitura;
  for (int k = 0; k < fpConteudo.Count(); ++k) {
    const TRuVirIdUzaLinha linha = fpConteudo.GetLinha(k);
    const TRuVirIdUzaInformacao& info = linha.Informacao();
    const int id = linha.Identificacao();
    if (id == 899) {
      LerCamposDeControle(linha);
    } else if (!LerTransacao(id, info) && !LerCheque(id, info)) {
      if (!LerValores(id, info, leitura)) LerComprovante(id, info, leitura);
    }
  }
  if (fpImagemComprovante2aVia.empty()) fpImagemComprovante2aVia = fpImagemComprovante1aVia;
  LerParcelas(leitura.temParcelas);
  ClassificarTipoTransacao();
}

bool TRuVirIdUzaRespTXT::LerTransacao(int id, const TRuVirIdUzaInformacao& info) {
  const std::string& v = info.AsString();
  switch (id) {
    case 0:
      fpHeader = v;
      break;
    case 1:
      fpID = info.AsInteger();
      break;
    case 2:
      fpDocumentoVinculado = v;
      break;
    case 3:
      fpValorTotal = info.AsFloat();
      break;
    case 4:
      fpMoeda = info.AsInteger();
      break;
    case 9:
      fpStatusTransacao = v;
      break;
    case 10:
      fpRede = v;
      break;
    case 11:
      fpTipoTransacao = info.AsInteger();
      break;
    case 12:
      fpNSU = v;
      break;
    case 13:
      fpCodigoAutorizacaoTransacao = v;
      break;
    case 14:
      fpNumeroLoteTransacao = info.AsInteger();
      break;
    case 15:
      fpDataHoraTransacaoHost = info.AsTimeStamp();
      break;
    case 16:
      fpDataHoraTransacaoLocal = info.AsTimeStamp();
      break;
    case 25:
      fpNSUTransacaoCancelada = v;
      break;
    case 26:
      fpDataHoraTransacaoCancelada = info.AsTimeStamp();
      break;
    case 27:
      fpFinalizacao = v;
      break;
    case 40:
      fpNomeAdministradora = v;
      break;
    case 999:
      fpTrailer = v;
      break;
    default:
      return false;
  }
  return true;
}

bool TRuVirIdUzaRespTXT::LerCheque(int id, const TRuVirIdUzaInformacao& info) {
  const std::string& v = info.AsString();
  switch (id) {
    case 5:
      fpCMC7 = v;
      break;
    case 6:
      fpTipoPessoa = v.empty() ? ' ' : v[0];
      break;
    case 7:
      fpDocumentoPessoa = v;
      break;
    case 8:
      fpDataCheque = info.AsDate();
      break;
    case 24:
      fpDataPreDatado = info.AsDate();
      break;
    case 33:
      fpBanco = v;
      break;
    case 34:
      fpAgencia = v;
      break;
    case 35:
      fpAgenciaDC = v;
      break;
    case 36:
      fpConta = v;
      break;
    case 37:
      fpContaDC = v;
      break;
    case 38:
      fpCheque = v;
      break;
    case 39:
      fpChequeDC = v;
      break;
    default:
      return false;
  }
  return true;
}

bool TRuVirIdUzaRespTXT::LerValores(int id, const TRuVirIdUzaInformacao& info, TLeitura& leitura) {
  switch (id) {
    case 17:
      fpTipoParcelamento = info.AsInteger();
      fpParceladoPor = fpTipoParcelamento == 0   ? parcLoja
                       : fpTipoParcelamento == 1 ? parcADM
                                                 : parcNenhum;
      break;
    case 18:
      fpQtdParcelas = info.AsInteger();
      break;
    case 19:
      leitura.temParcelas = true;
      break;
    case 707:
      fpValorOriginal = info.AsFloat();
      break;
    case 708:
      fpSaque = info.AsFloat();
      break;
    case 709:
      fpDesconto = info.AsFloat();
      break;
    default:
      return false;
  }
  return true;
}

// The receipt: its date and time, the special texts, the old single image
// (028/029) and the per-copy images (710/711 the customer's, 712/713 an older
// form of it read only without 710, 714/715 the shop's).
void TRuVirIdUzaRespTXT::LerComprovante(int id, const TRuVirIdUzaInformacao& info,
                                        TLeitura& leitura) {
  const std::string& v = info.AsString();
  switch (id) {
    case 22:
      fpDataHoraTransacaoComprovante =
          JuntarDataHora(info.AsDate(), fpDataHoraTransacaoComprovante);
      break;
    case 23:
      fpDataHoraTransacaoComprovante =
          JuntarDataHora(fpDataHoraTransacaoComprovante, info.AsTime());
      break;
    case 30:
      fpTextoEspecialOperador = v;
      break;
    case 31:
      fpTextoEspecialCliente = v;
      break;
    case 32:
      fpAutenticacao = v;
      break;
    case 710:
      leitura.viu710 = true;
      [[fallthrough]];
    case 28:
      fpImagemComprovante1aVia.clear();
      fpQtdLinhasComprovante = info.AsInteger();
      break;
    case 29:
    case 711:
      fpImagemComprovante1aVia.push_back(SemAspas(v));
      break;
    case 712:
      if (!leitura.viu710) {
        fpImagemComprovante1aVia.clear();
        fpQtdLinhasComprovante = info.AsInteger();
      }
      break;
    case 713:
      if (!leitura.viu710) fpImagemComprovante1aVia.push_back(SemAspas(v));
      break;
    case 714:
      fpImagemComprovante2aVia.clear();
      break;
    case 715:
      fpImagemComprovante2aVia.push_back(SemAspas(v));
      break;
    default:
      break;
  }
}

// One installment per sequence of 019 (due date), 020 (value) and 021 (NSU).
void TRuVirIdUzaRespTXT::LerParcelas(bool temParcelas) {
  fpParcelas.Clear();
  if (!temParcelas) return;
  for (int s = 1; s <= fpQtdParcelas && s <= kMaxSequencia; ++s) {
    TRuVirIdUzaRespParcela p;
    p.SetVencimento(fpConteudo.LeInformacao(19, s).AsDate());
    p.SetValor(fpConteudo.LeInformacao(20, s).AsFloat());
    p.SetNSUParcela(fpConteudo.LeInformacao(21, s).AsString());
    fpParcelas.Add(p);
  }
}

// Debit, credit and the kind of operation follow from the transaction type.
void TRuVirIdUzaRespTXT::ClassificarTipoTransacao() {
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
