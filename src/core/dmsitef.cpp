#include "core/dmsitef.h"

#include "core/paymentjournal.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "service/servicelog.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_resp.h"

namespace core {

TDmSitef::TDmSitef(TDmSitefHost& host, TDmSitefOptions options, platform::TEnv& env)
    : FHost(host), FOptions(std::move(options)), FEnv(env) {
  fPathDLL = FOptions.PathDLL.empty() ? platform::ExeDir() + "dll/" : FOptions.PathDLL;
  FRuVirIdUza = std::make_unique<tef::TRuVirIdUza>(FEnv);
  // The integrator's identification, written into the requests the
  // component exchanges.
  tef::TRuVirIdUzaIdentificacao& id = FRuVirIdUza->Identificacao();
  id.SetNomeAplicacao("Zentavo TEF Server");
  id.SetVersaoAplicacao("1.0.12");
  id.SetSoftwareHouse("Zentavo Sistemas");
  id.SetRazaoSocial("Zentavo Sistemas Ltda.");
  BindComponentEvents();
  FTefLogFileName = service::TefLogPath(platform::ExeDir(), FEnv.Now());
  FRuVirIdUza->SetArqLOG(FTefLogFileName);
}

TDmSitef::~TDmSitef() = default;

void TDmSitef::BindComponentEvents() {
  tef::TRuVirIdUza& c = *FRuVirIdUza;
  c.OnExibeMsg = [this](tef::TRuVirIdUzaOperacaoMensagem op, const std::string& msg,
                        tef::TModalResult& r) { RuVirIdUzaExibeMsg(op, msg, r); };
  c.OnExibeMenu = [this](const std::string& t, const tef::TStringList& o, int& item, bool& back) {
    RuVirIdUzaExibeMenu(t, o, item, back);
  };
  c.OnObtemCampo = [this](const std::string& t, int mn, int mx, int tipo,
                          tef::TRuVirIdUzaCliSiTefOperacaoCampo op, std::string& resp, bool& dig,
                          bool& back) {
    RuVirIdUzaObtemCampo(t, mn, mx, tipo, op, resp, dig, back);
  };
  c.OnExibeQRCode = [this](const std::string& qr) { RuVirIdUzaExibeQRCode(qr); };
  c.OnAguardaResp = [this](const std::string& arq, int secs, bool& stop) {
    RuVirIdUzaAguardaResp(arq, secs, stop);
  };
  c.OnMudaEstadoResp = [this](tef::TRuVirIdUzaRespEstado e) { RuVirIdUzaMudaEstadoResp(e); };
  c.OnMudaEstadoReq = [this](tef::TRuVirIdUzaReqEstado e) { RuVirIdUzaMudaEstadoReq(e); };
  // The cheque reader is not offered: the component goes on with its answer.
  c.OnObtemCheque = [](const std::string&, int, tef::TRuVirIdUzaCliSiTefOperacaoCampo, std::string&,
                       bool& digitado, bool&) { digitado = true; };
  c.OnObterSenha = [](const std::string&, bool& back) { back = false; };
  c.OnRestauraFocoAplicacao = [](bool& tratado) { tratado = false; };
  // The busy flag stays with the transaction that claimed it until it ends.
  c.OnAntesCancelarTransacao = [](tef::TRuVirIdUzaResp&) {};
  c.OnInfoECF = [this](tef::TRuVirIdUzaInfoECF op, std::string& ret) {
    RuVirIdUzaInfoECF(op, ret);
  };
  // No fiscal printer is driven: every printer command reports success.
  c.OnComandaECF = [](tef::TRuVirIdUzaOperacaoECF, tef::TRuVirIdUzaResp&, int& ret) { ret = 1; };
  c.OnComandaECFAbreVinculado = [](const std::string&, const std::string&, tef::TCurrency,
                                   int& ret) { ret = 1; };
  c.OnComandaECFPagamento = [](const std::string&, tef::TCurrency, int& ret) { ret = 1; };
  c.OnComandaImpressao = [](int& ret, tef::TRuVirIdUzaResp&, bool) { ret = 1; };
  c.OnComandaECFImprimeVia = [this](tef::TRuVirIdUzaTipoRelatorio tipo, int via,
                                    const tef::TStringList& linhas, int& ret) {
    RuVirIdUzaComandaECFImprimeVia(tipo, via, linhas, ret);
  };
  c.OnDepoisConfirmarTransacoes = [this](tef::TRuVirIdUzaRespostasPendentes& l) {
    RuVirIdUzaDepoisConfirmarTransacoes(l);
  };
  c.OnDepoisCancelarTransacoes = [this](tef::TRuVirIdUzaRespostasPendentes& l) {
    RuVirIdUzaDepoisCancelarTransacoes(l);
  };
  // The payment journal records a payment's start before the library sees it.
  c.TEFCliSiTef().OnAntesIniciarFuncao = [this](int, const std::string& doc,
                                                const std::string& data, const std::string& hora) {
    JournalFunctionStart(doc, data, hora);
  };
}

void TDmSitef::SendClientMessage(const std::string& pMsg) { FHost.SendClientMessage(pMsg); }

void TDmSitef::DecodeWebSocketFrame(std::string& DecodedMessage) {
  DecodedMessage.clear();
  DecodedMessage = FHost.DecodeWebSocketFrame();
}

void TDmSitef::ConnectionClosed() {
  // Connections end on their own threads: the component is only touched
  // when nothing else uses it (a running payment keeps what it has).
  TTEFClaim claim(FTEFClaim, TTEFClaim::usoConfiguracao);
  if (!claim.Owns()) return;
  try {
    FRuVirIdUza->CancelarTransacoesPendentes();
  } catch (...) {
    // A connection that ends must not take its thread down with it.
  }
}

}  // namespace core
