// Pending TEF responses of the sale in progress: copies of approved
// responses waiting for confirmation or undo, with the sale totals computed
// from them. The list owns its records; clearing or destroying it frees
// them. Not thread-safe: used on the component's thread.
#pragma once

#include <memory>
#include <vector>

#include "tef/currency.h"
#include "tef/ruviriduza_resp.h"

namespace tef {

class TRuVirIdUzaRespostasPendentes {
 public:
  int Count() const { return static_cast<int>(FItens.size()); }
  bool Empty() const { return FItens.empty(); }
  // Takes ownership; returns the index of the new item. A null record fails
  // with std::invalid_argument.
  int Add(std::unique_ptr<TRuVirIdUzaResp> resp);
  void Insert(int index, std::unique_ptr<TRuVirIdUzaResp> resp);  // 0 <= index <= Count()
  // Removes and frees one item.
  void Delete(int index);
  void Clear() { FItens.clear(); }
  // Indexed access; std::out_of_range outside 0..Count()-1.
  TRuVirIdUzaResp& operator[](int index);
  const TRuVirIdUzaResp& operator[](int index) const;

  // Stored values, set by the component (SaldoAPagar) and the host.
  TCurrency SaldoAPagar() const { return FSaldoAPagar; }
  void SetSaldoAPagar(TCurrency v) { FSaldoAPagar = v; }
  TCurrency Acumulado() const { return FAcumulado; }
  void SetAcumulado(TCurrency v) { FAcumulado = v; }
  TCurrency ValorTotalAPagar() const { return fValorTotalAPagar; }
  void SetValorTotalAPagar(TCurrency v) { fValorTotalAPagar = v; }
  TCurrency ValorDinheiro() const { return fValorDinheiro; }
  void SetValorDinheiro(TCurrency v) { fValorDinheiro = v; }

  // Computed totals, each rounded to cents (half away from zero).
  // Sum of (ValorTotal - Saque) over all items.
  TCurrency TotalPago() const;
  // Minus the sum of Desconto over all items.
  TCurrency TotalDesconto() const;
  // ValorTotalAPagar - (ValorDinheiro + S), where S is the rounded sum of
  // (ValorTotal - Saque + Desconto) over the items not yet registered on the
  // printer (OrdemPagamento 0).
  TCurrency SaldoRestante() const;

 private:
  std::vector<std::unique_ptr<TRuVirIdUzaResp>> FItens;
  TCurrency FSaldoAPagar, FAcumulado, fValorTotalAPagar, fValorDinheiro;
};

}  // namespace tef
