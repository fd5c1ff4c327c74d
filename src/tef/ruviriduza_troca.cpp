#include "tef/ruviriduza_troca.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "platform/text.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_resp_txt.h"

namespace tef {
namespace {

bool Existe(const std::string& nome) {
  std::error_code ec;
  return !nome.empty() && std::filesystem::exists(nome, ec);
}

// Marks the host busy for the length of a wait, so an event handler cannot
// start a second request from inside it.
class Aguardando {
 public:
  explicit Aguardando(TRuVirIdUzaTrocaHost& h) : h_(h) { h_.SetAguardandoResposta(true); }
  ~Aguardando() { h_.SetAguardandoResposta(false); }
  Aguardando(const Aguardando&) = delete;
  Aguardando& operator=(const Aguardando&) = delete;

 private:
  TRuVirIdUzaTrocaHost& h_;
};

}  // namespace

void ApagarArquivoTef(const std::string& nome) {
  if (nome.empty()) return;
  std::error_code ec;
  std::filesystem::remove(nome, ec);
  if (std::filesystem::exists(nome, ec)) {
    throw ERuVirIdUzaArquivo("Erro ao apagar o arquivo:\r\n" + nome);
  }
}

std::string MensagemNCN(const std::string& Rede, const std::string& NSU, TCurrency Valor) {
  std::string msg = "Última Transação TEF foi cancelada";
  if (!Rede.empty() || !NSU.empty() || !Valor.IsZero()) {
    msg += "\r\n\r\nRede: " + Rede + "\r\nNSU: " + NSU + "\r\nValor: " + Valor.FormatComma();
  }
  return msg;
}

void TRuVirIdUzaTroca::VerificaRequisicaoIniciada() const {
  if (!fRequisicaoIniciada) throw ERuVirIdUzaErro("Nenhuma requisição foi iniciada");
}

void TRuVirIdUzaTroca::IniciarRequisicao(const std::string& AHeader, int AID) {
  if (fHost.AguardandoResposta()) throw ERuVirIdUzaErro("Requisição anterior não concluida");
  fHost.GravaLog(fHost.Nome() + " IniciarRequisicao: " + AHeader);
  fHost.VerificaInicializado();
  if ((AHeader == "CRT" || AHeader == "CHQ") && fHost.MultiplosCartoes()) {
    fHost.ConfirmarTransacoesAnteriores();
  }
  // The check itself runs an ATV, which must not check again.
  if (AHeader != "ATV") fHost.VerificaAtivo();
  fHost.SetEstadoReq(reqIniciando);
  fHost.Req().Clear();
  fHost.Resp().Clear();
  for (const std::string& f : {fHost.ArqTmp(), fHost.ArqReq(), fHost.ArqResp(), fHost.ArqSTS()}) {
    ApagarArquivoTef(f);
  }
  fHost.SetIDSeq(AID > 0 ? AID : fHost.IDSeq() + 1);
  fHost.Req().SetHeader(AHeader);
  fHost.Req().SetID(fHost.IDSeq());
  fHost.Req().Conteudo().GravarArquivo(fHost.ArqTmp(), false);
  fRequisicaoIniciada = true;
}

void TRuVirIdUzaTroca::GravarIdentificacao() {
  const std::string aplicacao = TrimTef(fHost.NomeAplicacao() + " " + fHost.VersaoAplicacao());
  const std::string empresa = fHost.RazaoSocial();
  if (!aplicacao.empty()) fHost.Req().GravaInformacao(701, 0, aplicacao);
  if (!empresa.empty()) fHost.Req().GravaInformacao(716, 0, empresa);
  if (!aplicacao.empty() || !empresa.empty()) {
    fHost.Req().GravaInformacao(706, 0, fHost.SubtotalizaPeloECF() ? "3" : "1");
  }
}

bool TRuVirIdUzaTroca::Esperar(const std::string& arquivo, int limite_s) {
  using Clock = std::chrono::steady_clock;
  const auto inicio = Clock::now();
  const auto prazo = inicio + std::chrono::seconds(std::max(limite_s, 0));
  bool interromper = false;
  bool recebido = false;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(fHost.EsperaSleep(), 1)));
    const auto agora = Clock::now();
    const int segundos =
        limite_s >= 0
            ? static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(prazo - agora).count())
            : static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(agora - inicio).count());
    fHost.AguardaResp(arquivo, std::max(segundos, 0), interromper);
    recebido = Existe(arquivo);
  } while (!recebido && !interromper && (limite_s < 0 || Clock::now() <= prazo));
  return recebido;
}

void TRuVirIdUzaTroca::FinalizarRequisicao() {
  VerificaRequisicaoIniciada();
  TRuVirIdUzaReq& req = fHost.Req();
  const std::string nome = fHost.Nome();
  fHost.SetEstadoReq(reqCriandoArquivo);
  fHost.AntesFinalizarRequisicao(req);
  fHost.GravaLog(nome + " FinalizarRequisicao: " + req.Header() + ", Fechando arquivo: " +
                 fHost.ArqTmp());
  req.GravaInformacao(999, 999, "0");
  req.Conteudo().GravarArquivo(fHost.ArqTmp(), true);
  fHost.GravaLog(", Renomeando: " + fHost.ArqTmp() + " para: " + fHost.ArqReq());
  std::error_code ec;
  std::filesystem::rename(fHost.ArqTmp(), fHost.ArqReq(), ec);
  if (ec) {
    throw ERuVirIdUzaArquivo("Erro ao Renomear:\r\n" + fHost.ArqTmp() + "para:" + "\r\n" +
                             fHost.ArqReq());
  }
  fHost.SetEstadoReq(reqAguardandoResposta);
  const std::string sts = fHost.ArqSTS();
  fHost.GravaLog(", Aguardando: " + sts);
  bool recebido;
  {
    Aguardando ocupado(fHost);
    recebido = Esperar(sts, fHost.EsperaSTS());
    bool interromper = false;
    fHost.AguardaResp(sts, -1, interromper);
  }
  fHost.GravaLog(", Fim da Espera de: " + sts + " " + (recebido ? "Recebido" : "Não recebido"));
  if (!recebido) {
    throw ERuVirIdUzaGPNaoResponde("O gerenciador padrão " + nome + " não está ativo !");
  }
  fHost.SetEstadoReq(reqConferindoResposta);
  fHost.GravaLog(", Verificando conteudo de: " + sts);
  fHost.Resp().LeArquivo(sts);
  ApagarArquivoTef(fHost.ArqTmp());
  ApagarArquivoTef(sts);
  if (!RespostaValida()) {
    ApagarArquivoTef(fHost.ArqResp());
    req.Clear();
    fHost.Resp().Clear();
    throw ERuVirIdUzaSTSInvalido("Falha na comunicação com o Gereciador Padrão: " + nome);
  }
  fHost.SetEstadoReq(reqFinalizada);
}

bool TRuVirIdUzaTroca::RespostaValida() {
  const auto* txt = dynamic_cast<const TRuVirIdUzaRespTXT*>(&fHost.Resp());
  if (txt == nullptr) return true;
  return txt->Header() == fHost.Req().Header() && txt->ID() == fHost.Req().ID() && txt->TrailerOk();
}

void TRuVirIdUzaTroca::LerRespostaRequisicao() {
  VerificaRequisicaoIniciada();
  const std::string nome = fHost.Nome();
  const std::string header = fHost.Req().Header();
  const std::string arquivo = fHost.ArqResp();
  fHost.Resp().Clear();
  if (header != "CNF" && header != "ATV") fHost.LiberarTeclado();
  fHost.SetEstadoResp(respAguardandoResposta);
  for (;;) {
    fHost.GravaLog(nome + " LerRespostaRequisicao: " + header + ", Aguardando: " + arquivo);
    bool recebido;
    {
      Aguardando ocupado(fHost);
      recebido = Esperar(arquivo, -1);
    }
    fHost.GravaLog(", Fim da Espera de: " + arquivo + " " + (recebido ? "Recebido" : "Não recebido"));
    if (!recebido) break;  // interrupted by the host
    fHost.GravaLog(", Verificando conteudo de: " + arquivo);
    fHost.Resp().LeArquivo(arquivo);
    if (RespostaValida()) break;
    fHost.GravaLog(", Arquivo inválido desprezado: \"" + arquivo + "\"" + "\r\n" +
                   fHost.Resp().Conteudo().Texto());
    fHost.Resp().Clear();
    ApagarArquivoTef(arquivo);
  }
  fHost.Resp().SetTipoGP(fHost.Tipo());
  fHost.SetEstadoResp(respNenhum);
  ApagarArquivoTef(fHost.ArqReq());
}

void TRuVirIdUzaTroca::FinalizarResposta(bool ApagarArquivo) {
  fHost.SetEstadoResp(respConcluida);
  fHost.GravaLog(fHost.Nome() + " FinalizarResposta: " + fHost.Req().Header());
  if (ApagarArquivo) ApagarArquivoTef(fHost.ArqResp());
  fHost.Req().Clear();
  fHost.Resp().Clear();
  fRequisicaoIniciada = false;
}

void TRuVirIdUzaTroca::LimparArquivosAoInicializar() {
  ApagarArquivoTef(fHost.ArqTmp());
  ApagarArquivoTef(fHost.ArqReq());
  ApagarArquivoTef(fHost.ArqSTS());
  const std::string resp = fHost.ArqResp();
  if (!Existe(resp)) return;
  TRuVirIdUzaArquivo conteudo;
  conteudo.LeArquivo(resp);
  const std::string status = TrimTef(conteudo.LeInformacao(9, 0).AsString());
  if (!platform::IgualSemCaixa(status, "FF")) ApagarArquivoTef(resp);
}

}  // namespace tef
