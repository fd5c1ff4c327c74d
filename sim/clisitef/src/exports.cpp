// The library's C entry points. Each forwards to the simulator and keeps every
// C++ exception on this side of the boundary.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "protocol.h"
#include "simulator.h"

#define CLISITEF_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Fault switch for fail-count tests: CLISITEF_SIM_FAIL_AT_CALL=N (or a
// comma-separated list) makes the N-th entry-point call of the process fail
// without any effect: the configuration with 6 (TCP/IP start error), every
// other call with -5 (no connection to the host). Read at the first call.
bool FailsAtCall(long call) {
  static const std::vector<long> calls = [] {
    std::vector<long> out;
    const char* v = std::getenv("CLISITEF_SIM_FAIL_AT_CALL");
    while (v != nullptr && *v != '\0') {
      char* end = nullptr;
      const long n = std::strtol(v, &end, 10);
      if (end == v) break;
      if (n > 0) out.push_back(n);
      v = *end == ',' ? end + 1 : end;
    }
    return out;
  }();
  for (long n : calls) {
    if (n == call) return true;
  }
  return false;
}

std::atomic<long> gCalls{0};

template <typename F>
int Guard(const char* entry, F&& f) {
  const long call = ++gCalls;
  if (FailsAtCall(call)) {
    const int result = std::strcmp(entry, "ConfiguraIntSiTefInterativoEx") == 0
                           ? 6
                           : tef::clisitef::kSemConexaoSiTef;
    clisitef_sim::Simulator::Instance().Fault(entry, call, result);
    return result;
  }
  try {
    return f();
  } catch (const std::exception& e) {
    clisitef_sim::Simulator::Instance().InternalError(entry, e.what());
  } catch (...) {
    clisitef_sim::Simulator::Instance().InternalError(entry, "unknown exception");
  }
  return clisitef_sim::kInternalError;
}

clisitef_sim::Simulator& Sim() { return clisitef_sim::Simulator::Instance(); }

}  // namespace

CLISITEF_EXPORT int ConfiguraIntSiTefInterativoEx(const char* endereco, const char* loja,
                                                  const char* terminal, short reservado,
                                                  const char* parametros) {
  return Guard("ConfiguraIntSiTefInterativoEx",
               [&] { return Sim().Configure(endereco, loja, terminal, reservado, parametros); });
}

CLISITEF_EXPORT int IniciaFuncaoSiTefInterativo(int funcao, const char* valor,
                                                const char* documento, const char* data,
                                                const char* hora, const char* operador,
                                                const char* restricoes) {
  return Guard("IniciaFuncaoSiTefInterativo", [&] {
    return Sim().Start(funcao, valor, documento, data, hora, operador, restricoes);
  });
}

CLISITEF_EXPORT int LeTrilha3(char* buffer) {
  return Guard("LeTrilha3", [&] { return Sim().ReadTrack3(buffer); });
}

// These two take no arguments: a caller that passes some is harmless, while reading
// arguments that were never passed would not be.
CLISITEF_EXPORT int LeCartaoSeguro() {
  return Guard("LeCartaoSeguro", [] { return Sim().ReadCardSecure("LeCartaoSeguro"); });
}

CLISITEF_EXPORT int LeCartaoDiretoSeguro() {
  return Guard("LeCartaoDiretoSeguro", [] { return Sim().ReadCardSecure("LeCartaoDiretoSeguro"); });
}

CLISITEF_EXPORT int LeCartaoDiretoEx(char* numero, char* trilha2, char* trilha1, short tempo,
                                     int reservado) {
  return Guard("LeCartaoDiretoEx",
               [&] { return Sim().ReadCardDirectEx(numero, trilha2, trilha1, tempo, reservado); });
}

CLISITEF_EXPORT int ContinuaFuncaoSiTefInterativo(int* comando, int* tipo_campo,
                                                  short* tamanho_minimo, short* tamanho_maximo,
                                                  char* buffer, int tamanho_buffer, int continua) {
  return Guard("ContinuaFuncaoSiTefInterativo", [&] {
    return Sim().Continue(comando, tipo_campo, tamanho_minimo, tamanho_maximo, buffer,
                          tamanho_buffer, continua);
  });
}

CLISITEF_EXPORT int FinalizaFuncaoSiTefInterativo(int confirma, const char* documento,
                                                  const char* data, const char* hora,
                                                  const char* parametros) {
  return Guard("FinalizaFuncaoSiTefInterativo", [&] {
    return Sim().Finish("FinalizaFuncaoSiTefInterativo", confirma, documento, data, hora,
                        parametros, true);
  });
}

CLISITEF_EXPORT int FinalizaTransacaoSiTefInterativo(int confirma, const char* documento,
                                                     const char* data, const char* hora) {
  return Guard("FinalizaTransacaoSiTefInterativo", [&] {
    return Sim().Finish("FinalizaTransacaoSiTefInterativo", confirma, documento, data, hora,
                        nullptr, false);
  });
}

CLISITEF_EXPORT int EscreveMensagemPermanentePinPad(const char* mensagem) {
  return Guard("EscreveMensagemPermanentePinPad",
               [&] { return Sim().WritePermanentMessage(mensagem); });
}

CLISITEF_EXPORT int ObtemQuantidadeTransacoesPendentes(const char* data, const char* cupom) {
  return Guard("ObtemQuantidadeTransacoesPendentes",
               [&] { return Sim().PendingCount(data, cupom); });
}

CLISITEF_EXPORT int VerificaPresencaPinPad() {
  return Guard("VerificaPresencaPinPad", [] { return Sim().PinPadPresence(); });
}
