// File exchange of a standard manager that talks to an outside TEF program
// through request, status and response files: the request is written to a
// temporary file, renamed into place, acknowledged by a status file and
// answered by a response file. The manager base class drives it through
// TRuVirIdUzaTroca and provides what it needs through TRuVirIdUzaTrocaHost.
// The helper owns nothing but its own flag; request and response records
// belong to the host. Runs on the component's thread; the waits sleep there.
#pragma once

#include <string>

#include "platform/env.h"
#include "tef/ruviriduza_req.h"
#include "tef/ruviriduza_resp.h"
#include "tef/ruviriduza_types.h"

namespace tef {

class TRuVirIdUzaRespostasPendentes;

// What the exchange needs from its manager.
class TRuVirIdUzaTrocaHost {
 public:
  virtual ~TRuVirIdUzaTrocaHost() = default;

  virtual std::string Nome() const = 0;  // manager name, in logs and messages
  virtual TRuVirIdUzaTipo Tipo() const = 0;
  virtual TRuVirIdUzaReq& Req() = 0;
  virtual TRuVirIdUzaResp& Resp() = 0;
  virtual std::string ArqTmp() const = 0;
  virtual std::string ArqReq() const = 0;
  virtual std::string ArqResp() const = 0;
  virtual std::string ArqSTS() const = 0;
  virtual int EsperaSTS() const = 0;    // seconds to wait for the status file
  virtual int EsperaSleep() const = 0;  // milliseconds between checks
  virtual platform::TEnv& Env() { return platform::DefaultEnv(); }  // clock, sleeps, files
  virtual int IDSeq() const = 0;
  virtual void SetIDSeq(int v) = 0;
  virtual bool AguardandoResposta() const = 0;
  virtual void SetAguardandoResposta(bool v) = 0;

  virtual void GravaLog(const std::string& texto) = 0;
  virtual void VerificaInicializado() = 0;
  virtual void VerificaAtivo() = 0;
  virtual bool MultiplosCartoes() const { return false; }
  virtual void ConfirmarTransacoesAnteriores() {}
  virtual void SetEstadoReq(TRuVirIdUzaReqEstado) {}
  virtual void SetEstadoResp(TRuVirIdUzaRespEstado) {}
  // OnAntesFinalizarRequisicao, when assigned.
  virtual void AntesFinalizarRequisicao(TRuVirIdUzaReq&) {}
  // OnAguardaResp, when assigned.
  virtual void AguardaResp(const std::string& /*arquivo*/, int /*segundos*/,
                           bool& /*interromper*/) {}
  virtual void LiberarTeclado() {}
  // Identification written into requests.
  virtual std::string NomeAplicacao() const { return {}; }
  virtual std::string VersaoAplicacao() const { return {}; }
  virtual std::string RazaoSocial() const { return {}; }
  // OnComandaECFSubtotaliza assigned and AutoEfetuarPagamento off.
  virtual bool SubtotalizaPeloECF() const { return false; }
};

class TRuVirIdUzaTroca {
 public:
  explicit TRuVirIdUzaTroca(TRuVirIdUzaTrocaHost& host) : FHost(host) {}

  // Starts a request: refuses while another waits ("Requisição anterior não
  // concluida"), needs an initialized manager, confirms earlier payments for
  // CRT/CHQ with several cards, checks the program is active for every
  // header but ATV, clears both records, deletes the four exchange files,
  // numbers the request (AID when above 0, else the next number) and saves
  // the temporary file.
  void IniciarRequisicao(const std::string& AHeader, int AID = 0);
  // 701-000, 716-000 and 706-000 from the host's identification.
  void GravarIdentificacao();
  // Closes the request (999-999), renames it into place and waits up to
  // EsperaSTS seconds for the status file, which is loaded into the
  // response. No status: ERuVirIdUzaGPNaoResponde; an invalid one:
  // ERuVirIdUzaSTSInvalido.
  void FinalizarRequisicao();
  // A response file answers the request when header and number match and
  // its trailer is present; other record kinds are taken as they are.
  bool RespostaValida();
  // Waits without time limit for a valid response file (invalid ones are
  // logged and deleted), or until the host interrupts (the response then
  // stays empty). Deletes the request file at the end.
  void LerRespostaRequisicao();
  // Ends the exchange; deletes the response file when asked.
  void FinalizarResposta(bool ApagarArquivo);
  // Start-up cleanup: deletes leftover temporary, request and status files,
  // and the response file unless its 009-000 reads "FF".
  void LimparArquivosAoInicializar();

  bool RequisicaoIniciada() const { return FRequisicaoIniciada; }
  // Fails with ERuVirIdUzaErro when no request was started.
  void VerificaRequisicaoIniciada() const;

 private:
  // Sleeps and polls until the file exists, the host interrupts or (when
  // limite_s >= 0) the time is up. True when the file is there.
  bool Esperar(const std::string& arquivo, int limite_s);

  TRuVirIdUzaTrocaHost& FHost;
  bool FRequisicaoIniciada = false;
};

// Deletes a file; one that is still there afterwards fails with
// ERuVirIdUzaArquivo "Erro ao apagar o arquivo:\r\n<name>". An empty name
// or a missing file is fine.
void ApagarArquivoTef(const std::string& nome, platform::TEnv& env = platform::DefaultEnv());

// For each pending response of tipo not yet confirmed whose header is CRT or
// CHQ: cnf(resp), mark it confirmed, rewrite its backup file (flushed) when
// it has one, delete its pending-response file.
template <typename Cnf>
void ConfirmarRespostasAnteriores(TRuVirIdUzaRespostasPendentes& pendentes, TRuVirIdUzaTipo tipo,
                                  Cnf&& cnf, platform::TEnv& env = platform::DefaultEnv());

// The notice after an undo: "Última Transação TEF foi cancelada", and when
// the network or NSU is known the lines "Rede: ", "NSU: " and "Valor: "
// (value as 0.00).
std::string MensagemNCN(const std::string& Rede, const std::string& NSU, TCurrency Valor);

}  // namespace tef

#include "tef/ruviriduza_respostaspendentes.h"

namespace tef {

template <typename Cnf>
void ConfirmarRespostasAnteriores(TRuVirIdUzaRespostasPendentes& pendentes, TRuVirIdUzaTipo tipo,
                                  Cnf&& cnf, platform::TEnv& env) {
  for (int k = 0; k < pendentes.Count(); ++k) {
    TRuVirIdUzaResp& r = pendentes[k];
    if (r.TipoGP() != tipo || r.CNFEnviado()) continue;
    if (r.Header() != "CRT" && r.Header() != "CHQ") continue;
    cnf(r);
    r.SetCNFEnviado(true);
    if (!r.ArqBackup().empty()) r.Conteudo().GravarArquivo(r.ArqBackup(), true, env);
    ApagarArquivoTef(r.ArqRespPendente(), env);
  }
}

}  // namespace tef
