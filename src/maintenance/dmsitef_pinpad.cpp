// "/pinpad/status": whether a PIN pad answers, asked of the TEF library.
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "core/tefclaim.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"

namespace core {
namespace {

// The library's presence texts and what the front end is told for each.
struct TPinpadStatus {
  const char* Presenca;
  const char* Status;
  const char* Message;
};

constexpr TPinpadStatus kPinpadStatus[] = {
    {"Nenhum PINPAD conectado...", "disconnected", "Nenhum PinPad conectado"},
    {"PINPAD conectado com sucesso...", "connected", "PinPad conectado"},
    {"Erro na DLL ou arquivo .INI do PINPAD", "error",
     "Erro na dll ou arquivo de configuração do PinPad"},
};

}  // namespace

void TDmSitef::CheckPinpad(const std::string& pContent, const TSessionPtr& /*pSession*/) {
  if (!ReadRequest(pContent, "status", "Campo type diferente de pinpad.")) return;

  // A payment or another check runs: it owns the library, nothing is said.
  // The claim comes before the initialisation so that nothing can start in
  // between.
  TTEFClaim claim(TEFClaim(), TTEFClaim::usoPinPad);
  if (!claim.Owns()) return;
  try {
    tef::TRuVirIdUza& c = RuVirIdUza();
    if (!c.Inicializado(tef::gpCliSiTef)) c.Inicializar(tef::gpCliSiTef);
    const std::string presenca = c.TEFCliSiTef().VerificarPresencaPinPad();
    std::string status, text;
    for (const TPinpadStatus& s : kPinpadStatus) {
      if (presenca == s.Presenca) {
        status = s.Status;
        text = s.Message;
      }
    }
    SendClientMessage(frontend::PinpadStatus(status, text).Serialize());
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(std::string("Erro ao verificar pinpad: ") + e.what()));
  }
}

}  // namespace core
