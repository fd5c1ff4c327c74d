#include "tef/ruviriduza_troca.h"

#include <algorithm>
#include <cctype>

#include "platform/text.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_resp_txt.h"

namespace tef {
namespace {

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

void ApagarArquivoTef(const std::string& nome, platform::TEnv& env) {
  if (nome.empty()) return;
  if (!env.RemoveFile(nome)) {
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
    ApagarArquivoTef(f, fHost.Env());
  }
  fHost.SetIDSeq(AID > 0 ? AID : fHost.IDSeq() + 1);
  fHost.Req().SetHeader(AHeader);
  fHost.Req().SetID(fHost.IDSeq());
  fHost.Req().Conteudo().GravarArquivo(fHost.ArqTmp(), false, fHost.Env());
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
  platform::TEnv& env = fHost.Env();
  const int64_t inicio = env.MonotonicMillis();
  const int64_t prazo = inicio + int64_t{std::max(limite_s, 0)} * 1000;
  bool interromper = false;
  bool recebido = false;
  do {
    env.SleepMillis(std::max(fHost.EsperaSleep(), 1));
    const int64_t agora = env.MonotonicMillis();
    const int segundos = static_cast<int>((limite_s >= 0 ? prazo - agora : agora - inicio) / 1000);
    fHost.AguardaResp(arquivo, std::max(segundos, 0), interromper);
    recebido = env.FileExists(arquivo);
  } while (!recebido && !interromper && (limite_s < 0 || env.MonotonicMillis() <= prazo));
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
  req.Conteudo().GravarArquivo(fHost.ArqTmp(), true, fHost.Env());
  fHost.GravaLog(", Renomeando: " + fHost.ArqTmp() + " para: " + fHost.ArqReq());
  if (!fHost.Env().RenameFile(fHost.ArqTmp(), fHost.ArqReq())) {
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
  fHost.Resp().LeArquivo(sts, fHost.Env());
  ApagarArquivoTef(fHost.ArqTmp(), fHost.Env());
  ApagarArquivoTef(sts, fHost.Env());
  if (!RespostaValida()) {
    ApagarArquivoTef(fHost.ArqResp(), fHost.Env());
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
    fHost.Resp().LeArquivo(arquivo, fHost.Env());
    if (RespostaValida()) break;
    fHost.GravaLog(", Arquivo inválido desprezado: \"" + arquivo + "\"" + "\r\n" +
                   fHost.Resp().Conteudo().Texto());
    fHost.Resp().Clear();
    ApagarArquivoTef(arquivo, fHost.Env());
  }
  fHost.Resp().SetTipoGP(fHost.Tipo());
  fHost.SetEstadoResp(respNenhum);
  ApagarArquivoTef(fHost.ArqReq(), fHost.Env());
}

void TRuVirIdUzaTroca::FinalizarResposta(bool ApagarArquivo) {
  fHost.SetEstadoResp(respConcluida);
  fHost.GravaLog(fHost.Nome() + " FinalizarResposta: " + fHost.Req().Header());
  if (ApagarArquivo) ApagarArquivoTef(fHost.ArqResp(), fHost.Env());
  fHost.Req().Clear();
  fHost.Resp().Clear();
  fRequisicaoIniciada = false;
}

void TRuVirIdUzaTroca::LimparArquivosAoInicializar() {
  ApagarArquivoTef(fHost.ArqTmp(), fHost.Env());
  ApagarArquivoTef(fHost.ArqReq(), fHost.Env());
  ApagarArquivoTef(fHost.ArqSTS(), fHost.Env());
  const std::string resp = fHost.ArqResp();
  if (!fHost.Env().FileExists(resp)) return;
  TRuVirIdUzaArquivo conteudo;
  conteudo.LeArquivo(resp, fHost.Env());
  const std::string status = TrimTef(conteudo.LeInformacao(9, 0).AsString());
  if (!platform::IgualSemCaixa(status, "FF")) ApagarArquivoTef(resp, fHost.Env());
}

}  // namespace tef
