// The dialogue bridge: each prompt of the TEF library becomes a JSON message
// to the paying front end, and its answer is read back from it. Runs on the
// transaction's thread, inside the component's call. A prompt that waits for
// an answer is sent as a prompt, so that a front end that takes the payment
// over on a new connection receives it again.
//
// The busy flag is not released from here: StartTransaction, which claimed
// it, releases it when the library call has returned, so a second
// transaction can never start while the component is still running.

#include "core/conversions.h"
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "platform/ansi.h"
#include "platform/regional.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"

namespace core {
namespace {

// Letter case ignored, accented letters included (as the 8-bit comparison
// of the library's texts does).
bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  auto fold = [](const std::string& s) {
    std::string bytes = platform::Utf8ToAnsi(s).bytes();
    for (char& c : bytes) {
      const auto u = static_cast<unsigned char>(c);
      if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
        c = static_cast<char>(u + 32);
      }
    }
    return bytes;
  };
  return fold(a) == fold(b);
}

using frontend::Notice;

const char* FieldOperationName(tef::TRuVirIdUzaCliSiTefOperacaoCampo op) {
  switch (op) {
    case tef::tcString:
      return "string";
    case tef::tcCurrency:
      return "currency";
    case tef::tcCMC7:
      return "cmc7";
    case tef::tcBarCode:
      return "barcode";
    case tef::tcSeguranca:
      return "segurança";
  }
  return "string";
}

}  // namespace

void TDmSitef::SetCanCancel(bool value) {
  fPodeCancelar.store(value);
  SendDialog(frontend::CanCancel(value));
}

void TDmSitef::GetClientResponse(std::string& text) {
  text.clear();
  // However the wait ends, the prompt is no longer pending.
  struct TAnswered {
    TDmSitefHost& host;
    ~TAnswered() { host.PromptAnswered(); }
  } answered{FHost};
  while (FAguardandoRespCanc.load()) FEnv.SleepMillis(1);
  std::string candidate;
  if (!fLastContentReceived.empty()) {
    candidate.swap(fLastContentReceived);
  } else {
    // The deadline holds even while the front end stays connected and
    // silent: wait for data in slices instead of blocking on a read.
    const int64_t deadline = FEnv.MonotonicMillis() + FOptions.RespostaTimeoutMs;
    while (candidate.empty()) {
      const int64_t left = deadline - FEnv.MonotonicMillis();
      // A stopping service cannot receive an answer: give up at once.
      if (left <= 0 || !FHost.Serving()) break;
      const int64_t slice = FEnv.MonotonicMillis();
      if (FHost.WaitForClientData(static_cast<int>(left < 100 ? left : 100))) {
        DecodeWebSocketFrame(candidate);
        if (candidate.empty()) FEnv.SleepMillis(50);
      } else if (FEnv.MonotonicMillis() - slice < 10) {
        FEnv.SleepMillis(50);  // no connection to wait on
      }
    }
    if (candidate.empty()) {
      fCancelado.store(true);
      Log("GetClientResponse: timeout aguardando resposta do cliente.");
      return;
    }
  }
  const TJsonMessage message = ParseJsonObject(candidate);
  std::string route;
  if (message) {
    if (std::optional<std::string> r = MemberText(*message, "route")) {
      route = *r;
    } else {
      SendClientMessage(BuildErrorReply(ECampoNaoEncontrado("route").what()));
    }
  }
  if (route == "/transaction") {
    text = message->Serialize();
  } else if (route == "/transaction/cancel") {
    CancelTransactionInProgress(candidate);
  }
}

void TDmSitef::PollClientMessage() {
  if (fCancelado.load()) return;
  FProcessandoMsg.store(true);
  FAguardandoRespCanc.store(true);
  fLastContentReceived.clear();
  struct TReset {
    TDmSitef* dm;
    ~TReset() {
      dm->FProcessandoMsg.store(false);
      dm->FAguardandoRespCanc.store(false);
    }
  } reset{this};
  std::string text;
  DecodeWebSocketFrame(text);
  if (text.empty()) return;
  const TJsonMessage message = ParseJsonObject(text);
  if (!message) return;  // not a JSON object: nothing to act on while the host works
  if (GetJSONField(*message, "type") == "cancellation") {
    if (fPodeCancelar.load()) fCancelado.store(true);
  } else {
    fLastContentReceived = text;
  }
}

void TDmSitef::RuVirIdUzaAguardaResp(const std::string& Arquivo, int /*SegundosTimeOut*/,
                                     bool& Interromper) {
  if (RuVirIdUza().GPAtual() == tef::gpCliSiTef && Arquivo == "23" && !fPodeCancelar.load()) {
    SetCanCancel(true);
  }
  if (!FProcessandoMsg.load()) {
    std::shared_ptr<endpoint::TConnection> conn = FHost.CurrentConnection();
    if (conn != nullptr && conn->Connected() && FHost.WaitForClientData(100)) PollClientMessage();
  }
  if (fCancelado.load()) {
    Interromper = true;
    fCancelado.store(false);
  }
}

void TDmSitef::RuVirIdUzaMudaEstadoResp(tef::TRuVirIdUzaRespEstado EstadoResp) {
  const bool waiting = EstadoResp == tef::respAguardandoResposta;
  if (waiting != fPodeCancelar.load()) SetCanCancel(waiting);
}

void TDmSitef::RuVirIdUzaMudaEstadoReq(tef::TRuVirIdUzaReqEstado /*EstadoReq*/) {
  fCancelado.store(false);
}

void TDmSitef::RuVirIdUzaExibeQRCode(const std::string& QRCode) {
  SendDialog(frontend::QRCode(QRCode));
}

void TDmSitef::RuVirIdUzaExibeMsg(tef::TRuVirIdUzaOperacaoMensagem Operacao,
                                  const std::string& Mensagem, tef::TModalResult& AModalResult) {
  try {
    ControlDisplayMessage(Mensagem, Operacao, AModalResult);
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
  }
}

void TDmSitef::ControlDisplayMessage(const std::string& pMessage,
                                     tef::TRuVirIdUzaOperacaoMensagem pOperation,
                                     int& pModalResult) {
  // Questions and confirmations wait for the front end's answer.
  auto ask = [&](const TJsonValue& prompt) {
    SendPrompt(prompt.Serialize());
    GetQuestionResponse(pModalResult);
  };
  auto question = [&](const tef::TStringList& options) {
    ask(frontend::Question(pMessage, options));
  };
  auto confirmation = [&](const tef::TStringList& options) {
    ask(frontend::Confirmation(pMessage, options));
  };
  switch (pOperation) {
    case tef::opmOK:
      confirmation({"Ok"});
      if (pMessage == "Sem conexao SiTef") fCancelado.store(true);
      break;
    case tef::opmYesNo:
      question({"Sim", "Não"});
      break;
    case tef::opmYesNoCustom:
      question({"Sim", "Não", "Reimprimir"});
      break;
    case tef::opmExibirMsgOperador:
    case tef::opmExibirMsgCliente:
    case tef::opmQRCode:
      SendDialog(Notice(pMessage));
      break;
    case tef::opmRemoverMsgOperador:
      SendDialog(Notice(""));
      break;
    case tef::opmRemoverMsgCliente:
      break;
    case tef::opmDestaqueVia: {
      fUltimaMsg = pMessage;
      const int64_t deadline = FEnv.MonotonicMillis() + FOptions.DestaqueViaMs;
      try {
        do {
          FEnv.SleepMillis(FOptions.DestaqueViaStepMs);
          const int64_t left = deadline - FEnv.MonotonicMillis();
          SendDialog(Notice(pMessage + " " + std::to_string(left > 0 ? left / 1000 : 0)));
        } while (deadline - FEnv.MonotonicMillis() >= 0);
      } catch (...) {
        SendDialog(Notice(fUltimaMsg));
        throw;
      }
      SendDialog(Notice(fUltimaMsg));
      break;
    }
    case tef::opmExcept:
      fCancelado.store(true);
      Log("opmExcept: " + pMessage);
      confirmation({});
      break;
  }
}

void TDmSitef::GetQuestionResponse(int& ModalResult) {
  std::string text;
  GetClientResponse(text);
  if (text.empty()) return;
  const TJsonMessage message = ParseJsonObject(text);
  if (!message) return;
  const std::string type = GetJSONField(*message, "type");
  if (type == "confirmation") {
    ModalResult = tef::mrNone;
  } else if (type == "question") {
    const std::string r = GetJSONField(*message, "response");
    if (r == "Sim")
      ModalResult = tef::mrYes;
    else if (r == "Não")
      ModalResult = tef::mrNo;
    else if (r == "Reimprimir")
      ModalResult = tef::mrOk;
  }
}

void TDmSitef::AskCancelConfirmation() {
  SendPrompt(
      frontend::Question("Deseja realmente cancelar esta operação?", {"Sim", "Não"}).Serialize());
  int result = 0;
  GetQuestionResponse(result);
  if (result != 0) fCancelado.store(false);  // the cancellation is withdrawn
}

void TDmSitef::RuVirIdUzaExibeMenu(const std::string& Titulo, const tef::TStringList& Opcoes,
                                   int& ItemSelecionado, bool& VoltarMenu) {
  SendPrompt(frontend::Menu(Titulo, Opcoes).Serialize());
  GetMenuResponse(Opcoes, ItemSelecionado, VoltarMenu);
}

void TDmSitef::GetMenuResponse(const tef::TStringList& Opcoes, int& ItemSelecionado,
                               bool& VoltarMenu) {
  std::string text;
  GetClientResponse(text);
  const TJsonMessage message = text.empty() ? TJsonMessage() : ParseJsonObject(text);
  if (message && GetJSONField(*message, "type") == "menu") {
    const std::string response = TrimControl(GetJSONField(*message, "response"));
    if (!response.empty()) {
      ItemSelecionado = -1;
      for (size_t i = 0; i < Opcoes.size(); ++i) {
        if (SameTextIgnoringCase(Opcoes[i], response)) {
          ItemSelecionado = static_cast<int>(i);
          break;
        }
      }
    } else {
      if (GetJSONField(*message, "back_menu") == "true") VoltarMenu = true;
      fCancelado.store(true);
    }
  }
  if (fCancelado.load()) AskCancelConfirmation();
}

void TDmSitef::RuVirIdUzaObtemCampo(const std::string& Titulo, int TamanhoMinimo, int TamanhoMaximo,
                                    int TipoCampo, tef::TRuVirIdUzaCliSiTefOperacaoCampo Operacao,
                                    std::string& Resposta, bool& Digitado, bool& VoltarMenu) {
  frontend::TCollectPrompt prompt;
  prompt.Title = Titulo;
  prompt.MinimumSize = TamanhoMinimo;
  prompt.MaximumSize = TamanhoMaximo;
  prompt.FieldType = TipoCampo;
  prompt.FieldOperation = FieldOperationName(Operacao);
  prompt.BackMenu = VoltarMenu;
  prompt.Typed = Digitado;
  SendPrompt(frontend::Collect(prompt).Serialize());
  GetCollectResponse(Resposta, Digitado, VoltarMenu);
  if (fCancelado.load()) AskCancelConfirmation();
  // A field left unanswered (cancelled, no answer in time, the service
  // stopping) ends the function: an empty answer would only bring the same
  // prompt back, forever once no answer can come.
  if (fCancelado.load()) Digitado = false;
}

void TDmSitef::GetCollectResponse(std::string& Resposta, bool& /*Digitado*/, bool& VoltarMenu) {
  std::string text;
  GetClientResponse(text);
  const TJsonMessage message = text.empty() ? TJsonMessage() : ParseJsonObject(text);
  if (!message || GetJSONField(*message, "type") != "collect") return;
  if (GetJSONField(*message, "typed") == "true") {
    // Characters the library's 8-bit code page lacks become '?'.
    Resposta = ThroughAnsi(GetJSONField(*message, "response"));
  } else if (GetJSONField(*message, "back_menu") == "true") {
    VoltarMenu = true;
  } else {
    fCancelado.store(true);
  }
}

void TDmSitef::RuVirIdUzaInfoECF(tef::TRuVirIdUzaInfoECF Operacao, std::string& RetornoECF) {
  tef::TRuVirIdUza& c = RuVirIdUza();
  if (!c.TEFCliSiTef().Inicializado() && Operacao == tef::ineEstadoECF &&
      (c.GPAtual() == tef::gpCliSiTef || c.GPAtual() == tef::gpVeSPague)) {
    RetornoECF = "R";
    return;
  }
  if (Operacao == tef::ineEstadoECF) {
    RetornoECF = "L";
  } else {
    RetornoECF = PrinterAmountText(fValorTransacao);
  }
}

}  // namespace core
