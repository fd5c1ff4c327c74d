// Test doubles for the TEF component: a loader that serves a scripted fake
// TEF library (optionally failing at its Nth entry point), and a recorder
// that binds every component event. One fake library at a time: its C entry
// points reach it through a global pointer.
#pragma once

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ansi.h"
#include "platform/dynlib.h"
#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_resp.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace tef_test {

// One answer of ContinuaFuncaoSiTefInterativo.
struct Passo {
  int sts = tef::clisitef::kContinuar;
  int comando = 0;
  int tipoCampo = 0;
  std::string texto;  // Windows-1252 bytes
  short minimo = 0;
  short maximo = 0;
};

// What the component passed to ContinuaFuncaoSiTefInterativo.
struct Chamada {
  int continua;
  std::string buffer;  // Windows-1252 bytes
};

struct FakeCliSiTef;
inline FakeCliSiTef* gFake = nullptr;

struct FakeCliSiTef {
  int configura = 0;
  int inicia = tef::clisitef::kContinuar;
  int pinpad = 1;
  std::vector<Passo> passos;  // after the last one: final result 0
  size_t proximo = 0;

  std::vector<std::string> configuracoes;  // "ip|loja|terminal|params"
  std::vector<std::string> inicios;        // "funcao|valor|doc|data|hora|operador|restricoes"
  std::vector<Chamada> chamadas;
  std::vector<std::string> finalizacoes;  // "Funcao|confirma|doc|data|hora" or "Transacao|..."
  std::vector<std::string> mensagensPinPad;

  FakeCliSiTef() { gFake = this; }
  ~FakeCliSiTef() { gFake = nullptr; }
  FakeCliSiTef(const FakeCliSiTef&) = delete;
  FakeCliSiTef& operator=(const FakeCliSiTef&) = delete;

  static int Configura(const char* ip, const char* loja, const char* term, short,
                       const char* params) {
    gFake->configuracoes.push_back(std::string(ip) + "|" + loja + "|" + term + "|" + params);
    return gFake->configura;
  }
  static int Inicia(int f, const char* v, const char* d, const char* dt, const char* h,
                    const char* op, const char* r) {
    gFake->inicios.push_back(std::to_string(f) + "|" + v + "|" + d + "|" + dt + "|" + h + "|" + op +
                             "|" + r);
    gFake->proximo = 0;
    return gFake->inicia;
  }
  static int LeTrilha3(char* b) {
    std::strcpy(b, "");
    return 0;
  }
  static int Nada() { return 0; }
  static int LeCartaoDiretoEx(char* a, char* b, char* c, short, int) {
    std::strcpy(a, "1");
    std::strcpy(b, "4111111111111111=3012  ");
    std::strcpy(c, "");
    return 0;
  }
  static int Continua(int* cmd, int* tipo, short* mn, short* mx, char* buf, int tam, int cont) {
    gFake->chamadas.push_back({cont, buf});
    if (gFake->proximo >= gFake->passos.size()) {
      *cmd = 0;
      *tipo = 0;
      buf[0] = '\0';
      return 0;
    }
    const Passo& p = gFake->passos[gFake->proximo++];
    *cmd = p.comando;
    *tipo = p.tipoCampo;
    *mn = p.minimo;
    *mx = p.maximo;
    std::strncpy(buf, p.texto.c_str(), static_cast<size_t>(tam) - 1);
    buf[tam - 1] = '\0';
    return p.sts;
  }
  static int FinalizaFuncao(int c, const char* d, const char* dt, const char* h, const char*) {
    gFake->finalizacoes.push_back("Funcao|" + std::to_string(c) + "|" + d + "|" + dt + "|" + h);
    return 0;
  }
  static int FinalizaTransacao(int c, const char* d, const char* dt, const char* h) {
    gFake->finalizacoes.push_back("Transacao|" + std::to_string(c) + "|" + d + "|" + dt + "|" + h);
    return 0;
  }
  static int Escreve(const char* m) {
    gFake->mensagensPinPad.push_back(m);
    return 0;
  }
  static int Pendentes(const char*, const char*) { return 3; }
  static int PinPad() { return gFake->pinpad; }
};

// Serves the fake's entry points. falharNaEntrada = n (1-based) leaves the
// nth entry point unresolvable; falharLoad makes the library unloadable.
class FakeLoader : public platform::IDynLibLoader {
 public:
  int falharNaEntrada = 0;
  bool falharLoad = false;
  int loads = 0;
  int releases = 0;
  int resolvidos = 0;
  std::vector<std::string> caminhos;

  platform::DynLibHandle Load(const std::string& path) override {
    caminhos.push_back(path);
    if (falharLoad) return nullptr;
    ++loads;
    return this;
  }
  platform::DynLibHandle GetHandle(const std::string&) override {
    return loads > releases ? this : nullptr;
  }
  void* Symbol(platform::DynLibHandle, const std::string& name) override {
    for (int i = 0; i < 12; ++i) {
      if (name != tef::kCliSiTefEntryPoints[i]) continue;
      if (falharNaEntrada == i + 1) return nullptr;
      ++resolvidos;
      return Endereco(i);
    }
    return nullptr;
  }
  void Release(platform::DynLibHandle) override { ++releases; }

 private:
  static void* Endereco(int i) {
    using F = FakeCliSiTef;
    void* const t[12] = {reinterpret_cast<void*>(&F::Configura),
                         reinterpret_cast<void*>(&F::Inicia),
                         reinterpret_cast<void*>(&F::LeTrilha3),
                         reinterpret_cast<void*>(&F::Nada),
                         reinterpret_cast<void*>(&F::Nada),
                         reinterpret_cast<void*>(&F::LeCartaoDiretoEx),
                         reinterpret_cast<void*>(&F::Continua),
                         reinterpret_cast<void*>(&F::FinalizaFuncao),
                         reinterpret_cast<void*>(&F::FinalizaTransacao),
                         reinterpret_cast<void*>(&F::Escreve),
                         reinterpret_cast<void*>(&F::Pendentes),
                         reinterpret_cast<void*>(&F::PinPad)};
    return t[i];
  }
};

// Records the events of a component and answers them from scripted values.
struct Eventos {
  std::vector<std::string> log;                 // "Evento:details" in raising order
  std::vector<tef::TModalResult> respostasMsg;  // answers to opmYesNo in order (then 6)
  std::vector<int> menus;                       // indexes chosen in order (then 0)
  std::vector<std::string> campos;              // OnObtemCampo answers in order (then "")
  std::vector<bool> interromper;                // OnAguardaResp answers (then false)
  std::string estadoECF = "L";
  int retornoImprimeVia = 1;
  int falharImprimeVia = 0;  // the next n copies fail with 0
  int retornoECF = 1;
  int retornoImpressao = 1;
  std::vector<std::vector<std::string>> viasImpressas;
  std::vector<int> pendentesConfirmadas;  // list sizes seen by OnDepoisConfirmarTransacoes
  std::vector<std::string> nsusConfirmadas;
  std::vector<std::string> qrcodes;
  size_t menuIdx = 0, campoIdx = 0, msgIdx = 0, intIdx = 0;

  void Ligar(tef::TRuVirIdUza& c) {
    using namespace tef;
    c.OnExibeMsg = [this](TRuVirIdUzaOperacaoMensagem op, const std::string& m, TModalResult& r) {
      log.push_back(std::string("Msg:") + EnumName(op) + ":" + m);
      if (op == opmYesNo) r = msgIdx < respostasMsg.size() ? respostasMsg[msgIdx++] : mrYes;
    };
    c.OnComandaECF = [this](TRuVirIdUzaOperacaoECF op, TRuVirIdUzaResp&, int& r) {
      log.push_back(std::string("ECF:") + EnumName(op));
      r = retornoECF;
    };
    c.OnComandaImpressao = [this](int& r, TRuVirIdUzaResp&, bool cancelado) {
      log.push_back(std::string("Impressao:") + (cancelado ? "cancelado" : ""));
      r = retornoImpressao;
    };
    c.OnComandaECFAbreVinculado = [this](const std::string& coo, const std::string& ind,
                                         TCurrency v, int& r) {
      log.push_back("AbreVinculado:" + coo + ":" + ind + ":" + v.FormatComma());
      r = 1;
    };
    c.OnComandaECFPagamento = [this](const std::string& ind, TCurrency v, int& r) {
      log.push_back("Pagamento:" + ind + ":" + v.FormatComma());
      r = 1;
    };
    c.OnComandaECFImprimeVia = [this](TRuVirIdUzaTipoRelatorio t, int via, const TStringList& img,
                                      int& r) {
      log.push_back(std::string("ImprimeVia:") + EnumName(t) + ":" + std::to_string(via));
      if (falharImprimeVia > 0) {
        --falharImprimeVia;
        r = 0;
        return;
      }
      viasImpressas.push_back(img);
      r = retornoImprimeVia;
    };
    c.OnInfoECF = [this](TRuVirIdUzaInfoECF, std::string& r) { r = estadoECF; };
    c.OnDepoisConfirmarTransacoes = [this](TRuVirIdUzaRespostasPendentes& p) {
      log.push_back("DepoisConfirmar:" + std::to_string(p.Count()));
      pendentesConfirmadas.push_back(p.Count());
      for (int i = 0; i < p.Count(); ++i) nsusConfirmadas.push_back(p[i].NSU());
    };
    c.OnDepoisCancelarTransacoes = [this](TRuVirIdUzaRespostasPendentes& p) {
      log.push_back("DepoisCancelar:" + std::to_string(p.Count()));
    };
    c.OnAntesCancelarTransacao = [this](TRuVirIdUzaResp& r) {
      log.push_back("AntesCancelar:" + r.Header());
    };
    c.OnExibeMenu = [this](const std::string& titulo, const TStringList& op, int& item, bool&) {
      std::string s;
      for (const auto& o : op) s += o + ";";
      log.push_back("Menu:" + titulo + ":" + s);
      item = menuIdx < menus.size() ? menus[menuIdx++] : 0;
    };
    c.OnObtemCampo = [this](const std::string& titulo, int, int, int tipo,
                            TRuVirIdUzaCliSiTefOperacaoCampo op, std::string& resp, bool&, bool&) {
      log.push_back("Campo:" + std::to_string(tipo) + ":" + EnumName(op) + ":" + titulo);
      resp = campoIdx < campos.size() ? campos[campoIdx++] : "";
    };
    c.OnObtemCheque = [this](const std::string&, int tipo, TRuVirIdUzaCliSiTefOperacaoCampo,
                             std::string&, bool&,
                             bool&) { log.push_back("Cheque:" + std::to_string(tipo)); };
    c.OnObterSenha = [this](const std::string& t, bool&) { log.push_back("Senha:" + t); };
    c.OnAguardaResp = [this](const std::string& a, int s, bool& i) {
      log.push_back("Aguarda:" + a + ":" + std::to_string(s));
      i = intIdx < interromper.size() ? interromper[intIdx++] : false;
    };
    c.OnExibeQRCode = [this](const std::string& q) {
      log.push_back("QRCode");
      qrcodes.push_back(q);
    };
  }

  // Entries that start with prefixo.
  std::vector<std::string> Com(const std::string& prefixo) const {
    std::vector<std::string> r;
    for (const auto& e : log) {
      if (e.compare(0, prefixo.size(), prefixo) == 0) r.push_back(e);
    }
    return r;
  }
};

// A file's bytes (Windows-1252) as UTF-8; empty when it does not exist.
inline std::string LerArquivo(const std::string& caminho) {
  std::ifstream f(caminho, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return platform::AnsiToUtf8(ss.str());
}

}  // namespace tef_test
