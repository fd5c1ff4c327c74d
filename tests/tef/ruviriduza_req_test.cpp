#include "tef/ruviriduza_req.h"

#include <gtest/gtest.h>

namespace tef {
namespace {

TEST(ReqTest, SettersWriteTheirKeys) {
  TRuVirIdUzaReq r;
  platform::TDateTime d;
  d.Year = 2024;
  d.Month = 3;
  d.Day = 5;
  d.Hour = 14;
  d.Minute = 7;
  d.Second = 9;
  r.SetHeader("CRT");
  r.SetID(17);
  r.SetDocumentoVinculado("NF-00123");
  r.SetValorTotal(TCurrency::FromCents(1250));
  r.SetMoeda(0);
  r.SetCMC7("<1234<5678>");
  r.SetTipoPessoa('F');
  r.SetDocumentoPessoa("123.456.789-09");
  r.SetDataCheque(d);
  r.SetRede("REDE");
  r.SetNSU("NSU 000-77");
  r.SetDataHoraTransacaoComprovante(d);
  r.SetFinalizacao("FIN");
  r.SetBanco("001");
  r.SetAgencia("1234");
  r.SetAgenciaDC("5");
  r.SetConta("9876");
  r.SetContaDC("0");
  r.SetCheque("000123");
  r.SetChequeDC("7");
  const std::vector<std::string> want = {
      "000-000 = CRT",      "001-000 = 17",          "002-000 = 00123", "003-000 = 1250",
      "004-000 = 0",        "005-000 = <1234<5678>", "006-000 = F",     "007-000 = 123.456.789-09",
      "008-000 = 05032024", "010-000 = REDE",        "012-000 = 00077", "022-000 = 05032024",
      "023-000 = 140709",   "027-000 = FIN",         "033-000 = 001",   "034-000 = 1234",
      "035-000 = 5",        "036-000 = 9876",        "037-000 = 0",     "038-000 = 000123",
      "039-000 = 7"};
  EXPECT_EQ(r.Conteudo().Linhas(), want);
  EXPECT_EQ(r.DocumentoVinculado(), "00123");

  r.SetValorTotal(TCurrency());
  r.SetDataHoraTransacaoComprovante({});
  EXPECT_FALSE(r.Conteudo().Existe(3, 0));
  EXPECT_FALSE(r.Conteudo().Existe(22, 0));
  EXPECT_FALSE(r.Conteudo().Existe(23, 0));
  r.GravaInformacao(999, 999, "0");
  EXPECT_EQ(r.Conteudo().LeInformacao(999, 999).AsString(), "0");
  r.Clear();
  EXPECT_EQ(r.Conteudo().Count(), 0);
  EXPECT_EQ(r.Header(), "");
}

}  // namespace
}  // namespace tef
