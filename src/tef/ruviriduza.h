// The TEF component: the single entry point through which the service reaches
// the TEF library. It owns its standard managers (here only the CliSiTef
// manager), the list of pending responses and the application
// identification; it writes the TEF log and raises the events through which
// its host handles the operator dialogue, the fiscal printer (ECF) and the
// results. Not thread-safe: every operation and every event runs on the
// calling thread, and the host calls it from one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"
#include "tef/currency.h"
#include "tef/ruviriduza_types.h"

namespace tef {

class TRuVirIdUzaClass;
class TRuVirIdUzaCliSiTef;

// Identification of the application written into TEF requests. Setters store
// the trimmed value.
class TRuVirIdUzaIdentificacao {
 public:
  const std::string& NomeAplicacao() const { return FNomeAplicacao; }
  const std::string& VersaoAplicacao() const { return FVersaoAplicacao; }
  const std::string& SoftwareHouse() const { return FSoftwareHouse; }
  const std::string& RazaoSocial() const { return FRazaoSocial; }
  void SetNomeAplicacao(const std::string& v);
  void SetVersaoAplicacao(const std::string& v);
  void SetSoftwareHouse(const std::string& v);
  void SetRazaoSocial(const std::string& v);

 private:
  std::string FNomeAplicacao, FVersaoAplicacao, FSoftwareHouse, FRazaoSocial;
};

// One payment group for the printer: payment index, order and summed value.
struct TRuVirIdUzaGrupoRespostasPendentes {
  std::string IndiceFPG_ECF;
  int OrdemPagamento = 0;
  TCurrency Total;
};
using TRuVirIdUzaArrayGrupoRespostasPendentes = std::vector<TRuVirIdUzaGrupoRespostasPendentes>;

class TRuVirIdUza {
 public:
  // env: the clock, sleeps and files of the component and its managers;
  // it must outlive the component.
  explicit TRuVirIdUza(platform::TEnv& env = platform::DefaultEnv());
  ~TRuVirIdUza();
  TRuVirIdUza(const TRuVirIdUza&) = delete;
  TRuVirIdUza& operator=(const TRuVirIdUza&) = delete;

  platform::TEnv& Env() const { return FEnv; }

  // ---- Published properties
  bool Televenda() const { return FTelevenda; }
  void SetTelevenda(bool v) { FTelevenda = v; }
  std::string About() const { return "RuVirIdUza Ver: 4.3.4"; }
  TRuVirIdUzaIdentificacao& Identificacao() { return fIdentificacao; }
  const std::string& ImpressoraCupom() const { return FImpressoraCupom; }
  void SetImpressoraCupom(const std::string& v) { FImpressoraCupom = v; }
  bool MultiplosCartoes() const { return FMultiplosCartoes; }
  void SetMultiplosCartoes(bool v);  // refused while responses are pending
  int NumeroMaximoCartoes() const { return FNumeroMaximoCartoes; }
  void SetNumeroMaximoCartoes(int v) { FNumeroMaximoCartoes = v < 0 ? 0 : v; }
  bool AutoAtivarGP() const { return fAutoAtivarGP; }
  void SetAutoAtivarGP(bool v) { fAutoAtivarGP = v; }
  bool ExibirMsgAutenticacao() const { return FExibirMsgAutenticacao; }
  void SetExibirMsgAutenticacao(bool v) { FExibirMsgAutenticacao = v; }
  bool AutoEfetuarPagamento() const { return FAutoEfetuarPagamento; }
  void SetAutoEfetuarPagamento(bool v);  // refused while responses are pending
  bool AutoFinalizarCupom() const { return FAutoFinalizarCupom; }
  void SetAutoFinalizarCupom(bool v);  // refused while responses are pending
  int NumVias() const { return FNumVias; }
  void SetNumVias(int v) { FNumVias = v; }
  int EsperaSTS() const { return fEsperaSTS; }
  void SetEsperaSTS(int v) { fEsperaSTS = v; }
  int EsperaSleep() const { return FEsperaSleep; }
  void SetEsperaSleep(int v);  // 10 to 500 ms
  // Empty means the folder "TEF" beside the executable, stored on first read.
  const std::string& PathBackup();
  // Refused while the manager in use is initialized; stored trimmed, without
  // one final path separator.
  void SetPathBackup(const std::string& v);
  const std::string& ArqLOG() const { return FArqLOG; }
  void SetArqLOG(const std::string& v);
  bool CHQEmGerencial() const { return FCHQEmGerencial; }
  void SetCHQEmGerencial(bool v) { FCHQEmGerencial = v; }
  TCurrency TrocoMaximo() const { return FTrocoMaximo; }
  void SetTrocoMaximo(TCurrency v) { FTrocoMaximo = v; }
  const std::string& CNPJLoja() const { return FCNPJLoja; }
  void SetCNPJLoja(const std::string& v) { FCNPJLoja = v; }
  const std::string& CNPJZoVure() const { return FCNPJZoVure; }
  void SetCNPJZoVure(const std::string& v) { FCNPJZoVure = v; }
  TRuVirIdUzaCliSiTef& TEFCliSiTef() { return *FCliSiTef; }
  bool ModoServico() const { return FModoServico; }
  void SetModoServico(bool v) { FModoServico = v; }

  // ---- Public properties
  TRuVirIdUzaTipo GPAtual() const { return FGPAtual; }
  // gpCliSiTef makes the CliSiTef manager the one in use; other values
  // change only GPAtual.
  void SetGPAtual(TRuVirIdUzaTipo v);
  // The manager in use; null until one has been selected.
  TRuVirIdUzaClass* TEF() const { return FTEF; }
  TRuVirIdUzaReq& Req();
  TRuVirIdUzaResp& Resp();
  TRuVirIdUzaRespostasPendentes& RespostasPendentes() { return *FRespostasPendentes; }
  bool AguardandoResposta() const;
  bool TecladoBloqueado() const { return false; }
  TRuVirIdUzaReqEstado EstadoReq() const { return FEstadoReq; }
  void SetEstadoReq(TRuVirIdUzaReqEstado v);
  TRuVirIdUzaRespEstado EstadoResp() const { return FEstadoResp; }
  void SetEstadoResp(TRuVirIdUzaRespEstado v);
  bool TransacaoConfirmada() const { return FTransacaoConfirmada; }
  void SetTransacaoConfirmada(bool v) { FTransacaoConfirmada = v; }
  std::string ArqTemp() const;
  std::string ArqReq() const;
  std::string ArqSTS() const;
  std::string ArqResp() const;
  std::string GPExeName() const;
  const std::string& CodigoRede() const { return fCodigoRede; }
  const std::string& CodigoBandeira() const { return fCodigoBandeira; }
  const std::string& CodigoNsu() const { return FCodigoNsu; }
  const std::string& CodigoNSUHost() const { return FCodigoNSUHost; }
  const std::string& CodigoAutorizacao() const { return FCodigoAutorizacao; }
  bool FornecerTaxaDeEmbarque() const { return FFornecerTaxaDeEmbarque; }
  void SetFornecerTaxaDeEmbarque(bool v) { FFornecerTaxaDeEmbarque = v; }
  bool FornecerTaxaDeServico() const { return FFornecerTaxaDeServico; }
  void SetFornecerTaxaDeServico(bool v) { FFornecerTaxaDeServico = v; }
  bool VisaElectonSaque() const { return FVisaElectonSaque; }
  void SetVisaElectonSaque(bool v) { FVisaElectonSaque = v; }
  // Result of the last card reading (LerCartaoSeguro, LerTrilha3).
  const std::string& LeituraCartao() const { return FLeituraCartao; }
  // Digital-wallet and customer data of the last dialogue.
  const std::string& IdDaCarteiraDigital() const { return fIdDaCarteiraDigital; }
  const std::string& NomeCarteiraDigital() const { return fNomeCarteiraDigital; }
  const std::string& BandeiraCarteiraDigital() const { return fBandeiraCarteiraDigital; }
  const std::string& ValorAprovadoCarteiraDigital() const { return fValorAprovadoCarteiraDigital; }
  const std::string& CPFCliente() const { return fCPFCliente; }
  const std::string& CNPJCliente() const { return FCNPJCliente; }
  const std::string& TelefoneCliente() const { return fTelefoneCliente; }

  // ---- Events (unassigned until the host binds them)
  TRuVirIdUzaAguardaRespEvent OnAguardaResp;
  TRuVirIdUzaExibeMsg OnExibeMsg;
  TRuVirIdUzaBloqueiaMouseTeclado OnBloqueiaMouseTeclado;
  TRuVirIdUzaExecutaAcao OnRestauraFocoAplicacao;
  TRuVirIdUzaExecutaAcao OnLimpaTeclado;
  TRuVirIdUzaComandaECF OnComandaECF;
  TRuVirIdUzaComandaImpressao OnComandaImpressao;
  TRuVirIdUzaComandaECFSubtotaliza OnComandaECFSubtotaliza;
  TRuVirIdUzaComandaECFPagamento OnComandaECFPagamento;
  TRuVirIdUzaComandaECFAbreVinculado OnComandaECFAbreVinculado;
  TRuVirIdUzaComandaECFImprimeVia OnComandaECFImprimeVia;
  TRuVirIdUzaObterInfoECF OnInfoECF;
  TRuVirIdUzaAntesFinalizarReq OnAntesFinalizarRequisicao;
  TRuVirIdUzaProcessarTransacoesPendentes OnDepoisConfirmarTransacoes;
  TRuVirIdUzaProcessarTransacoesPendentes OnDepoisCancelarTransacoes;
  TRuVirIdUzaAntesCancelarTransacao OnAntesCancelarTransacao;
  TRuVirIdUzaMudaEstadoReq OnMudaEstadoReq;
  TRuVirIdUzaMudaEstadoResp OnMudaEstadoResp;
  TRuVirIdUzaCliSiTefExibeMenu OnExibeMenu;
  TRuVirIdUzaCliSiTefObtemCampo OnObtemCampo;
  TRuVirIdUzaCliSiTefObtemCheque OnObtemCheque;
  TRuVirIdUzaSenhaConfirmacao OnObterSenha;
  TRuViridUzaCliSiTefExibeQRCode OnExibeQRCode;

  // ---- Operations. GP = gpNenhum means every enabled manager where noted,
  // otherwise the manager in use; any other value selects that type first.

  // Checks the events and the backup folder, then initializes. A failure of
  // a selected manager is reported as "Erro ao conectar com servidor TEF".
  void Inicializar(TRuVirIdUzaTipo GP = gpNenhum);
  void DesInicializar(TRuVirIdUzaTipo GP = gpNenhum);
  bool Inicializado(TRuVirIdUzaTipo GP = gpNenhum);
  void AtivarGP(TRuVirIdUzaTipo GP = gpNenhum);
  void ATV(TRuVirIdUzaTipo GP = gpNenhum);
  bool ADM(TRuVirIdUzaTipo GP = gpNenhum);
  // Valor is converted to fixed point (x 10000, ties to even).
  bool CRT(double Valor, const std::string& IndiceFPG_ECF,
           const std::string& DocumentoVinculado = "", int Moeda = 0,
           const std::string& NumeroCartaoDigitado = "",
           const std::string& DataVencimentoDigitado = "", const std::string& CVVDigitado = "",
           const std::string& QtdParcela = "");
  // The same with the amount already in fixed point: large amounts keep every
  // cent, which a double cannot promise.
  bool CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
           const std::string& DocumentoVinculado = "", int Moeda = 0,
           const std::string& NumeroCartaoDigitado = "",
           const std::string& DataVencimentoDigitado = "", const std::string& CVVDigitado = "",
           const std::string& QtdParcela = "");
  bool CHQ(double Valor, const std::string& IndiceFPG_ECF, const std::string& DocumentoVinculado,
           const std::string& CMC7, char TipoPessoa, const std::string& DocumentoPessoa,
           const platform::TDateTime& DataCheque, const std::string& Banco,
           const std::string& Agencia, const std::string& AgenciaDC, const std::string& Conta,
           const std::string& ContaDC, const std::string& Cheque, const std::string& ChequeDC,
           const std::string& Compensacao);
  bool CNC(const std::string& Rede, const std::string& NSU,
           const platform::TDateTime& DataHoraTransacao, double Valor);
  void CNF(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           const std::string& DocumentoVinculado = "");
  void NCN(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           double Valor, const std::string& DocumentoVinculado = "");
  // Confirms or undoes the last transaction in the library; false when that
  // failed (the failure is not passed on).
  bool ConfirmarTransacao(bool Confirma, const std::string& DocumentoVinculado);
  void CancelarTransacoesPendentes();
  void ConfirmarTransacoesPendentes();
  void ImprimirTransacoesPendentes();
  void FinalizarCupom(bool DesbloquearMouseTecladoNoTermino = true);
  void AgruparRespostasPendentes(TRuVirIdUzaArrayGrupoRespostasPendentes& Grupo);
  void ConfirmarESolicitarImpressaoTransacoesPendentes() {}

  TModalResult DoExibeMsg(TRuVirIdUzaOperacaoMensagem Operacao, const std::string& Mensagem);
  int ComandarECF(TRuVirIdUzaOperacaoECF Operacao);
  int ECFSubtotaliza(TCurrency DescAcres);
  int ECFPagamento(const std::string& Indice, TCurrency Valor);
  int ECFAbreVinculado(const std::string& COO, const std::string& Indice, TCurrency Valor);
  int ECFImprimeVia(TRuVirIdUzaTipoRelatorio TipoRelatorio, int Via,
                    const TStringList& ImagemComprovante);
  // Printer state letter ("L" = free) from OnInfoECF; other letters than
  // C G L N O P R V fail.
  char EstadoECF();
  std::string InfoECFAsString(TRuVirIdUzaInfoECF Operacao);
  // The answer as an amount rounded to cents; DefaultValue when it is not a
  // number. The sentinel -98787158 fails.
  TCurrency InfoECFAsDouble(TRuVirIdUzaInfoECF Operacao, int DefaultValue);
  void BloquearMouseTeclado(bool) {}
  // No desktop here: only the host's events are raised.
  void LimparTeclado();
  void RestaurarFocoAplicacao();
  std::string LerTrilha3();
  std::string LerCartaoSeguro();

  // One entry in the component log (ArqLOG).
  void GravaLog(const std::string& texto) const;

 private:
  friend class TRuVirIdUzaCliSiTef;
  friend class TRuVirIdUzaClass;

  // The manager in use, or the CliSiTef manager while none is selected: the
  // one whose name, request and response the component reports.
  TRuVirIdUzaClass& Gerenciador() const;
  TRuVirIdUzaClass& SelecionarGP(TRuVirIdUzaTipo GP);
  void VerificarPendentes(const char* propriedade) const;
  std::string NomeGerenciador() const;
  void LimparDadosDialogo();
  bool ImprimirPendentesUmaVez(bool gerencial);

  bool FTelevenda = false;
  TRuVirIdUzaIdentificacao fIdentificacao;
  std::string FImpressoraCupom;
  bool FMultiplosCartoes = false;
  platform::TEnv& FEnv;
  int FNumeroMaximoCartoes = 0;
  bool fAutoAtivarGP = true;
  bool FExibirMsgAutenticacao = true;
  bool FAutoEfetuarPagamento = false;
  bool FAutoFinalizarCupom = true;
  int FNumVias = 2;
  int fEsperaSTS = 7;
  int FEsperaSleep = 250;
  std::string FPathBackup;
  std::string FArqLOG;
  bool FCHQEmGerencial = false;
  TCurrency FTrocoMaximo;
  std::string FCNPJLoja, FCNPJZoVure;
  bool FModoServico = false;

  TRuVirIdUzaTipo FGPAtual = gpNenhum;
  TRuVirIdUzaClass* FTEF = nullptr;
  TRuVirIdUzaReqEstado FEstadoReq = reqNenhum;
  TRuVirIdUzaRespEstado FEstadoResp = respNenhum;
  bool FTransacaoConfirmada = false;
  std::string fCodigoRede, fCodigoBandeira, FCodigoNsu, FCodigoNSUHost, FCodigoAutorizacao;
  std::string fIdDaCarteiraDigital, fNomeCarteiraDigital, fBandeiraCarteiraDigital,
      fValorAprovadoCarteiraDigital, fCPFCliente, FCNPJCliente, fTelefoneCliente;
  bool FFornecerTaxaDeEmbarque = false, FFornecerTaxaDeServico = false, FVisaElectonSaque = false;
  std::string FLeituraCartao;
  std::string FAutenticacaoPendente;  // shown before the next receipt

  std::unique_ptr<TRuVirIdUzaRespostasPendentes> FRespostasPendentes;
  std::vector<std::unique_ptr<TRuVirIdUzaClass>> FGerenciadores;  // owns the managers
  TRuVirIdUzaCliSiTef* FCliSiTef = nullptr;                       // one of them
};

}  // namespace tef
