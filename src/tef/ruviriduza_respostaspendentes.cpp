#include "tef/ruviriduza_respostaspendentes.h"

#include <stdexcept>

namespace tef {
namespace {

TCurrency Centavos(TCurrency v) { return v.RoundedToCents(TArredondamento::MeioLongeDoZero); }

}  // namespace

int TRuVirIdUzaRespostasPendentes::Add(std::unique_ptr<TRuVirIdUzaResp> resp) {
  if (!resp) throw std::invalid_argument("Resposta pendente nula");
  FItens.push_back(std::move(resp));
  return Count() - 1;
}

void TRuVirIdUzaRespostasPendentes::Insert(int index, std::unique_ptr<TRuVirIdUzaResp> resp) {
  if (!resp) throw std::invalid_argument("Resposta pendente nula");
  if (index < 0 || index > Count()) throw std::out_of_range("Índice de resposta pendente inválido");
  FItens.insert(FItens.begin() + index, std::move(resp));
}

void TRuVirIdUzaRespostasPendentes::Delete(int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("Índice de resposta pendente inválido");
  FItens.erase(FItens.begin() + index);
}

TRuVirIdUzaResp& TRuVirIdUzaRespostasPendentes::operator[](int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("Índice de resposta pendente inválido");
  return *FItens[static_cast<size_t>(index)];
}

const TRuVirIdUzaResp& TRuVirIdUzaRespostasPendentes::operator[](int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("Índice de resposta pendente inválido");
  return *FItens[static_cast<size_t>(index)];
}

TCurrency TRuVirIdUzaRespostasPendentes::TotalPago() const {
  TCurrency soma;
  for (const auto& r : FItens) soma += r->ValorTotal() - r->Saque();
  return Centavos(soma);
}

TCurrency TRuVirIdUzaRespostasPendentes::TotalDesconto() const {
  TCurrency soma;
  for (const auto& r : FItens) soma += r->Desconto();
  return Centavos(-soma);
}

TCurrency TRuVirIdUzaRespostasPendentes::SaldoRestante() const {
  TCurrency soma;
  for (const auto& r : FItens) {
    if (r->OrdemPagamento() == 0) soma += r->ValorTotal() - r->Saque() + r->Desconto();
  }
  return Centavos(fValorTotalAPagar - (fValorDinheiro + Centavos(soma)));
}

}  // namespace tef
