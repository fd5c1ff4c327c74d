#include "tef/ruviriduza_resp.h"

#include <algorithm>
#include <stdexcept>

#include "platform/text.h"
#include "tef/clisitef_protocol.h"

namespace tef {

void TRuVirIdUzaRespParcelas::Insert(int index, const TRuVirIdUzaRespParcela& p) {
  if (index < 0 || index > Count()) throw std::out_of_range("Índice de parcela inválido");
  FItens.insert(FItens.begin() + index, p);
}

TRuVirIdUzaRespParcela& TRuVirIdUzaRespParcelas::operator[](int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("Índice de parcela inválido");
  return FItens[static_cast<size_t>(index)];
}

const TRuVirIdUzaRespParcela& TRuVirIdUzaRespParcelas::operator[](int index) const {
  if (index < 0 || index >= Count()) throw std::out_of_range("Índice de parcela inválido");
  return FItens[static_cast<size_t>(index)];
}

TStringList DividirLinhas(std::string_view texto) { return platform::DividirLinhas(texto); }

TRuVirIdUzaResp::TRuVirIdUzaResp() { Clear(); }

void TRuVirIdUzaResp::Clear() {
  fpConteudo.Clear();
  fpParcelas.Clear();
  fpImagemComprovante1aVia.clear();
  fpImagemComprovante2aVia.clear();
  // The flag describes the content just emptied; a stale one would ask the
  // host to print a receipt the next function never produced.
  fMsgImpressao = false;
  for (std::string* s : {&fpHeader,
                         &fpAgencia,
                         &fpAgenciaDC,
                         &fpAutenticacao,
                         &fpBanco,
                         &fpCheque,
                         &fpChequeDC,
                         &fpCMC7,
                         &fpCodigoAutorizacaoTransacao,
                         &fpConta,
                         &fpContaDC,
                         &fpDocumentoPessoa,
                         &fpFinalizacao,
                         &fpNomeAdministradora,
                         &fpNSU,
                         &fpNSUTransacaoCancelada,
                         &fpRede,
                         &fpStatusTransacao,
                         &fpTextoEspecialCliente,
                         &fpTextoEspecialOperador,
                         &fpTrailer,
                         &fpDocumentoVinculado,
                         &fpIndiceFPG_ECF,
                         &fpArqBackup,
                         &fpArqRespPendente}) {
    s->clear();
  }
  fpID = fpMoeda = fpNumeroLoteTransacao = fpQtdLinhasComprovante = fpQtdParcelas = 0;
  fpTipoTransacao = fpTipoParcelamento = fpOrdemPagamento = 0;
  for (platform::TDateTime* d :
       {&fpDataCheque, &fpDataHoraTransacaoCancelada, &fpDataHoraTransacaoComprovante,
        &fpDataHoraTransacaoHost, &fpDataHoraTransacaoLocal, &fpDataPreDatado, &fpDataEntradaCDC}) {
    *d = platform::TDateTime();
  }
  fpValorTotal = fpValorOriginal = fpSaque = fpDesconto = fpValorEntradaCDC = TCurrency();
  fpTipoPessoa = ' ';
  fpParceladoPor = parcNenhum;
  fpTipoOperacao = opOutras;
  fpCredito = fpDebito = fpCNFEnviado = false;
}

void TRuVirIdUzaResp::Assign(const TRuVirIdUzaResp& Source) {
  if (&Source == this) return;
  fpConteudo.Clear();
  for (int k = 0; k < Source.fpConteudo.Count(); ++k) {
    const TRuVirIdUzaLinha l = Source.fpConteudo.GetLinha(k);
    fpConteudo.GravaInformacao(l.Chave(), l.Informacao().AsString());
  }
  ConteudoToProperty();
  fpArqBackup = Source.fpArqBackup;
  fpTipoGP = Source.fpTipoGP;
}

void TRuVirIdUzaResp::LeArquivo(const std::string& NomeArquivo, platform::TEnv& env) {
  Clear();
  fpConteudo.LeArquivo(NomeArquivo, env);
  ConteudoToProperty();
}

void TRuVirIdUzaResp::SetCNFEnviado(bool v) {
  fpCNFEnviado = v;
  fpConteudo.GravaInformacao(clisitef::kCampoControle, clisitef::kControleCNFEnviado,
                             v ? "S" : "N");
}

void TRuVirIdUzaResp::SetIndiceFPG_ECF(const std::string& v) {
  fpIndiceFPG_ECF = v;
  fpConteudo.GravaInformacao(clisitef::kCampoControle, clisitef::kControleIndiceFPG_ECF, v);
}

void TRuVirIdUzaResp::SetOrdemPagamento(int v) {
  fpOrdemPagamento = v;
  fpConteudo.GravaInformacao(clisitef::kCampoControle, clisitef::kControleOrdemPagamento,
                             std::to_string(v));
}

void TRuVirIdUzaResp::LerCamposDeControle(const TRuVirIdUzaLinha& linha) {
  switch (linha.Sequencia()) {
    case clisitef::kControleCNFEnviado:
      fpCNFEnviado = platform::IgualSemCaixa(linha.Informacao().AsString(), "S");
      break;
    case clisitef::kControleIndiceFPG_ECF:
      fpIndiceFPG_ECF = linha.Informacao().AsString();
      break;
    case clisitef::kControleOrdemPagamento:
      fpOrdemPagamento = linha.Informacao().AsInteger();
      break;
    default:
      break;
  }
}

void TRuVirIdUzaResp::AtualizarQtdLinhasComprovante() {
  fpQtdLinhasComprovante =
      static_cast<int>(std::max(fpImagemComprovante1aVia.size(), fpImagemComprovante2aVia.size()));
}

}  // namespace tef
