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
  explicit Aguardando(TRuVirIdUzaTrocaHost& h) : FHost(h) { FHost.SetAguardandoResposta(true); }
  ~Aguardando() { FHost.SetAguardandoResposta(false); }
  Aguardando(const Aguardando&) = delete;
  Aguardando& operator=(const Aguardando&) = delete;

 private:
  TRuVirIdUzaTrocaHost& FHost;
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
  if (!FRequisicaoIniciada) throw ERuVirIdUzaErro("Nenhuma requisição foi iniciada");
}

void TRuVirIdUzaTroca::IniciarRequisicao(const std::string& AHeader, int AID) {
  if (FHost.AguardandoResposta()) throw ERuVirIdUzaErro("Requisição anterior não concluida");
  FHost.GravaLog(FHost.Nome() + " IniciarRequisicao: " + AHeader);
  FHost.VerificaInicializado();
  if ((AHeader == "CRT" || AHeader == "CHQ") && FHost.MultiplosCartoes()) {
    FHost.ConfirmarTransacoesAnteriores();
  }
  // The check itself runs an ATV, which must not check again.
  if (AHeader != "ATV") FHost.VerificaAtivo();
  FHost.SetEstadoReq(reqIniciando);
  FHost.Req().Clear();
  FHost.Resp().Clear();
  for (const std::string& f : {FHost.ArqTmp(), FHost.ArqReq(), FHost.ArqResp(), FHost.ArqSTS()}) {
    ApagarArquivoTef(f, FHost.Env());
  }
  FHost.SetIDSeq(AID > 0 ? AID : FHost.IDSeq() + 1);
  FHost.Req().SetHeader(AHeader);
  FHost.Req().SetID(FHost.IDSeq());
  FHost.Req().Conteudo().GravarArquivo(FHost.ArqTmp(), false, FHost.Env());
  FRequisicaoIniciada = true;
}

void TRuVirIdUzaTroca::GravarIdentificacao() {
  const std::string aplicacao = TrimTef(FHost.NomeAplicacao() + " " + FHost.VersaoAplicacao());
  const std::string empresa = FHost.RazaoSocial();
  if (!aplicacao.empty()) FHost.Req().GravaInformacao(701, 0, aplicacao);
  if (!empresa.empty()) FHost.Req().GravaInformacao(716, 0, empresa);
  if (!aplicacao.empty() || !empresa.empty()) {
    FHost.Req().GravaInformacao(706, 0, FHost.SubtotalizaPeloECF() ? "3" : "1");
  }
}

bool TRuVirIdUzaTroca::Esperar(const std::string& arquivo, int limite_s) {
  platform::TEnv& env = FHost.Env();
  const int64_t inicio = env.MonotonicMillis();
  const int64_t prazo = inicio + int64_t{std::max(limite_s, 0)} * 1000;
  bool interromper = false;
  bool recebido = false;
  do {
    env.SleepMillis(std::max(FHost.EsperaSleep(), 1));
    const int64_t agora = env.MonotonicMillis();
    const int segundos = static_cast<int>((limite_s >= 0 ? prazo - agora : agora - inicio) / 1000);
    FHost.AguardaResp(arquivo, std::max(segundos, 0), interromper);
    recebido = env.FileExists(arquivo);
  } while (!recebido && !interromper && (limite_s < 0 || env.MonotonicMillis() <= prazo));
  return recebido;
}

void TRuVirIdUzaTroca::FinalizarRequisicao() {
  VerificaRequisicaoIniciada();
  TRuVirIdUzaReq& req = FHost.Req();
  const std::string nome = FHost.Nome();
  FHost.SetEstadoReq(reqCriandoArquivo);
  FHost.AntesFinalizarRequisicao(req);
  FHost.GravaLog(nome + " FinalizarRequisicao: " + req.Header() +
                 ", Fechando arquivo: " + FHost.ArqTmp());
  req.GravaInformacao(999, 999, "0");
  req.Conteudo().GravarArquivo(FHost.ArqTmp(), true, FHost.Env());
  FHost.GravaLog(", Renomeando: " + FHost.ArqTmp() + " para: " + FHost.ArqReq());
  if (!FHost.Env().RenameFile(FHost.ArqTmp(), FHost.ArqReq())) {
    throw ERuVirIdUzaArquivo("Erro ao Renomear:\r\n" + FHost.ArqTmp() + "para:" + "\r\n" +
                             FHost.ArqReq());
  }
  FHost.SetEstadoReq(reqAguardandoResposta);
  const std::string sts = FHost.ArqSTS();
  FHost.GravaLog(", Aguardando: " + sts);
  bool recebido;
  {
    Aguardando ocupado(FHost);
    recebido = Esperar(sts, FHost.EsperaSTS());
    bool interromper = false;
    FHost.AguardaResp(sts, -1, interromper);
  }
  FHost.GravaLog(", Fim da Espera de: " + sts + " " + (recebido ? "Recebido" : "Não recebido"));
  if (!recebido) {
    throw ERuVirIdUzaGPNaoResponde("O gerenciador padrão " + nome + " não está ativo !");
  }
  FHost.SetEstadoReq(reqConferindoResposta);
  FHost.GravaLog(", Verificando conteudo de: " + sts);
  FHost.Resp().LeArquivo(sts, FHost.Env());
  ApagarArquivoTef(FHost.ArqTmp(), FHost.Env());
  ApagarArquivoTef(sts, FHost.Env());
  if (!RespostaValida()) {
    ApagarArquivoTef(FHost.ArqResp(), FHost.Env());
    req.Clear();
    FHost.Resp().Clear();
    throw ERuVirIdUzaSTSInvalido("Falha na comunicação com o Gereciador Padrão: " + nome);
  }
  FHost.SetEstadoReq(reqFinalizada);
}

bool TRuVirIdUzaTroca::RespostaValida() {
  const auto* txt = dynamic_cast<const TRuVirIdUzaRespTXT*>(&FHost.Resp());
  if (txt == nullptr) return true;
  return txt->Header() == FHost.Req().Header() && txt->ID() == FHost.Req().ID() && txt->TrailerOk();
}

void TRuVirIdUzaTroca::LerRespostaRequisicao() {
  VerificaRequisicaoIniciada();
  const std::string nome = FHost.Nome();
  const std::string header = FHost.Req().Header();
  const std::string arquivo = FHost.ArqResp();
  FHost.Resp().Clear();
  if (header != "CNF" && header != "ATV") FHost.LiberarTeclado();
  FHost.SetEstadoResp(respAguardandoResposta);
  for (;;) {
    FHost.GravaLog(nome + " LerRespostaRequisicao: " + header + ", Aguardando: " + arquivo);
    bool recebido;
    {
      Aguardando ocupado(FHost);
      recebido = Esperar(arquivo, -1);
    }
    FHost.GravaLog(", Fim da Espera de: " + arquivo + " " +
                   (recebido ? "Recebido" : "Não recebido"));
    if (!recebido) break;  // interrupted by the host
    FHost.GravaLog(", Verificando conteudo de: " + arquivo);
    FHost.Resp().LeArquivo(arquivo, FHost.Env());
    if (RespostaValida()) break;
    FHost.GravaLog(", Arquivo inválido desprezado: \"" + arquivo + "\"" + "\r\n" +
                   FHost.Resp().Conteudo().Texto());
    FHost.Resp().Clear();
    ApagarArquivoTef(arquivo, FHost.Env());
  }
  FHost.Resp().SetTipoGP(FHost.Tipo());
  FHost.SetEstadoResp(respNenhum);
  ApagarArquivoTef(FHost.ArqReq(), FHost.Env());
}

void TRuVirIdUzaTroca::FinalizarResposta(bool ApagarArquivo) {
  FHost.SetEstadoResp(respConcluida);
  FHost.GravaLog(FHost.Nome() + " FinalizarResposta: " + FHost.Req().Header());
  if (ApagarArquivo) ApagarArquivoTef(FHost.ArqResp(), FHost.Env());
  FHost.Req().Clear();
  FHost.Resp().Clear();
  FRequisicaoIniciada = false;
}

void TRuVirIdUzaTroca::LimparArquivosAoInicializar() {
  ApagarArquivoTef(FHost.ArqTmp(), FHost.Env());
  ApagarArquivoTef(FHost.ArqReq(), FHost.Env());
  ApagarArquivoTef(FHost.ArqSTS(), FHost.Env());
  const std::string resp = FHost.ArqResp();
  if (!FHost.Env().FileExists(resp)) return;
  TRuVirIdUzaArquivo conteudo;
  conteudo.LeArquivo(resp, FHost.Env());
  const std::string status = TrimTef(conteudo.LeInformacao(9, 0).AsString());
  if (!platform::IgualSemCaixa(status, "FF")) ApagarArquivoTef(resp, FHost.Env());
}

}  // namespace tef
