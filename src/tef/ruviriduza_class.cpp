#include "tef/ruviriduza_class.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/regional.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_req.h"
#include "tef/ruviriduza_resp.h"
#include "tef/ruviriduza_resp_txt.h"
#include "tef/ruviriduza_respostaspendentes.h"
#include "tef/ruviriduza_troca.h"

namespace tef {

namespace {

std::mutex& MutexLog() {
  static std::mutex m;
  return m;
}

constexpr const char* kImpressoraNaoResponde =
    "Impressora não responde\r\nDeseja imprimir novamente ?";

}  // namespace

platform::TEnv& TRuVirIdUzaClass::Env() const { return FOwner->Env(); }

int64_t TRuVirIdUzaClass::AgoraMs() const { return Env().MonotonicMillis(); }

void GravarLogTEF(const std::string& arquivo, const std::string& texto, platform::TEnv& env) {
  if (arquivo.empty()) return;
  try {
    const std::string linha =
        "-- " + platform::FormatDateTime("dd/mm hh:nn:ss:zzz", env.Now()) + " - " + texto + "\r\n";
    const platform::AnsiString bytes = platform::Utf8ToAnsi(linha);
    std::lock_guard<std::mutex> lock(MutexLog());
    env.AppendToFile(arquivo, bytes.bytes());
  } catch (...) {
    // Logging never disturbs the operation that logs.
  }
}

// ---------------------------------------------------------------- creation

TRuVirIdUzaClass::TRuVirIdUzaClass(TRuVirIdUza* AOwner)
    : FOwner(AOwner),
      FReq(std::make_unique<TRuVirIdUzaReq>()),
      FResp(std::make_unique<TRuVirIdUzaResp>()) {
  if (AOwner == nullptr) throw ERuVirIdUzaErro("TRuVirIdUzaClass deve ser criado por TRuVirIdUza");
  FArqLOG = AOwner->ArqLOG();
  fpIDSeq = platform::SecondsOfDay(AOwner->Env().Now());
  AOwner->SetEstadoReq(reqNenhum);
  AOwner->SetEstadoResp(respNenhum);
}

TRuVirIdUzaClass::~TRuVirIdUzaClass() = default;

void TRuVirIdUzaClass::SubstituirResp(std::unique_ptr<TRuVirIdUzaResp> r) { FResp = std::move(r); }

std::unique_ptr<TRuVirIdUzaResp> TRuVirIdUzaClass::CriarResposta() const {
  return std::make_unique<TRuVirIdUzaRespTXT>();
}

void TRuVirIdUzaClass::SetArquivos(const std::string& tmp, const std::string& req,
                                   const std::string& resp, const std::string& sts,
                                   const std::string& exe) {
  fArqTmp = tmp;
  fArqReq = req;
  fArqResp = resp;
  fArqSTS = sts;
  fGPExeName = exe;
}

void TRuVirIdUzaClass::SetInicializado(bool v) {
  if (v)
    Inicializar();
  else
    DesInicializar();
}

void TRuVirIdUzaClass::GravaLog(const std::string& texto) const {
  GravarLogTEF(FArqLOG, texto, Env());
}

void TRuVirIdUzaClass::VerificaInicializado() const {
  if (!fpInicializado) {
    throw ERuVirIdUzaGPNaoInicializado("Gerenciador Padrão: " + FName + " não foi inicializado");
  }
}

void TRuVirIdUzaClass::DefinirNumVias(int v) { FNumVias = v; }

void TRuVirIdUzaClass::DesInicializar() {
  fpInicializado = false;
  GravaLog(FName + " DesInicializado");
}

// ---------------------------------------------------------------- backup files

std::string TRuVirIdUzaClass::PrefixoArquivoBackup() const {
  return Owner().PathBackup() + "/RuVirIdUza_" + FName + "_";
}

std::string TRuVirIdUzaClass::ProximoArquivoBackup() const {
  const std::string prefixo = PrefixoArquivoBackup();
  for (int n = 1;; ++n) {
    char num[16];
    std::snprintf(num, sizeof num, "%03d", n);
    const std::string nome = prefixo + num + ".tef";
    if (!Env().FileExists(nome)) return nome;
  }
}

std::vector<std::string> TRuVirIdUzaClass::ListarArquivosBackup() const {
  const std::string prefixo = "RuVirIdUza_" + FName + "_";
  std::vector<std::string> nomes;
  std::vector<std::string> entradas;
  Env().ListFolder(Owner().PathBackup(), entradas);
  for (const std::string& n : entradas) {
    if (n.size() > prefixo.size() + 4 && n.compare(0, prefixo.size(), prefixo) == 0 &&
        n.compare(n.size() - 4, 4, ".tef") == 0) {
      nomes.push_back(Owner().PathBackup() + "/" + n);
    }
  }
  std::sort(nomes.begin(), nomes.end());
  return nomes;
}

std::string TRuVirIdUzaClass::CopiarResposta() {
  const std::string nome = ProximoArquivoBackup();
  GravaLog(FName + " CopiarResposta: " + FResp->Header() + " - " + std::to_string(FResp->ID()) +
           " Arq: " + nome);
  FResp->Conteudo().GravarArquivo(nome, true, Env());
  FResp->SetArqBackup(nome);
  return nome;
}

// ---------------------------------------------------------------- hand-over

void TRuVirIdUzaClass::ValidarValor(TCurrency Valor) {
  TRuVirIdUza& c = Owner();
  TRuVirIdUzaRespostasPendentes& p = c.RespostasPendentes();
  const TCurrency v = Valor.RoundedToCents(TArredondamento::MeioLongeDoZero);
  if (v <= TCurrency()) throw ERuVirIdUzaErro("Valor inválido");
  p.SetSaldoAPagar(v);
  if (c.TrocoMaximo() > TCurrency() && v > p.SaldoRestante() + c.TrocoMaximo()) {
    throw ERuVirIdUzaErro("Operação TEF permite Troco Máximo de R$ " +
                          c.TrocoMaximo().FormatComma());
  }
  if (c.MultiplosCartoes() && c.NumeroMaximoCartoes() > 0 && p.Count() >= c.NumeroMaximoCartoes()) {
    throw ERuVirIdUzaErro("Multiplos Cartões Limitado a " +
                          std::to_string(c.NumeroMaximoCartoes()) + " operações.");
  }
}

void TRuVirIdUzaClass::ProcessarResposta() {
  TRuVirIdUza& c = Owner();
  GravaLog(FName + " ProcessarResposta: " + FResp->Header());
  c.SetEstadoResp(respProcessando);
  if (FResp->QtdLinhasComprovante() <= 0) return;
  TRuVirIdUzaRespostasPendentes& p = c.RespostasPendentes();
  auto copia = CriarResposta();
  copia->Assign(*FResp);
  p.Add(std::move(copia));
  try {
    ImprimirRelatorio();
    if (c.OnDepoisConfirmarTransacoes) c.OnDepoisConfirmarTransacoes(p);
  } catch (...) {
    p.Clear();
    throw;
  }
  p.Clear();
}

bool TRuVirIdUzaClass::ProcessarRespostaPagamento(const std::string& IndiceECF, TCurrency Valor) {
  TRuVirIdUza& c = Owner();
  TRuVirIdUzaRespostasPendentes& p = c.RespostasPendentes();
  GravaLog("ProcessarRespostaPagamento ...");
  FResp->SetIndiceFPG_ECF(IndiceECF);
  auto nova = CriarResposta();
  nova->Assign(*FResp);
  TRuVirIdUzaResp& copia = *nova;
  p.Add(std::move(nova));
  GravaLog("ProcessarRespostaPagamento: RespostasPendentes (" + std::to_string(p.Count()) + ")");

  if (c.ModoServico()) {
    if (c.OnDepoisConfirmarTransacoes) c.OnDepoisConfirmarTransacoes(p);
    return true;
  }

  // The pending copy must know its backup file, or confirming it later
  // would leave the file behind to be confirmed again at the next start.
  try {
    copia.SetArqBackup(CopiarResposta());
  } catch (...) {
    // Without its backup the payment would not survive a crash, and
    // CancelarTransacoesPendentes (which works from the backup files) could
    // not undo it: undo it now and report the failure.
    GravaLog("ProcessarRespostaPagamento: backup não gravado, desfazendo a transação");
    try {
      NCN();
    } catch (...) {
    }
    p.Delete(p.Count() - 1);
    throw;
  }
  if (c.AutoEfetuarPagamento()) {
    bool desistiu = false;
    for (;;) {
      try {
        c.ECFPagamento(IndiceECF, Valor);
        p.SetSaldoAPagar(
            (p.SaldoAPagar() - Valor).RoundedToCents(TArredondamento::MeioLongeDoZero));
        copia.SetOrdemPagamento(p.Count() + 1);
        break;
      } catch (const ERuVirIdUzaECF&) {
        if (c.DoExibeMsg(opmYesNo, kImpressoraNaoResponde) == mrYes) continue;
        try {
          c.ComandarECF(opeCancelaCupom);
        } catch (...) {
        }
        desistiu = true;
        break;
      }
    }
    if (desistiu) c.CancelarTransacoesPendentes();
  }
  if (p.SaldoRestante() <= TCurrency() && c.AutoFinalizarCupom()) {
    GravaLog("AutoFinalizarCupom ...");
    c.FinalizarCupom(false);
    c.ImprimirTransacoesPendentes();
  }
  return true;
}

// ---------------------------------------------------------------- printing

bool TRuVirIdUzaClass::LiberarECF(bool finalizarCupom) {
  TRuVirIdUza& c = Owner();
  char estado = c.EstadoECF();
  if (estado == 'L') return true;
  if (estado == 'C')
    c.ComandarECF(opeFechaVinculado);
  else if (estado == 'G' || estado == 'R')
    c.ComandarECF(opeFechaGerencial);
  else if (estado == 'N' || estado == 'P' || estado == 'V') {
    if (finalizarCupom)
      c.FinalizarCupom(false);
    else
      c.ComandarECF(opeCancelaCupom);
  }
  estado = c.EstadoECF();
  return estado == 'L';
}

void TRuVirIdUzaClass::EsperarMensagens(int64_t inicioMs, int dormirMs) {
  while (AgoraMs() - inicioMs < 5000) {
    Env().SleepMillis(std::max(1, dormirMs));
  }
  Owner().DoExibeMsg(opmRemoverMsgOperador, "");
  Owner().DoExibeMsg(opmRemoverMsgCliente, "");
}

void TRuVirIdUzaClass::ImprimirRelatorio() {
  TRuVirIdUza& c = Owner();
  TRuVirIdUzaResp& r = *FResp;
  if (r.QtdLinhasComprovante() <= 0) return;
  GravaLog(FName + " ImprimirRelatorio: " + r.Header());
  if (fpSalvarArquivoBackup) CopiarResposta();

  bool impresso = false;
  for (;;) {
    try {
      if (!LiberarECF(false)) throw ERuVirIdUzaECF("ECF não está LIVRE");
      const int64_t inicio = AgoraMs();
      bool exibiu = false;
      if (!r.TextoEspecialOperador().empty()) {
        c.DoExibeMsg(opmExibirMsgOperador, r.TextoEspecialOperador());
        exibiu = true;
      }
      if (!r.TextoEspecialCliente().empty()) {
        c.DoExibeMsg(opmExibirMsgCliente, r.TextoEspecialCliente());
        exibiu = true;
      }
      bool abriu = false;
      for (int via = 1; via <= FNumVias; ++via) {
        const TStringList& imagem =
            via == 1 ? r.ImagemComprovante1aVia() : r.ImagemComprovante2aVia();
        if (imagem.empty()) continue;
        if (!abriu) {
          c.ComandarECF(opeAbreGerencial);
          abriu = true;
        } else {
          c.ComandarECF(opePulaLinhas);
          c.DoExibeMsg(opmDestaqueVia, "Destaque a " + std::to_string(via) + "ª Via");
        }
        c.ECFImprimeVia(trGerencial, via, imagem);
      }
      if (abriu) c.ComandarECF(opeFechaGerencial);
      if (exibiu) EsperarMensagens(inicio, c.EsperaSleep());
      impresso = true;
      break;
    } catch (const ERuVirIdUzaECF&) {
      if (c.DoExibeMsg(opmYesNo, kImpressoraNaoResponde) != mrYes) break;
    }
  }

  // Once, not "while it exists": a file that cannot be deleted must not
  // confirm the transaction again and again.
  if (Env().FileExists(r.ArqBackup())) {
    try {
      if (impresso)
        CNF();
      else
        NCN();
    } catch (...) {
    }
    Env().RemoveFile(r.ArqBackup());
  }
  if (!impresso) throw ERuVirIdUzaECF("Impressão de Relatório Falhou");
}

// ---------------------------------------------------------------- recovery and cancellation

void TRuVirIdUzaClass::RecuperarTransacoesPendentes() {
  TRuVirIdUza& c = Owner();
  TRuVirIdUzaRespostasPendentes& p = c.RespostasPendentes();
  p.Clear();
  const std::vector<std::string> arquivos = ListarArquivosBackup();
  c.SetTransacaoConfirmada(!arquivos.empty());
  std::string nsus, documentos;
  bool recuperou = false;
  const auto apagar = [this](const std::string& arq) {
    if (!Env().RemoveFile(arq)) GravaLog("Não foi possível apagar o arquivo de backup: " + arq);
  };
  for (const std::string& arq : arquivos) {
    if (!Env().FileExists(arq)) continue;
    try {
      FResp->LeArquivo(arq, Env());
      // A file without the operation header is not a response we wrote;
      // confirming it would finish whatever the library holds blindly.
      if (TrimTef(FResp->Header()).empty()) throw ERuVirIdUzaArquivo("Arquivo inválido: " + arq);
      // Confirmed already and left behind: confirming it again would finish
      // whatever the library holds by then.
      const std::string chave = arq + "\n" + FResp->Conteudo().Texto();
      if (FBackupsRecuperados.count(chave) != 0) {
        apagar(arq);
        continue;
      }
      FResp->SetArqBackup(arq);
      recuperou = true;
      CNF();
      FBackupsRecuperados.insert(chave);
      auto copia = CriarResposta();
      copia->Assign(*FResp);
      copia->SetPendente(true);
      const std::string nsu = TrimTef(copia->NSU());
      if (!nsu.empty()) nsus += nsu + "\r\n";
      if (!copia->DocumentoVinculado().empty()) documentos += copia->DocumentoVinculado() + "\r\n";
      p.Add(std::move(copia));
      apagar(arq);
    } catch (...) {
      // This file stays for the next start; the others are still recovered.
    }
  }
  try {
    if (c.OnDepoisConfirmarTransacoes && p.Count() > 0) c.OnDepoisConfirmarTransacoes(p);
  } catch (...) {
    p.Clear();
    throw;
  }
  p.Clear();
  if (recuperou) {
    c.DoExibeMsg(opmOK, "Transação TEF efetuada.\r\nFavor reimprimir último Cupom.\r\nNSU: " +
                            nsus + "\r\nNº Documento: " + documentos +
                            "\r\n(Para Cielo utilizar os 6 últimos dígitos.)");
  }
}

void TRuVirIdUzaClass::CancelarTransacoesPendentesClass() {
  TRuVirIdUza& c = Owner();
  GravaLog(FName + " CancelarTransacoesPendentesClass ");
  const std::vector<std::string> arquivos = ListarArquivosBackup();

  // Confirmed payments go last: undo the unconfirmed ones first.
  std::vector<std::string> frente, fim;
  for (const std::string& arq : arquivos) {
    bool paraOFim = false;
    try {
      FResp->LeArquivo(arq, Env());
      const std::string h = FResp->Header();
      const bool cncOuAdm = !h.empty() && std::string("CNC,ADM").find(h) != std::string::npos;
      paraOFim = !cncOuAdm && FResp->CNFEnviado();
    } catch (...) {
    }
    (paraOFim ? fim : frente).push_back(arq);
  }
  frente.insert(frente.end(), fim.begin(), fim.end());

  std::vector<std::unique_ptr<TRuVirIdUzaResp>> processadas;
  for (const std::string& arq : frente) {
    if (!Env().FileExists(arq)) continue;
    try {
      FResp->LeArquivo(arq, Env());
      FResp->SetArqBackup(arq);
      const bool txt = dynamic_cast<const TRuVirIdUzaRespTXT*>(FResp.get()) != nullptr;
      const bool repetida = std::any_of(processadas.begin(), processadas.end(), [&](const auto& r) {
        return txt ? r->Rede() == FResp->Rede() && r->NSU() == FResp->NSU() &&
                         r->Finalizacao() == FResp->Finalizacao() &&
                         r->ValorTotal() == FResp->ValorTotal()
                   : r->DocumentoVinculado() == FResp->DocumentoVinculado();
      });
      if (repetida) {
        Env().RemoveFile(arq);
        continue;
      }
      auto copia = CriarResposta();
      copia->Assign(*FResp);
      if (c.OnAntesCancelarTransacao) {
        try {
          c.OnAntesCancelarTransacao(*copia);
        } catch (...) {
        }
      }
      if (!FResp->CNFEnviado() || FResp->Header() == "CHQ") {
        NCN();
      } else if (!CNC()) {
        throw ERuVirIdUzaErro("CNC nao efetuado");
      }
      Env().RemoveFile(arq);
      processadas.push_back(std::move(copia));
    } catch (...) {
      // This file stays; the others are still undone.
    }
  }
}

// ---------------------------------------------------------------- parameterless forms

void TRuVirIdUzaClass::NCN() {
  NCN(FResp->Rede(), FResp->NSU(), FResp->Finalizacao(), FResp->ValorTotal(),
      FResp->DocumentoVinculado());
}

void TRuVirIdUzaClass::CNF() {
  CNF(FResp->Rede(), FResp->NSU(), FResp->Finalizacao(), FResp->DocumentoVinculado());
}

}  // namespace tef
