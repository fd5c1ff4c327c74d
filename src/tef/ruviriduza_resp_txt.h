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
};

}  // namespace tef
