// Enumerations and event types of the TEF component. Events are callables the
// host binds to its own handlers (a lambda or a bound member function); an
// unassigned event is an empty std::function. Hosts answer through the
// reference parameters. Every event runs on the thread that called the
// component operation raising it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ansi.h"
#include "platform/clock.h"
#include "tef/currency.h"

namespace tef {

class TRuVirIdUzaReq;
class TRuVirIdUzaResp;
class TRuVirIdUzaRespostasPendentes;

// The cheque of a CHQ as the point of sale gives it: its CMC7 line, or the
// fields printed on it (Compensacao, Banco, Agencia and so on), and whose it is.
struct TRuVirIdUzaCheque {
  std::string CMC7;
  char TipoPessoa = 'F';
  std::string DocumentoPessoa;
  platform::TDateTime DataCheque;
  std::string Banco;
  std::string Agencia;
  std::string AgenciaDC;
  std::string Conta;
  std::string ContaDC;
  std::string Cheque;
  std::string ChequeDC;
  std::string Compensacao;
};

// Standard manager type; only gpCliSiTef has a manager here.
enum TRuVirIdUzaTipo {
  gpNenhum = 0,
  gpTefDial = 1,
  gpTefDisc = 2,
  gpHiperTef = 3,
  gpCliSiTef = 4,
  gpTefGpu = 5,
  gpVeSPague = 6,
  gpBanese = 7,
  gpTefAuttar = 8,
  gpGoodCard = 9,
  gpFoxWin = 10,
  gpCliDTEF = 11,
  gpPetrocard = 12,
  gpCrediShop = 13,
  gpTicketCar = 14,
  gpConvCard = 15
};

enum TRuVirIdUzaReqEstado {
  reqNenhum,
  reqIniciando,
  reqCriandoArquivo,
  reqAguardandoResposta,
  reqConferindoResposta,
  reqFinalizada
};

enum TRuVirIdUzaRespEstado { respNenhum, respAguardandoResposta, respProcessando, respConcluida };

enum TRuVirIdUzaOperacaoMensagem {
  opmOK = 0,
  opmYesNo = 1,
  opmYesNoCustom = 2,
  opmExibirMsgOperador = 3,
  opmRemoverMsgOperador = 4,
  opmExibirMsgCliente = 5,
  opmRemoverMsgCliente = 6,
  opmDestaqueVia = 7,
  opmExcept = 8,
  opmQRCode = 9
};

enum TRuVirIdUzaOperacaoECF {
  opeAbreGerencial,
  opeFechaGerencial,
  opePulaLinhas,
  opeSubTotalizaCupom,
  opeFechaCupom,
  opeFechaVinculado,
  opeCancelaCupom,
  opeImprimePagamentos
};

enum TRuVirIdUzaInfoECF { ineSubTotal, ineEstadoECF, ineTotalAPagar };

enum TRuVirIdUzaTipoRelatorio { trGerencial, trVinculado };

enum TRuVirIdUzaCliSiTefOperacaoCampo {
  tcString = 0,
  tcCurrency = 1,
  tcCMC7 = 2,
  tcBarCode = 3,
  tcSeguranca = 4
};

// Dialog results as the host returns them.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

// Enumeration names as they appear in the component log.
const char* EnumName(TRuVirIdUzaTipo v);
const char* EnumName(TRuVirIdUzaReqEstado v);
const char* EnumName(TRuVirIdUzaRespEstado v);
const char* EnumName(TRuVirIdUzaOperacaoMensagem v);
const char* EnumName(TRuVirIdUzaOperacaoECF v);
const char* EnumName(TRuVirIdUzaInfoECF v);
const char* EnumName(TRuVirIdUzaTipoRelatorio v);
const char* EnumName(TRuVirIdUzaCliSiTefOperacaoCampo v);

using TStringList = std::vector<std::string>;

using TRuVirIdUzaAguardaRespEvent =
    std::function<void(const std::string& Arquivo, int SegundosTimeOut, bool& Interromper)>;
using TRuVirIdUzaExibeMsg = std::function<void(
    TRuVirIdUzaOperacaoMensagem Operacao, const std::string& Mensagem, TModalResult& AModalResult)>;
using TRuVirIdUzaBloqueiaMouseTeclado = std::function<void(bool Bloqueia, bool& Tratado)>;
using TRuVirIdUzaExecutaAcao = std::function<void(bool& Tratado)>;
using TRuVirIdUzaComandaECF =
    std::function<void(TRuVirIdUzaOperacaoECF Operacao, TRuVirIdUzaResp& Resp, int& RetornoECF)>;
using TRuVirIdUzaComandaImpressao =
    std::function<void(int& RetornoImpressao, TRuVirIdUzaResp& Resp, bool Cancelado)>;
using TRuVirIdUzaComandaECFSubtotaliza = std::function<void(TCurrency DescAcre, int& RetornoECF)>;
using TRuVirIdUzaComandaECFPagamento =
    std::function<void(const std::string& IndiceECF, TCurrency Valor, int& RetornoECF)>;
using TRuVirIdUzaComandaECFAbreVinculado = std::function<void(
    const std::string& COO, const std::string& IndiceECF, TCurrency Valor, int& RetornoECF)>;
using TRuVirIdUzaComandaECFImprimeVia =
    std::function<void(TRuVirIdUzaTipoRelatorio TipoRelatorio, int Via,
                       const TStringList& ImagemComprovante, int& RetornoECF)>;
using TRuVirIdUzaObterInfoECF =
    std::function<void(TRuVirIdUzaInfoECF Operacao, std::string& RetornoECF)>;
using TRuVirIdUzaAntesFinalizarReq = std::function<void(TRuVirIdUzaReq& Req)>;
using TRuVirIdUzaProcessarTransacoesPendentes =
    std::function<void(TRuVirIdUzaRespostasPendentes& RespostasPendentes)>;
using TRuVirIdUzaAntesCancelarTransacao = std::function<void(TRuVirIdUzaResp& RespostaPendente)>;
using TRuVirIdUzaMudaEstadoReq = std::function<void(TRuVirIdUzaReqEstado EstadoReq)>;
using TRuVirIdUzaMudaEstadoResp = std::function<void(TRuVirIdUzaRespEstado EstadoResp)>;

// Dialogue events of the CliSiTef manager. Text is UTF-8; the manager converts
// at the library boundary.
using TRuVirIdUzaCliSiTefExibeMenu = std::function<void(
    const std::string& Titulo, const TStringList& Opcoes, int& ItemSelecionado, bool& VoltarMenu)>;
using TRuVirIdUzaCliSiTefObtemCampo =
    std::function<void(const std::string& Titulo, int TamanhoMinimo, int TamanhoMaximo,
                       int TipoCampo, TRuVirIdUzaCliSiTefOperacaoCampo Operacao,
                       std::string& Resposta, bool& Digitado, bool& VoltarMenu)>;
using TRuVirIdUzaCliSiTefObtemCheque = std::function<void(
    const std::string& Titulo, int TipoCampo, TRuVirIdUzaCliSiTefOperacaoCampo Operacao,
    std::string& Resposta, bool& Digitado, bool& VoltarMenu)>;
using TRuVirIdUzaSenhaConfirmacao =
    std::function<void(const std::string& Titulo, bool& VoltarMenu)>;
using TRuViridUzaCliSiTefExibeQRCode = std::function<void(const std::string& QRCode)>;

}  // namespace tef
