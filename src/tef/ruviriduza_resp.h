// Response record of a TEF function: the raw fields the library (or a
// response file) returned, kept in Conteudo, and the named properties a
// mapping derives from them. The record owns its content, installments and
// receipt copies; a copy made by Assign carries only the content and derives
// the rest again. Not thread-safe: used on the component's thread.
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"
#include "tef/currency.h"
#include "tef/ruviriduza_arquivo.h"
#include "tef/ruviriduza_informacao.h"
#include "tef/ruviriduza_types.h"

namespace tef {

enum TRuVirIdUzaRespTipoOperacao { opOutras = 0, opAvista = 1, opParcelado = 2, opPreDatado = 3 };
enum TRuVirIdUzaRespParceladoPor { parcNenhum = 0, parcADM = 1, parcLoja = 2 };

// One installment of a payment; all zero or empty when created.
class TRuVirIdUzaRespParcela {
 public:
  const platform::TDateTime& Vencimento() const { return fsVencimentoParcela; }
  void SetVencimento(const platform::TDateTime& v) { fsVencimentoParcela = v; }
  TCurrency Valor() const { return fsValorParcela; }
  void SetValor(TCurrency v) { fsValorParcela = v; }
  const std::string& NSUParcela() const { return fsNSUParcela; }
  void SetNSUParcela(std::string v) { fsNSUParcela = std::move(v); }

 private:
  platform::TDateTime fsVencimentoParcela;
  TCurrency fsValorParcela;
  std::string fsNSUParcela;
};

// The installments of a response, owned by it.
class TRuVirIdUzaRespParcelas {
 public:
  int Count() const { return static_cast<int>(FItens.size()); }
  int Add(const TRuVirIdUzaRespParcela& p) {
    FItens.push_back(p);
    return Count() - 1;
  }
  void Insert(int index, const TRuVirIdUzaRespParcela& p);  // 0 <= index <= Count()
  TRuVirIdUzaRespParcela& operator[](int index);            // std::out_of_range outside
  const TRuVirIdUzaRespParcela& operator[](int index) const;
  void Clear() { FItens.clear(); }

 private:
  std::vector<TRuVirIdUzaRespParcela> FItens;
};

class TRuVirIdUzaResp {
 public:
  TRuVirIdUzaResp();
  virtual ~TRuVirIdUzaResp() = default;
  TRuVirIdUzaResp(const TRuVirIdUzaResp&) = delete;
  TRuVirIdUzaResp& operator=(const TRuVirIdUzaResp&) = delete;

  // Whether the function was approved; the base record always answers true.
  virtual bool TransacaoAprovada() const { return true; }
  // Derives the properties from the content; the base record does nothing.
  virtual void ConteudoToProperty() {}

  // Empties the content, installments, receipts and the request-related
  // properties; the card, institution and payment-method properties, the
  // due date, Pendente and TipoGP keep their values until a mapping sets
  // them again.
  void Clear();
  // Copies the content of Source, derives this record's properties from it
  // with its own mapping, then takes ArqBackup and TipoGP from Source.
  void Assign(const TRuVirIdUzaResp& Source);
  // Clear, load the content from the file, derive. A missing file fails with
  // ERuVirIdUzaArquivo.
  void LeArquivo(const std::string& NomeArquivo, platform::TEnv& env = platform::DefaultEnv());
  TRuVirIdUzaInformacao LeInformacao(int Identificacao, int Sequencia = 0) const {
    return fpConteudo.LeInformacao(Identificacao, Sequencia);
  }

  TRuVirIdUzaArquivo& Conteudo() { return fpConteudo; }
  const TRuVirIdUzaArquivo& Conteudo() const { return fpConteudo; }
  TRuVirIdUzaRespParcelas& Parcelas() { return fpParcelas; }
  const TRuVirIdUzaRespParcelas& Parcelas() const { return fpParcelas; }
  const TStringList& ImagemComprovante1aVia() const { return fpImagemComprovante1aVia; }
  const TStringList& ImagemComprovante2aVia() const { return fpImagemComprovante2aVia; }

  // Writable properties. The last three also write their content line
  // (899-001 "S"/"N", 899-002, 899-003).
  const std::string& ArqBackup() const { return fpArqBackup; }
  void SetArqBackup(const std::string& v) { fpArqBackup = TrimTef(v); }
  const std::string& ArqRespPendente() const { return fpArqRespPendente; }
  void SetArqRespPendente(const std::string& v) { fpArqRespPendente = v; }
  TRuVirIdUzaTipo TipoGP() const { return fpTipoGP; }
  void SetTipoGP(TRuVirIdUzaTipo v) { fpTipoGP = v; }
  bool Pendente() const { return fpPendente; }
  void SetPendente(bool v) { fpPendente = v; }
  bool CNFEnviado() const { return fpCNFEnviado; }
  void SetCNFEnviado(bool v);
  const std::string& IndiceFPG_ECF() const { return fpIndiceFPG_ECF; }
  void SetIndiceFPG_ECF(const std::string& v);
  int OrdemPagamento() const { return fpOrdemPagamento; }
  void SetOrdemPagamento(int v);

  // A receipt copy (field 121 or 122) was stored since the last Clear.
  bool MsgImpressao() const { return fMsgImpressao; }

  const std::string& Agencia() const { return fpAgencia; }
  const std::string& AgenciaDC() const { return fpAgenciaDC; }
  const std::string& Autenticacao() const { return fpAutenticacao; }
  const std::string& Banco() const { return fpBanco; }
  const std::string& Cheque() const { return fpCheque; }
  const std::string& ChequeDC() const { return fpChequeDC; }
  const std::string& CMC7() const { return fpCMC7; }
  const std::string& CodigoAutorizacaoTransacao() const { return fpCodigoAutorizacaoTransacao; }
  const std::string& Conta() const { return fpConta; }
  const std::string& CodigoHASH() const { return fpCodigoHASH; }
  const std::string& NumeroCartao() const { return fpNumeroCartao; }
  const std::string& Estabelecimento() const { return fpEstabelecimento; }
  const std::string& ContaDC() const { return fpContaDC; }
  const platform::TDateTime& DataCheque() const { return fpDataCheque; }
  const platform::TDateTime& DataHoraTransacaoCancelada() const {
    return fpDataHoraTransacaoCancelada;
  }
  const platform::TDateTime& DataHoraTransacaoComprovante() const {
    return fpDataHoraTransacaoComprovante;
  }
  const platform::TDateTime& DataHoraTransacaoHost() const { return fpDataHoraTransacaoHost; }
  const platform::TDateTime& DataHoraTransacaoLocal() const { return fpDataHoraTransacaoLocal; }
  const platform::TDateTime& DataPreDatado() const { return fpDataPreDatado; }
  const std::string& DocumentoPessoa() const { return fpDocumentoPessoa; }
  const std::string& Finalizacao() const { return fpFinalizacao; }
  const std::string& Header() const { return fpHeader; }
  int ID() const { return fpID; }
  int Moeda() const { return fpMoeda; }
  const std::string& NomeAdministradora() const { return fpNomeAdministradora; }
  const std::string& NSU() const { return fpNSU; }
  const std::string& NSUTransacaoCancelada() const { return fpNSUTransacaoCancelada; }
  int NumeroLoteTransacao() const { return fpNumeroLoteTransacao; }
  int QtdLinhasComprovante() const { return fpQtdLinhasComprovante; }
  int QtdParcelas() const { return fpQtdParcelas; }
  const std::string& Rede() const { return fpRede; }
  const std::string& StatusTransacao() const { return fpStatusTransacao; }
  const std::string& TextoEspecialCliente() const { return fpTextoEspecialCliente; }
  const std::string& TextoEspecialOperador() const { return fpTextoEspecialOperador; }
  char TipoPessoa() const { return fpTipoPessoa; }
  int TipoTransacao() const { return fpTipoTransacao; }
  const std::string& Trailer() const { return fpTrailer; }
  TCurrency ValorTotal() const { return fpValorTotal; }
  TCurrency ValorOriginal() const { return fpValorOriginal; }
  TCurrency Saque() const { return fpSaque; }
  TCurrency Desconto() const { return fpDesconto; }
  const std::string& DocumentoVinculado() const { return fpDocumentoVinculado; }
  int TipoParcelamento() const { return fpTipoParcelamento; }
  const platform::TDateTime& DataVencimento() const { return fpDataVencimento; }
  const std::string& Instituicao() const { return fpInstituicao; }
  const std::string& ModalidadePagto() const { return fpModalidadePagto; }
  const std::string& ModalidadePagtoDescrita() const { return fpModalidadePagtoDescrita; }
  const std::string& ModalidadeExtenso() const { return fpModalidadePagtoExtenso; }
  const std::string& CodigoRedeAutorizada() const { return fpCodigoRedeAutorizada; }
  bool Debito() const { return fpDebito; }
  bool Credito() const { return fpCredito; }
  TRuVirIdUzaRespParceladoPor ParceladoPor() const { return fpParceladoPor; }
  TCurrency ValorEntradaCDC() const { return fpValorEntradaCDC; }
  const platform::TDateTime& DataEntradaCDC() const { return fpDataEntradaCDC; }
  TRuVirIdUzaRespTipoOperacao TipoOperacao() const { return fpTipoOperacao; }
  const std::string& Bandeira() const { return fpBandeira; }
  const std::string& CodigoEstabelecimento() const { return fpCodigoEstabelecimento; }
  const std::string& NSUComprovante() const { return fpNSUComprovante; }

 protected:
  // Mappings fill these directly.
  std::string fpAgencia, fpAgenciaDC, fpAutenticacao, fpArqBackup, fpArqRespPendente, fpBanco,
      fpCheque, fpChequeDC, fpCMC7;
  bool fpCNFEnviado = false;
  std::string fpCodigoAutorizacaoTransacao, fpConta, fpCodigoHASH, fpNumeroCartao,
      fpEstabelecimento, fpContaDC;
  TRuVirIdUzaArquivo fpConteudo;
  platform::TDateTime fpDataCheque, fpDataHoraTransacaoCancelada, fpDataHoraTransacaoComprovante,
      fpDataHoraTransacaoHost, fpDataHoraTransacaoLocal, fpDataPreDatado;
  std::string fpDocumentoPessoa, fpFinalizacao, fpHeader;
  int fpID = 0;
  std::string fpIndiceFPG_ECF;
  int fpMoeda = 0;
  std::string fpNomeAdministradora, fpNSU, fpNSUTransacaoCancelada;
  int fpNumeroLoteTransacao = 0, fpOrdemPagamento = 0, fpQtdLinhasComprovante = 0,
      fpQtdParcelas = 0;
  std::string fpRede, fpStatusTransacao, fpTextoEspecialCliente, fpTextoEspecialOperador;
  TRuVirIdUzaTipo fpTipoGP = gpNenhum;
  char fpTipoPessoa = ' ';
  int fpTipoTransacao = 0;
  std::string fpTrailer;
  TCurrency fpValorTotal, fpValorOriginal, fpSaque, fpDesconto;
  std::string fpDocumentoVinculado;
  int fpTipoParcelamento = 0;
  TRuVirIdUzaRespParcelas fpParcelas;
  TStringList fpImagemComprovante1aVia, fpImagemComprovante2aVia;
  platform::TDateTime fpDataVencimento;
  std::string fpInstituicao, fpModalidadePagto, fpModalidadePagtoDescrita, fpModalidadePagtoExtenso,
      fpCodigoRedeAutorizada;
  bool fpDebito = false, fpCredito = false;
  TRuVirIdUzaRespParceladoPor fpParceladoPor = parcNenhum;
  TCurrency fpValorEntradaCDC;
  platform::TDateTime fpDataEntradaCDC;
  TRuVirIdUzaRespTipoOperacao fpTipoOperacao = opOutras;
  std::string fpBandeira, fpCodigoRede, fpCodigoBandeira, fCodigoBandeira, fCodigoRede,
      fpCodigoEstabelecimento, fpNSUComprovante;
  bool fpPendente = false;
  bool fMsgImpressao = false;

  // The three bookkeeping lines 899-001/002/003, read back by every mapping.
  void LerCamposDeControle(const TRuVirIdUzaLinha& linha);
  // QtdLinhasComprovante from the larger receipt copy.
  void AtualizarQtdLinhasComprovante();
};

// Splits text into lines at CR LF, LF or CR; a final line break adds no
// empty line (the receipt form).
TStringList DividirLinhas(std::string_view texto);

}  // namespace tef
