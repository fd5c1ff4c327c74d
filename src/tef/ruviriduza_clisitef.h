// The CliSiTef manager: drives the TEF client library, loaded at run time
// from PathDLL, through its interactive-function interface. Created and
// owned by the component (TRuVirIdUza), whose events it raises. Binding and
// configuration live in ruviriduza_clisitef.cpp, the interactive loop in
// ruviriduza_clisitef_loop.cpp, confirmation and hand-over of finished
// functions in ruviriduza_clisitef_pendentes.cpp. Not thread-safe: the
// library is called from the component's thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/dynlib.h"
#include "tef/ruviriduza_class.h"

namespace tef {

// The twelve entry points of the library, in the order they are resolved.
// Strings are zero-terminated Windows-1252.
struct TCliSiTefFuncoes {
  using TConfiguraIntSiTefInterativoEx = int (*)(const char* EnderecoIP, const char* CodigoLoja,
                                                 const char* NumeroTerminal, short Reservado,
                                                 const char* ParametrosAdicionais);
  using TIniciaFuncaoSiTefInterativo = int (*)(int Modalidade, const char* Valor,
                                               const char* Documento, const char* Data,
                                               const char* Hora, const char* Operador,
                                               const char* Restricoes);
  using TLeTrilha3 = int (*)(char* Buffer);
  using TLeCartaoSeguro = int (*)();
  using TLeCartaoDiretoSeguro = int (*)();
  using TLeCartaoDiretoEx = int (*)(char* Trilha1, char* Trilha2, char* Trilha3, short TempoEspera,
                                    int Reservado);
  using TContinuaFuncaoSiTefInterativo = int (*)(int* Comando, int* TipoCampo, short* TamanhoMinimo,
                                                 short* TamanhoMaximo, char* Buffer,
                                                 int TamanhoBuffer, int Continua);
  using TFinalizaFuncaoSiTefInterativo = int (*)(int Confirma, const char* Documento,
                                                 const char* Data, const char* Hora,
                                                 const char* ParametrosAdicionais);
  using TFinalizaTransacaoSiTefInterativo = int (*)(int Confirma, const char* Documento,
                                                    const char* Data, const char* Hora);
  using TEscreveMensagemPermanentePinPad = int (*)(const char* Mensagem);
  using TObtemQuantidadeTransacoesPendentes = int (*)(const char* Data, const char* CupomFiscal);
  using TVerificaPresencaPinPad = int (*)();

  TConfiguraIntSiTefInterativoEx ConfiguraIntSiTefInterativoEx = nullptr;
  TIniciaFuncaoSiTefInterativo IniciaFuncaoSiTefInterativo = nullptr;
  TLeTrilha3 LeTrilha3 = nullptr;
  TLeCartaoSeguro LeCartaoSeguro = nullptr;
  TLeCartaoDiretoSeguro LeCartaoDiretoSeguro = nullptr;
  TLeCartaoDiretoEx LeCartaoDiretoEx = nullptr;
  TContinuaFuncaoSiTefInterativo ContinuaFuncaoSiTefInterativo = nullptr;
  TFinalizaFuncaoSiTefInterativo FinalizaFuncaoSiTefInterativo = nullptr;
  TFinalizaTransacaoSiTefInterativo FinalizaTransacaoSiTefInterativo = nullptr;
  TEscreveMensagemPermanentePinPad EscreveMensagemPermanentePinPad = nullptr;
  TObtemQuantidadeTransacoesPendentes ObtemQuantidadeTransacoesPendentes = nullptr;
  TVerificaPresencaPinPad VerificaPresencaPinPad = nullptr;
};

// Entry point names in resolution order.
extern const char* const kCliSiTefEntryPoints[12];

class TRuVirIdUzaCliSiTef : public TRuVirIdUzaClass {
 public:
  explicit TRuVirIdUzaCliSiTef(TRuVirIdUza* AOwner);
  ~TRuVirIdUzaCliSiTef() override;

  // ---- Stored properties. Text is UTF-8; it reaches the library as
  // Windows-1252.
  const std::string& EnderecoIP() const { return FEnderecoIP; }
  void SetEnderecoIP(const std::string& v) { FEnderecoIP = v; }
  const std::string& CodigoLoja() const { return FCodigoLoja; }
  void SetCodigoLoja(const std::string& v) { FCodigoLoja = v; }
  const std::string& NumeroTerminal() const { return FNumeroTerminal; }
  void SetNumeroTerminal(const std::string& v) { FNumeroTerminal = v; }
  const std::string& Operador() const { return FOperador; }
  void SetOperador(const std::string& v) { FOperador = v; }
  const TStringList& ParametrosAdicionais() const { return FParametrosAdicionais; }
  void SetParametrosAdicionais(const TStringList& v) { FParametrosAdicionais = v; }
  const std::string& Restricoes() const { return FRestricoes; }
  void SetRestricoes(const std::string& v) { FRestricoes = v; }
  int OperacaoATV() const { return FOperacaoATV; }
  void SetOperacaoATV(int v) { FOperacaoATV = v; }
  int OperacaoADM() const { return FOperacaoADM; }
  void SetOperacaoADM(int v) { FOperacaoADM = v; }
  int OperacaoCRT() const { return fOperacaoCRT; }
  void SetOperacaoCRT(int v) { fOperacaoCRT = v; }
  int OperacaoCHQ() const { return FOperacaoCHQ; }
  void SetOperacaoCHQ(int v) { FOperacaoCHQ = v; }
  int OperacaoCNC() const { return FOperacaoCNC; }
  void SetOperacaoCNC(int v) { FOperacaoCNC = v; }
  int OperacaoReImpressao() const { return FOperacaoReImpressao; }
  void SetOperacaoReImpressao(int v) { FOperacaoReImpressao = v; }
  int NumeroParcela() const { return FNumeroParcela; }
  void SetNumeroParcela(int v) { FNumeroParcela = v; }
  // Declared for hosts that bind them; the dialogue raises the component's
  // events of the same names instead.
  TRuVirIdUzaCliSiTefExibeMenu OnExibeMenu;
  TRuVirIdUzaCliSiTefObtemCampo OnObtemCampo;
  TRuVirIdUzaCliSiTefObtemCheque OnObtemCheque;
  TRuViridUzaCliSiTefExibeQRCode OnExibeQRCode;

  // ---- Public properties
  // Folder of the library; empty means the bare file name (library search).
  const std::string& PathDLL() const { return fPathDLL; }
  void SetPathDLL(const std::string& v) { fPathDLL = v; }
  bool ModoServico() const { return FModoServico; }
  void SetModoServico(bool v) { FModoServico = v; }
  // Pre-answers of the dialogue, lines "TipoCampo=valor".
  TStringList& Respostas() { return FRespostas; }
  std::string ValorResposta(int TipoCampo) const;
  void DefinirResposta(int TipoCampo, const std::string& valor);
  bool CancelandoTransacaoTEF() const { return FCancelandoTransacaoTEF; }
  void SetCancelandoTransacaoTEF(bool v) { FCancelandoTransacaoTEF = v; }
  const std::string& CancelandoTransacaoNSU() const { return FCancelandoTransacaoNSU; }
  void SetCancelandoTransacaoNSU(const std::string& v) { FCancelandoTransacaoNSU = v; }
  const platform::TDateTime& CancelandoTransacaoDATA() const { return FCancelandoTransacaoDATA; }
  void SetCancelandoTransacaoDATA(const platform::TDateTime& v) { FCancelandoTransacaoDATA = v; }
  TCurrency CancelandoTransacaoVALOR() const { return FCancelandoTransacaoVALOR; }
  void SetCancelandoTransacaoVALOR(TCurrency v) { FCancelandoTransacaoVALOR = v; }
  const std::string& CodigoHASH() const { return FCodigoHASH; }
  void SetCodigoHASH(const std::string& v) { FCodigoHASH = v; }
  // The manager's own Televenda flag (separate from the component's).
  bool Televenda() const { return FTelevenda; }
  void SetTelevenda(bool v) { FTelevenda = v; }
  // Whether the last function was a reprint, a cancellation, a return.
  bool Reimpressao() const { return fReimpressao; }
  bool Devolucao() const { return fDevolucao; }
  bool IniciouRequisicao() const { return fIniciouRequisicao; }

  // ---- Library binding
  // PathDLL with a separator, then the platform's library file name.
  std::string CaminhoDLL() const;
  // Resolves every entry point not yet resolved, each taking one library
  // reference; fails with "Erro ao carregar a função:<name> de: <file>".
  void CarregarDLL();
  // Releases one library reference and forgets every entry point.
  void DescarregarDLL();
  bool DLLCarregada() const;
  // Tests replace the system loader; the loader must outlive the manager.
  void SetLoader(platform::IDynLibLoader* loader);
  // The additional-parameters string given to the library at configuration.
  std::string MontarParametrosAdicionais() const;

  // ---- Library utilities
  std::string VerificarPresencaPinPad();
  int DefineMensagemPermanentePinPad(const std::string& Mensagem);
  int ObtemQuantidadeTransacoesPendentes(const platform::TDateTime& Data,
                                         const std::string& CupomFiscal);

  // Confirms (true) or undoes the last function in the library, naming it by
  // the document given and the date and time its function was started with.
  void FinalizarTransacao(bool Confirma, const std::string& DocumentoVinculado);
  // What the library answered to the last FinalizarTransacao (0 done);
  // nullopt when it was not called (a reprint, no library).
  std::optional<int> ResultadoFinalizacao() const { return FResultadoFinalizacao; }
  // Confirms or undoes the transaction started with that document, date
  // (yyyymmdd) and time (hhnnss), outside any dialogue: the payment journal
  // resolves payments left by an earlier run with it. Returns the library's
  // result (0 done, also when nothing was pending).
  int FinalizarFuncao(bool Confirma, const std::string& Documento, const std::string& Data,
                      const std::string& Hora);
  // Raised just before the library starts a function, with the document,
  // date and time it is started with. An exception leaves the function not
  // started and reaches the caller.
  std::function<void(int Modalidade, const std::string& Documento, const std::string& Data,
                     const std::string& Hora)>
      OnAntesIniciarFuncao;
  // What the last FinalizarTransacao told the library (true: confirm), or
  // nothing when it did not reach the library.
  std::optional<bool> UltimaFinalizacao() const { return FUltimaFinalizacao; }

  // ---- Overrides
  void DefinirNumVias(int v) override;
  void VerificaRequisicaoIniciada() override;
  void Inicializar() override;
  void DesInicializar() override;
  int LerTrilha3(std::string& AResposta) override;
  int LerCartaoSeguro() override;
  void AtivarGP() override;
  void VerificaAtivo() override;
  void ATV() override;
  bool ADM() override;
  bool CRT(TCurrency Valor, const std::string& IndiceFPG_ECF, const std::string& NumeroCartao,
           const std::string& DataVencimento, const std::string& CVV, const std::string& QtdParcela,
           const std::string& DocumentoVinculado, int Moeda) override;
  bool CHQ(TCurrency Valor, const std::string& IndiceFPG_ECF, const std::string& DocumentoVinculado,
           const TRuVirIdUzaCheque& Cheque) override;
  using TRuVirIdUzaClass::CNC;
  using TRuVirIdUzaClass::CNF;
  using TRuVirIdUzaClass::NCN;
  void NCN(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           TCurrency Valor, const std::string& DocumentoVinculado) override;
  void CNF(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           const std::string& DocumentoVinculado) override;
  bool CNC(const std::string& Rede, const std::string& NSU,
           const platform::TDateTime& DataHoraTransacao, TCurrency Valor) override;
  // A confirmed payment is undone by a cancellation function with the data
  // of the current response.
  bool CNC() override;

 private:
  std::unique_ptr<TRuVirIdUzaResp> CriarResposta() const override;
  void ExigirDLL() const;  // "Erro ao iniciar \"TEF\"" when not loaded
  // The entry point, or "Erro ao iniciar \"TEF\"" when it is not resolved (a
  // configuration that failed halfway leaves some of them null).
  template <class F>
  F Entrada(F f) const {
    if (f == nullptr) FalharNaoIniciado();
    return f;
  }
  [[noreturn]] static void FalharNaoIniciado();
  int IniciarFuncao(int Modalidade, const std::string& Cabecalho, TCurrency Valor,
                    const std::string& RestricoesFuncao);
  class Dialogo;  // one run of the command loop, one handler per command
  int ContinuarFuncao(bool Capturar, const std::string& NumeroCartao,
                      const std::string& DataVencimento, const std::string& CVV,
                      std::string QtdParcela);
  void AvaliaErro(int STS);
  // Starts a function and runs the dialogue when the library asks for it.
  int ExecutarFuncao(int Modalidade, const std::string& Cabecalho, TCurrency Valor,
                     const std::string& RestricoesFuncao, const std::string& NumeroCartao,
                     const std::string& DataVencimento, const std::string& CVV,
                     const std::string& QtdParcela);

  std::string FEnderecoIP, FCodigoLoja, FNumeroTerminal, FOperador;
  TStringList FParametrosAdicionais;
  std::string FRestricoes;
  int FOperacaoATV = 111;
  int FOperacaoADM = 110;
  int fOperacaoCRT = 0;
  int FOperacaoCHQ = 1;
  int FOperacaoCNC = 200;
  int FOperacaoReImpressao = 112;
  int FNumeroParcela = 0;

  std::string fPathDLL;
  bool FModoServico = false;
  TStringList FRespostas;
  bool FCancelandoTransacaoTEF = false;
  std::string FCancelandoTransacaoNSU;
  platform::TDateTime FCancelandoTransacaoDATA;
  TCurrency FCancelandoTransacaoVALOR;
  std::string FCodigoHASH;
  bool FTelevenda = false;

  TCliSiTefFuncoes FFuncoes;
  platform::IDynLibLoader* FLoader;
  bool fIniciouRequisicao = false;
  std::optional<int> FResultadoFinalizacao;
  bool fReimpressao = false;
  bool fCancelamento = false;
  bool fDevolucao = false;
  std::optional<bool> FUltimaFinalizacao;
};

}  // namespace tef
