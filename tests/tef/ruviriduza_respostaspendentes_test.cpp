#include "tef/ruviriduza_respostaspendentes.h"

#include <gtest/gtest.h>

#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza_resp_clisitef.h"

namespace tef {
namespace {

// A library response for valor (cents) with saque and desconto (cents).
std::unique_ptr<TRuVirIdUzaResp> Resposta(int valor, int saque, int desconto, int ordem = 0) {
  auto r = std::make_unique<TRuVirIdUzaRespCliSiTef>();
  r->Conteudo().GravaInformacao(clisitef::kCampoControle, clisitef::kControleValorCentavos,
                                std::to_string(valor));
  if (saque) r->GravaInformacao(clisitef::kCampoSaque, platform::Utf8ToAnsi(std::to_string(saque)));
  if (desconto)
    r->GravaInformacao(clisitef::kCampoDesconto, platform::Utf8ToAnsi(std::to_string(desconto)));
  if (ordem) r->SetOrdemPagamento(ordem);
  r->ConteudoToProperty();
  return r;
}

TEST(RespostasPendentesTest, TotalsOverItems) {
  TRuVirIdUzaRespostasPendentes l;
  EXPECT_TRUE(l.TotalPago().IsZero());
  l.SetValorTotalAPagar(TCurrency::FromCents(10000));
  EXPECT_EQ(l.SaldoRestante(), TCurrency::FromCents(10000));
  l.SetValorDinheiro(TCurrency::FromCents(1000));
  // 30.00 paid with 5.00 cash withdrawal: ValorTotal 35.00, counts 30.00.
  EXPECT_EQ(l.Add(Resposta(3000, 500, 0)), 0);
  // 20.00 with 2.00 discount: ValorTotal 18.00, counts 20.00 towards the sale.
  EXPECT_EQ(l.Add(Resposta(2000, 0, 200)), 1);
  // Already registered on the printer: not in the balance.
  l.Add(Resposta(1500, 0, 0, 1));
  EXPECT_EQ(l.TotalPago(), TCurrency::FromCents(3000 + 1800 + 1500));
  EXPECT_EQ(l.TotalDesconto(), TCurrency::FromCents(-200));
  EXPECT_EQ(l.SaldoRestante(), TCurrency::FromCents(10000 - 1000 - 3000 - 2000));
}

TEST(RespostasPendentesTest, TotalsRoundToCents) {
  TRuVirIdUzaRespostasPendentes l;
  auto r = std::make_unique<TRuVirIdUzaResp>();
  l.Add(std::move(r));
  l.SetValorTotalAPagar(TCurrency::FromUnits(100050));  // 10.005
  EXPECT_EQ(l.SaldoRestante().Units(), 100100);
  l.SetValorTotalAPagar(TCurrency::FromUnits(-100050));
  EXPECT_EQ(l.SaldoRestante().Units(), -100100);
}

TEST(RespostasPendentesTest, OwningListOperations) {
  TRuVirIdUzaRespostasPendentes l;
  l.Add(Resposta(100, 0, 0));
  l.Insert(0, Resposta(200, 0, 0));
  l.Insert(2, Resposta(300, 0, 0));
  ASSERT_EQ(l.Count(), 3);
  EXPECT_EQ(l[0].ValorTotal(), TCurrency::FromCents(200));
  EXPECT_EQ(l[2].ValorTotal(), TCurrency::FromCents(300));
  l.Delete(1);
  EXPECT_EQ(l[1].ValorTotal(), TCurrency::FromCents(300));
  EXPECT_THROW(l[2], std::out_of_range);
  EXPECT_THROW(l.Insert(5, Resposta(1, 0, 0)), std::out_of_range);
  EXPECT_THROW(l.Add(nullptr), std::invalid_argument);
  l.Clear();
  EXPECT_TRUE(l.Empty());
}

}  // namespace
}  // namespace tef
