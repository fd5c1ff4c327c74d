#include "tef/ruviriduza_types.h"

namespace tef {
namespace {

template <size_t N>
const char* NameOf(const char* const (&names)[N], int v) {
  return v >= 0 && static_cast<size_t>(v) < N ? names[v] : "";
}

}  // namespace

const char* EnumName(TRuVirIdUzaTipo v) {
  static const char* const n[] = {"gpNenhum",    "gpTefDial",   "gpTefDisc",   "gpHiperTef",
                                  "gpCliSiTef",  "gpTefGpu",    "gpVeSPague",  "gpBanese",
                                  "gpTefAuttar", "gpGoodCard",  "gpFoxWin",    "gpCliDTEF",
                                  "gpPetrocard", "gpCrediShop", "gpTicketCar", "gpConvCard"};
  return NameOf(n, v);
}

const char* EnumName(TRuVirIdUzaReqEstado v) {
  static const char* const n[] = {"reqNenhum",
                                  "reqIniciando",
                                  "reqCriandoArquivo",
                                  "reqAguardandoResposta",
                                  "reqConferindoResposta",
                                  "reqFinalizada"};
  return NameOf(n, v);
}

const char* EnumName(TRuVirIdUzaRespEstado v) {
  static const char* const n[] = {"respNenhum", "respAguardandoResposta", "respProcessando",
                                  "respConcluida"};
  return NameOf(n, v);
}

const char* EnumName(TRuVirIdUzaOperacaoMensagem v) {
  static const char* const n[] = {"opmOK",
                                  "opmYesNo",
                                  "opmYesNoCustom",
                                  "opmExibirMsgOperador",
                                  "opmRemoverMsgOperador",
                                  "opmExibirMsgCliente",
                                  "opmRemoverMsgCliente",
                                  "opmDestaqueVia",
                                  "opmExcept",
                                  "opmQRCode"};
  return NameOf(n, v);
}

const char* EnumName(TRuVirIdUzaOperacaoECF v) {
  static const char* const n[] = {"opeAbreGerencial",    "opeFechaGerencial",   "opePulaLinhas",
                                  "opeSubTotalizaCupom", "opeFechaCupom",       "opeFechaVinculado",
                                  "opeCancelaCupom",     "opeImprimePagamentos"};
  return NameOf(n, v);
}

const char* EnumName(TRuVirIdUzaInfoECF v) {
  static const char* const n[] = {"ineSubTotal", "ineEstadoECF", "ineTotalAPagar"};
  return NameOf(n, v);
}

const char* EnumName(TRuVirIdUzaTipoRelatorio v) {
  static const char* const n[] = {"trGerencial", "trVinculado"};
  return NameOf(n, v);
}

const char* EnumName(TRuVirIdUzaCliSiTefOperacaoCampo v) {
  static const char* const n[] = {"tcString", "tcCurrency", "tcCMC7", "tcBarCode", "tcSeguranca"};
  return NameOf(n, v);
}

}  // namespace tef
