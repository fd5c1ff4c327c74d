#include "tef/ruviriduza_req.h"

namespace tef {
namespace {

std::string SoDigitos(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c >= '0' && c <= '9') out += c;
  }
  return out;
}

}  // namespace

void TRuVirIdUzaReq::Clear() {
  fpConteudo.Clear();
  for (std::string* s : {&fpHeader, &fpDocumentoVinculado, &fpCMC7, &fpDocumentoPessoa, &fpRede,
                         &fpNSU, &fpFinalizacao, &fpBanco, &fpAgencia, &fpAgenciaDC, &fpConta,
                         &fpContaDC, &fpCheque, &fpChequeDC}) {
    s->clear();
  }
  fpID = fpMoeda = 0;
  fpValorTotal = TCurrency();
  fpTipoPessoa = ' ';
  fpDataCheque = fpDataHoraTransacaoComprovante = platform::TDateTime();
}

void TRuVirIdUzaReq::Texto(int id, std::string& campo, const std::string& v) {
  campo = v;
  fpConteudo.GravaInformacao(id, 0, v);
}

void TRuVirIdUzaReq::SetHeader(const std::string& v) { Texto(0, fpHeader, v); }

void TRuVirIdUzaReq::SetID(int v) {
  fpID = v;
  fpConteudo.GravaInformacao(1, 0, std::to_string(v));
}

void TRuVirIdUzaReq::SetDocumentoVinculado(const std::string& v) {
  Texto(2, fpDocumentoVinculado, SoDigitos(v));
}

void TRuVirIdUzaReq::SetValorTotal(TCurrency v) {
  fpValorTotal = v;
  FInformacao.SetAsFloat(v);
  fpConteudo.GravaInformacao(3, 0, FInformacao);
}

void TRuVirIdUzaReq::SetMoeda(int v) {
  fpMoeda = v;
  fpConteudo.GravaInformacao(4, 0, std::to_string(v));
}

void TRuVirIdUzaReq::SetCMC7(const std::string& v) { Texto(5, fpCMC7, v); }

void TRuVirIdUzaReq::SetTipoPessoa(char v) {
  fpTipoPessoa = v;
  fpConteudo.GravaInformacao(6, 0, std::string(1, v));
}

void TRuVirIdUzaReq::SetDocumentoPessoa(const std::string& v) { Texto(7, fpDocumentoPessoa, v); }

void TRuVirIdUzaReq::SetDataCheque(const platform::TDateTime& v) {
  fpDataCheque = v;
  FInformacao.SetAsDate(v);
  fpConteudo.GravaInformacao(8, 0, FInformacao);
}

void TRuVirIdUzaReq::SetRede(const std::string& v) { Texto(10, fpRede, v); }

void TRuVirIdUzaReq::SetNSU(const std::string& v) { Texto(12, fpNSU, SoDigitos(v)); }

void TRuVirIdUzaReq::SetDataHoraTransacaoComprovante(const platform::TDateTime& v) {
  fpDataHoraTransacaoComprovante = v;
  FInformacao.SetAsDate(v);
  fpConteudo.GravaInformacao(22, 0, FInformacao);
  FInformacao.SetAsTime(v);
  fpConteudo.GravaInformacao(23, 0, FInformacao);
}

void TRuVirIdUzaReq::SetFinalizacao(const std::string& v) { Texto(27, fpFinalizacao, v); }

}  // namespace tef
