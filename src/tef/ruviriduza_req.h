// Request record of a file-exchange manager: each property setter writes its
// field (sequence 000) into the owned content, which the manager saves as the
// request file. Not thread-safe: used on the component's thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "tef/currency.h"
#include "tef/ruviriduza_arquivo.h"
#include "tef/ruviriduza_informacao.h"

namespace tef {

class TRuVirIdUzaReq {
 public:
  // Empties the content and the stored properties.
  void Clear();
  void GravaInformacao(int Identificacao, int Sequencia, std::string_view Informacao) {
    fpConteudo.GravaInformacao(Identificacao, Sequencia, Informacao);
  }

  TRuVirIdUzaArquivo& Conteudo() { return fpConteudo; }
  const TRuVirIdUzaArquivo& Conteudo() const { return fpConteudo; }

  const std::string& Header() const { return fpHeader; }
  void SetHeader(const std::string& v);  // 000-000
  int ID() const { return fpID; }
  void SetID(int v);  // 001-000, decimal
  const std::string& DocumentoVinculado() const { return fpDocumentoVinculado; }
  void SetDocumentoVinculado(const std::string& v);  // 002-000, digits only
  TCurrency ValorTotal() const { return fpValorTotal; }
  void SetValorTotal(TCurrency v);  // 003-000, cents
  int Moeda() const { return fpMoeda; }
  void SetMoeda(int v);  // 004-000, decimal
  const std::string& CMC7() const { return fpCMC7; }
  void SetCMC7(const std::string& v);  // 005-000
  char TipoPessoa() const { return fpTipoPessoa; }
  void SetTipoPessoa(char v);  // 006-000
  const std::string& DocumentoPessoa() const { return fpDocumentoPessoa; }
  void SetDocumentoPessoa(const std::string& v);  // 007-000
  const platform::TDateTime& DataCheque() const { return fpDataCheque; }
  void SetDataCheque(const platform::TDateTime& v);  // 008-000, DDMMYYYY
  const std::string& Rede() const { return fpRede; }
  void SetRede(const std::string& v);  // 010-000
  const std::string& NSU() const { return fpNSU; }
  void SetNSU(const std::string& v);  // 012-000, digits only
  const platform::TDateTime& DataHoraTransacaoComprovante() const {
    return fpDataHoraTransacaoComprovante;
  }
  void SetDataHoraTransacaoComprovante(const platform::TDateTime& v);  // 022/023-000
  const std::string& Finalizacao() const { return fpFinalizacao; }
  void SetFinalizacao(const std::string& v);  // 027-000
  // Cheque fields 033-000 to 039-000.
  void SetBanco(const std::string& v) { Texto(33, fpBanco, v); }
  void SetAgencia(const std::string& v) { Texto(34, fpAgencia, v); }
  void SetAgenciaDC(const std::string& v) { Texto(35, fpAgenciaDC, v); }
  void SetConta(const std::string& v) { Texto(36, fpConta, v); }
  void SetContaDC(const std::string& v) { Texto(37, fpContaDC, v); }
  void SetCheque(const std::string& v) { Texto(38, fpCheque, v); }
  void SetChequeDC(const std::string& v) { Texto(39, fpChequeDC, v); }
  const std::string& Banco() const { return fpBanco; }
  const std::string& Agencia() const { return fpAgencia; }
  const std::string& AgenciaDC() const { return fpAgenciaDC; }
  const std::string& Conta() const { return fpConta; }
  const std::string& ContaDC() const { return fpContaDC; }
  const std::string& Cheque() const { return fpCheque; }
  const std::string& ChequeDC() const { return fpChequeDC; }

 private:
  void Texto(int id, std::string& campo, const std::string& v);

  TRuVirIdUzaArquivo fpConteudo;
  TRuVirIdUzaInformacao FInformacao;  // conversions of the typed setters
  std::string fpHeader, fpDocumentoVinculado, fpCMC7, fpDocumentoPessoa, fpRede, fpNSU,
      fpFinalizacao, fpBanco, fpAgencia, fpAgenciaDC, fpConta, fpContaDC, fpCheque, fpChequeDC;
  int fpID = 0, fpMoeda = 0;
  TCurrency fpValorTotal;
  char fpTipoPessoa = ' ';
  platform::TDateTime fpDataCheque, fpDataHoraTransacaoComprovante;
};

}  // namespace tef
