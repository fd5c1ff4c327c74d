// Response record of the file-exchange format (the three-digit field codes of
// a response file); the backup files of pending responses are read with it
// too. Same ownership and threading as TRuVirIdUzaResp.
#pragma once

#include "tef/ruviriduza_resp.h"

namespace tef {

class TRuVirIdUzaRespTXT : public TRuVirIdUzaResp {
 public:
  // Approved when the trimmed status reads as the integer 0, or is "P1"
  // (letter case ignored).
  bool TransacaoAprovada() const override;
  void ConteudoToProperty() override;
  bool TrailerOk() const { return !fpTrailer.empty(); }

 private:
  // What one pass over the lines remembers for after it.
  struct TLeitura {
    bool temParcelas = false;  // an installment line (019) was seen
    bool viu710 = false;       // the per-copy customer receipt is present
  };
  // Each takes the lines of its own group of codes; false for any other code.
  bool LerTransacao(int id, const TRuVirIdUzaInformacao& info);
  bool LerCheque(int id, const TRuVirIdUzaInformacao& info);
  bool LerValores(int id, const TRuVirIdUzaInformacao& info, TLeitura& leitura);
  void LerComprovante(int id, const TRuVirIdUzaInformacao& info, TLeitura& leitura);
  void LerParcelas(bool temParcelas);
  void ClassificarTipoTransacao();
};

}  // namespace tef
