// Confirmation and undo of CliSiTef functions.
#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_resp_clisitef.h"

namespace tef {

std::unique_ptr<TRuVirIdUzaResp> TRuVirIdUzaCliSiTef::CriarResposta() const {
  auto r = std::make_unique<TRuVirIdUzaRespCliSiTef>();
  r->SetTipoGP(gpCliSiTef);
  return r;
}

void TRuVirIdUzaCliSiTef::FinalizarTransacao(bool Confirma, const std::string& DocumentoVinculado) {
  TRuVirIdUza& c = Owner();
  FRespostas.clear();
  fIniciouRequisicao = false;
  FResultadoFinalizacao.reset();
  FUltimaFinalizacao.reset();
  if (fReimpressao) return;  // a reprint leaves nothing to finish

  ExigirDLL();
  // The library knows the transaction by the date and time its function was
  // started with (kept in the response); "now" only when the response lacks
  // them, as a backup file of an older version does.
  const platform::TDateTime agora = Env().Now();
  std::string data = TrimTef(
      Resp().LeInformacao(clisitef::kCampoControle, clisitef::kControleDataInicio).AsString());
  std::string hora = TrimTef(
      Resp().LeInformacao(clisitef::kCampoControle, clisitef::kControleHoraInicio).AsString());
  if (data.empty() || hora.empty()) {
    data = platform::FormatDateTime("yyyymmdd", agora);
    hora = platform::FormatDateTime("hhnnss", agora);
  }
  const std::string doc = platform::Utf8ToAnsi(DocumentoVinculado).bytes();
  const char* const msgDevolucao = "Transação efetuada com sucesso.\r\nFavor reter o Cupom";

  if (FModoServico) {
    const std::string parametros;
    GravaLog(std::string(
                 Confirma ? "*** FinalizaFuncaoSiTefInterativo -> Confirmação: SIM Documento: "
                          : "*** FinalizaFuncaoSiTefInterativo -> Cancelamento: NÃO Documento: ") +
             DocumentoVinculado + " Data: " + data + " Hora: " + hora + " ParamAdc: " + parametros);
    FResultadoFinalizacao = Entrada(FFuncoes.FinalizaFuncaoSiTefInterativo)(
        Confirma ? 1 : 0, doc.c_str(), data.c_str(), hora.c_str(), parametros.c_str());
    FUltimaFinalizacao = Confirma;
    if (fDevolucao) c.DoExibeMsg(opmOK, msgDevolucao);
  } else {
    if (Resp().MsgImpressao() && !c.TransacaoConfirmada()) {
      int resultado = -1;
      if (c.OnComandaImpressao) c.OnComandaImpressao(resultado, Resp(), fDevolucao);
      // A failed receipt print turns a confirmation into an undo; it never
      // turns an undo the caller asked for into a confirmation.
      if (!c.ModoServico()) Confirma = Confirma && resultado != 0;
    }
    GravaLog(
        std::string(Confirma
                        ? "*** FinalizaTransacaoSiTefInterativo -> Confirmação: SIM Documento: "
                        : "*** FinalizaTransacaoSiTefInterativo -> Cancelamento: NÃO Documento: ") +
        DocumentoVinculado + " Data: " + data + " Hora: " + hora);
    FResultadoFinalizacao = Entrada(FFuncoes.FinalizaTransacaoSiTefInterativo)(
        Confirma ? 1 : 0, doc.c_str(), data.c_str(), hora.c_str());
    FUltimaFinalizacao = Confirma;
    if (fDevolucao) c.DoExibeMsg(opmOK, msgDevolucao);
  }

  if (!Confirma) {
    c.DoExibeMsg(opmOK, "Transação \"TEF\" não efetuada.");
    GravaLog(DocumentoVinculado);
  }
}

int TRuVirIdUzaCliSiTef::FinalizarFuncao(bool Confirma, const std::string& Documento,
                                         const std::string& Data, const std::string& Hora) {
  ExigirDLL();
  GravaLog(std::string(Confirma
                           ? "*** FinalizaFuncaoSiTefInterativo -> Confirmação: SIM Documento: "
                           : "*** FinalizaFuncaoSiTefInterativo -> Cancelamento: NÃO Documento: ") +
           Documento + " Data: " + Data + " Hora: " + Hora + " ParamAdc: ");
  const std::string doc = platform::Utf8ToAnsi(Documento).bytes();
  const int resultado = Entrada(FFuncoes.FinalizaFuncaoSiTefInterativo)(
      Confirma ? 1 : 0, doc.c_str(), Data.c_str(), Hora.c_str(), "");
  GravaLog("*** FinalizaFuncaoSiTefInterativo -> Resultado: " + std::to_string(resultado));
  return resultado;
}

void TRuVirIdUzaCliSiTef::CNF(const std::string& /*Rede*/, const std::string& /*NSU*/,
                              const std::string& /*Finalizacao*/,
                              const std::string& DocumentoVinculado) {
  if (FModoServico) FinalizarTransacao(true, DocumentoVinculado);
}

void TRuVirIdUzaCliSiTef::NCN(const std::string& /*Rede*/, const std::string& /*NSU*/,
                              const std::string& /*Finalizacao*/, TCurrency /*Valor*/,
                              const std::string& DocumentoVinculado) {
  FinalizarTransacao(false, DocumentoVinculado);
}

bool TRuVirIdUzaCliSiTef::CNC() {
  const TRuVirIdUzaResp& r = Resp();
  const std::string rede = r.Rede();
  const std::string nsu = r.NSU();
  const platform::TDateTime data = r.DataHoraTransacaoComprovante();
  const TCurrency valor = r.ValorTotal();
  return CNC(rede, nsu, data, valor);
}

}  // namespace tef
