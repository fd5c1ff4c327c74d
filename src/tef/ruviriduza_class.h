// Base class of the standard TEF managers. One object per manager type, owned
// by the component (TRuVirIdUza), which it knows as its owner. It holds the
// current request and response records, the manager's own copy of the log
// file name, and the virtual operations each manager overrides. Not
// thread-safe: called on the component's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/env.h"
#include "tef/currency.h"
#include "tef/ruviriduza_types.h"

namespace tef {

class TRuVirIdUza;
class TRuVirIdUzaTroca;
class TRuVirIdUzaTrocaHost;

class TRuVirIdUzaClass {
 public:
  // Fails with "TRuVirIdUzaClass deve ser criado por TRuVirIdUza" when
  // AOwner is null. Sets the owner's request and response states to "none".
  explicit TRuVirIdUzaClass(TRuVirIdUza* AOwner);
  virtual ~TRuVirIdUzaClass();
  TRuVirIdUzaClass(const TRuVirIdUzaClass&) = delete;
  TRuVirIdUzaClass& operator=(const TRuVirIdUzaClass&) = delete;

  TRuVirIdUza& Owner() const { return *FOwner; }
  // The component name of the manager ("CliSiTef"), written into log lines
  // and backup file names.
  const std::string& Name() const { return FName; }

  const std::string& ArqLOG() const { return FArqLOG; }
  void SetArqLOG(const std::string& v) { FArqLOG = v; }
  bool Habilitado() const { return FHabilitado; }
  void SetHabilitado(bool v) { FHabilitado = v; }
  bool Inicializado() const { return fpInicializado; }
  // true runs Inicializar, false runs DesInicializar.
  void SetInicializado(bool v);
  TRuVirIdUzaTipo Tipo() const { return FTipo; }
  int NumVias() const { return FNumVias; }
  void SetNumVias(int v) { DefinirNumVias(v); }
  bool AutoAtivarGP() const { return fAutoAtivarGP; }
  void SetAutoAtivarGP(bool v) { fAutoAtivarGP = v; }
  int EsperaSTS() const { return fEsperaSTS; }
  void SetEsperaSTS(int v) { fEsperaSTS = v; }

  TRuVirIdUzaReq& Req() { return *FReq; }
  TRuVirIdUzaResp& Resp() { return *FResp; }
  bool AguardandoResposta() const { return FAguardandoResposta; }
  void SetAguardandoResposta(bool v) { FAguardandoResposta = v; }

  // File names of a file-exchange manager (empty for CliSiTef).
  const std::string& ArqReq() const { return fArqReq; }
  const std::string& ArqTmp() const { return fArqTmp; }
  const std::string& ArqResp() const { return fArqResp; }
  const std::string& ArqSTS() const { return fArqSTS; }
  const std::string& GPExeName() const { return fGPExeName; }
  void SetArquivos(const std::string& tmp, const std::string& req, const std::string& resp,
                   const std::string& sts, const std::string& exe);

  // Sequence number of requests; starts at the seconds since midnight.
  int IDSeq() const { return fpIDSeq; }
  void SetIDSeq(int v) { fpIDSeq = v; }
  bool SalvarArquivoBackup() const { return fpSalvarArquivoBackup; }

  // One entry in the component log (ArqLOG); never fails.
  void GravaLog(const std::string& texto) const;
  // Fails with ERuVirIdUzaGPNaoInicializado when not initialized.
  void VerificaInicializado() const;

  // Backup files of this manager: <PathBackup>/RuVirIdUza_<Name>_NNN.tef.
  std::string PrefixoArquivoBackup() const;
  std::string ProximoArquivoBackup() const;               // first free number from 001
  std::vector<std::string> ListarArquivosBackup() const;  // sorted full paths

  // Brings the printer to the free state "L": closes a bound receipt ("C")
  // or a management report ("G", "R"); an open sale ("N", "P", "V") is
  // cancelled, or closed with FinalizarCupom when finalizarCupom is set.
  // False when the printer is still not free.
  bool LiberarECF(bool finalizarCupom);
  // Waits until 5 s have passed since inicioMs (a monotonic time in ms,
  // see AgoraMs), sleeping dormirMs between checks, then removes both
  // messages.
  void EsperarMensagens(int64_t inicioMs, int dormirMs);
  int64_t AgoraMs() const;
  platform::TEnv& Env() const;

  // Virtual operations, in the order managers override them.
  virtual void DefinirNumVias(int v);
  virtual void IniciarRequisicao(const std::string& AHeader, int AID = 0);
  virtual void GravarIdentificacao();
  virtual void FinalizarRequisicao();
  virtual bool RespostaValida();
  virtual void LerRespostaRequisicao();
  virtual void FinalizarResposta(bool ApagarArquivo);
  // The end of a file request that is not a payment: identification, send,
  // read the answer, hand it over; true when it reports approval.
  bool ConcluirRequisicao();
  // Saves the current response as the next backup file; returns its name.
  virtual std::string CopiarResposta();
  // After a non-payment function: a response with receipt lines is printed
  // and handed to OnDepoisConfirmarTransacoes, then the pending list is
  // emptied.
  virtual void ProcessarResposta();
  // After a payment: a copy joins the pending list. In service mode the
  // host gets it through OnDepoisConfirmarTransacoes and decides; otherwise
  // it is backed up, registered on the printer and printed when the sale is
  // paid. Always true.
  virtual bool ProcessarRespostaPagamento(const std::string& IndiceECF, TCurrency Valor);
  virtual void VerificaRequisicaoIniciada();
  // Prints the receipts of Resp as a management report, then confirms
  // (printed) or undoes it; "Impressão de Relatório Falhou" when the
  // operator gave up.
  virtual void ImprimirRelatorio();
  // Confirms the responses left in backup files by an earlier run, hands
  // them to OnDepoisConfirmarTransacoes and deletes their files. A file that
  // cannot be read or confirmed stays for the next start.
  virtual void RecuperarTransacoesPendentes();
  // Refuses a payment value: not positive, above the balance plus the
  // maximum change, or beyond the card limit.
  virtual void ValidarValor(TCurrency Valor);
  virtual void Inicializar();
  virtual void DesInicializar();
  virtual int LerTrilha3(std::string& AResposta);
  virtual int LerCartaoSeguro();
  virtual void AtivarGP();
  virtual void VerificaAtivo();
  // Undoes every transaction of this manager still in a backup file.
  virtual void CancelarTransacoesPendentesClass();
  virtual void ConfirmarTransacoesAnteriores();
  virtual void ATV();
  virtual bool ADM();
  virtual bool CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
                   const std::string& NumeroCartao, const std::string& DataVencimento,
                   const std::string& CVV, const std::string& QtdParcela,
                   const std::string& DocumentoVinculado, int Moeda);
  virtual bool CHQ(TCurrency Valor, const std::string& IndiceFPG_ECF,
                   const std::string& DocumentoVinculado, const TRuVirIdUzaCheque& Cheque);
  // Without arguments: the data of the current response.
  virtual void NCN();
  virtual void NCN(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
                   TCurrency Valor, const std::string& DocumentoVinculado);
  virtual void CNF();
  virtual void CNF(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
                   const std::string& DocumentoVinculado);
  virtual bool CNC();
  virtual bool CNC(const std::string& Rede, const std::string& NSU,
                   const platform::TDateTime& DataHoraTransacao, TCurrency Valor);

 protected:
  void SetNome(const std::string& v) { FName = v; }
  void SetTipo(TRuVirIdUzaTipo v) { FTipo = v; }
  void SetInicializadoFlag(bool v) { fpInicializado = v; }
  void SetNumViasValue(int v) { FNumVias = v; }
  // A manager may keep a more specific response record.
  void SubstituirResp(std::unique_ptr<TRuVirIdUzaResp> r);
  // A new, empty response record of this manager's kind (copies for the
  // pending list).
  virtual std::unique_ptr<TRuVirIdUzaResp> CriarResposta() const;

 private:
  class TTrocaHost;
  // The file exchange, created on first use.
  TRuVirIdUzaTroca& Troca();

  TRuVirIdUza* FOwner;
  std::string FName;
  std::string FArqLOG;
  bool FHabilitado = false;
  bool fpInicializado = false;
  TRuVirIdUzaTipo FTipo = gpNenhum;
  int FNumVias = 2;
  std::unique_ptr<TRuVirIdUzaReq> FReq;
  std::unique_ptr<TRuVirIdUzaResp> FResp;
  bool FAguardandoResposta = false;
  bool fAutoAtivarGP = true;
  int fEsperaSTS = 7;
  std::string fArqReq, fArqTmp, fArqResp, fArqSTS, fGPExeName;
  int fpIDSeq = 0;
  bool fpSalvarArquivoBackup = true;
  // Backup files already recovered (name and content) that could not be
  // deleted: each is confirmed once, not again at every initialization.
  std::set<std::string> FBackupsRecuperados;
  std::unique_ptr<TRuVirIdUzaTrocaHost> FTrocaHost;
  std::unique_ptr<TRuVirIdUzaTroca> FTroca;
};

// Appends one entry "-- dd/mm hh:nn:ss:zzz - texto" + CR LF, in Windows-1252,
// to arquivo. Nothing happens for an empty name; failures are ignored.
// Writers of the whole process are serialised.
void GravarLogTEF(const std::string& arquivo, const std::string& texto,
                  platform::TEnv& env = platform::DefaultEnv());

}  // namespace tef
