#include "tef/ruviriduza_clisitef.h"

#include <array>

#include "platform/ansi.h"
#include "platform/regional.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_informacao.h"
#include "tef/ruviriduza_resp_clisitef.h"

namespace tef {

const char* const kCliSiTefEntryPoints[12] = {"ConfiguraIntSiTefInterativoEx",
                                              "IniciaFuncaoSiTefInterativo",
                                              "LeTrilha3",
                                              "LeCartaoSeguro",
                                              "LeCartaoDiretoSeguro",
                                              "LeCartaoDiretoEx",
                                              "ContinuaFuncaoSiTefInterativo",
                                              "FinalizaFuncaoSiTefInterativo",
                                              "FinalizaTransacaoSiTefInterativo",
                                              "EscreveMensagemPermanentePinPad",
                                              "ObtemQuantidadeTransacoesPendentes",
                                              "VerificaPresencaPinPad"};

namespace {

constexpr const char* kMsgTEFNaoIniciado = "Erro ao iniciar \"TEF\"";
constexpr const char* kMsgPinPadViagem = "** BOA VIAGEM **";

// The entry point slots of the table, in resolution order.
std::array<void**, 12> Slots(TCliSiTefFuncoes& f) {
  return {reinterpret_cast<void**>(&f.ConfiguraIntSiTefInterativoEx),
          reinterpret_cast<void**>(&f.IniciaFuncaoSiTefInterativo),
          reinterpret_cast<void**>(&f.LeTrilha3),
          reinterpret_cast<void**>(&f.LeCartaoSeguro),
          reinterpret_cast<void**>(&f.LeCartaoDiretoSeguro),
          reinterpret_cast<void**>(&f.LeCartaoDiretoEx),
          reinterpret_cast<void**>(&f.ContinuaFuncaoSiTefInterativo),
          reinterpret_cast<void**>(&f.FinalizaFuncaoSiTefInterativo),
          reinterpret_cast<void**>(&f.FinalizaTransacaoSiTefInterativo),
          reinterpret_cast<void**>(&f.EscreveMensagemPermanentePinPad),
          reinterpret_cast<void**>(&f.ObtemQuantidadeTransacoesPendentes),
          reinterpret_cast<void**>(&f.VerificaPresencaPinPad)};
}

const char* MensagemConfiguracao(int resultado) {
  switch (resultado) {
    case 1:
      return "Endereço IP inválido ou não resolvido";
    case 2:
      return "Código da loja inválido";
    case 3:
      return "Código de terminal inválido";
    case 6:
      return "Erro na inicialização do TCP/IP";
    case 7:
      return "Falta de memória";
    case 8:
      return "Não encontrou a dll do \"TEF\" ou ela está com problemas";
    case 10:
      return "O PinPad não está devidamente configurado no arquivo CliSiTef.ini";
    case 11:
      return "Dados inválidos passados pela automação.";
    case 12:
      return "Modo seguro não ativo (possível falta de configuração no servidor SiTef do arquivo "
             ".cha).";
    case 13:
      return "Caminho da DLL inválido (o caminho completo das bibliotecas está muito grande).";
    default:
      return nullptr;
  }
}

// Library text (Windows-1252) up to its terminator, trailing blanks removed.
std::string TextoBuffer(const char* buf, size_t tamanho) {
  size_t n = 0;
  while (n < tamanho && buf[n] != '\0') ++n;
  while (n > 0 && (buf[n - 1] == ' ' || buf[n - 1] == '\t')) --n;
  return platform::AnsiToUtf8(std::string_view(buf, n));
}

std::string A(const std::string& utf8) { return platform::Utf8ToAnsi(utf8).bytes(); }

}  // namespace

TRuVirIdUzaCliSiTef::TRuVirIdUzaCliSiTef(TRuVirIdUza* AOwner)
    : TRuVirIdUzaClass(AOwner), FLoader(&platform::SystemDynLibLoader()) {
  SetTipo(gpCliSiTef);
  SetNome("CliSiTef");
  auto resp = std::make_unique<TRuVirIdUzaRespCliSiTef>();
  resp->SetTipoGP(gpCliSiTef);
  SubstituirResp(std::move(resp));
}

TRuVirIdUzaCliSiTef::~TRuVirIdUzaCliSiTef() = default;

void TRuVirIdUzaCliSiTef::SetLoader(platform::IDynLibLoader* loader) {
  FLoader = loader != nullptr ? loader : &platform::SystemDynLibLoader();
}

void TRuVirIdUzaCliSiTef::DefinirNumVias(int) { SetNumViasValue(2); }

// ---------------------------------------------------------------- pre-answers

std::string TRuVirIdUzaCliSiTef::ValorResposta(int TipoCampo) const {
  const std::string nome = std::to_string(TipoCampo);
  for (const std::string& linha : FRespostas) {
    const size_t eq = linha.find('=');
    if (eq != std::string::npos && linha.compare(0, eq, nome) == 0) return linha.substr(eq + 1);
  }
  return {};
}

void TRuVirIdUzaCliSiTef::DefinirResposta(int TipoCampo, const std::string& valor) {
  const std::string nome = std::to_string(TipoCampo);
  for (auto it = FRespostas.begin(); it != FRespostas.end(); ++it) {
    const size_t eq = it->find('=');
    if (eq != std::string::npos && it->compare(0, eq, nome) == 0) {
      if (valor.empty())
        FRespostas.erase(it);
      else
        *it = nome + "=" + valor;
      return;
    }
  }
  if (!valor.empty()) FRespostas.push_back(nome + "=" + valor);
}

// ---------------------------------------------------------------- binding

std::string TRuVirIdUzaCliSiTef::CaminhoDLL() const {
  const std::string arquivo = platform::SharedLibraryFileName("clisitef");
  std::string pasta = TrimTef(fPathDLL);
  if (pasta.empty()) return arquivo;
  if (pasta.back() != '/') pasta += '/';
  return pasta + arquivo;
}

void TRuVirIdUzaCliSiTef::CarregarDLL() {
  const std::string caminho = CaminhoDLL();
  auto slots = Slots(FFuncoes);
  for (size_t i = 0; i < slots.size(); ++i) {
    if (*slots[i] != nullptr) continue;
    void* simbolo = nullptr;
    if (platform::DynLibHandle carregada = FLoader->Load(caminho)) {
      platform::DynLibHandle h = FLoader->GetHandle(caminho);
      simbolo = FLoader->Symbol(h != nullptr ? h : carregada, kCliSiTefEntryPoints[i]);
    }
    if (simbolo == nullptr) {
      throw ERuVirIdUzaErro(std::string("Erro ao carregar a função:") + kCliSiTefEntryPoints[i] +
                            " de: " + platform::SharedLibraryFileName("clisitef"));
    }
    *slots[i] = simbolo;
  }
}

void TRuVirIdUzaCliSiTef::DescarregarDLL() {
  if (platform::DynLibHandle h = FLoader->GetHandle(CaminhoDLL())) FLoader->Release(h);
  FFuncoes = TCliSiTefFuncoes{};
}

bool TRuVirIdUzaCliSiTef::DLLCarregada() const {
  return FFuncoes.ConfiguraIntSiTefInterativoEx != nullptr;
}

void TRuVirIdUzaCliSiTef::ExigirDLL() const {
  if (!DLLCarregada()) FalharNaoIniciado();
}

void TRuVirIdUzaCliSiTef::FalharNaoIniciado() { throw ERuVirIdUzaErro(kMsgTEFNaoIniciado); }

std::string TRuVirIdUzaCliSiTef::MontarParametrosAdicionais() const {
  std::string texto;
  for (size_t i = 0; i < FParametrosAdicionais.size(); ++i) {
    if (i > 0) texto += "\r\n";
    texto += FParametrosAdicionais[i];
  }
  texto = TrimTef(texto);
  std::string juntos;
  for (size_t i = 0; i < texto.size(); ++i) {
    if (texto.compare(i, 2, "\r\n") == 0) {
      juntos += ';';
      ++i;
    } else {
      juntos += texto[i];
    }
  }
  std::string p = "[" + juntos + "];{ValorIncluiTaxa=0;};";
  const TRuVirIdUza& c = Owner();
  if (!c.CNPJLoja().empty() && !c.CNPJZoVure().empty()) {
    p += "[ParmsClient=1=" + TrimTef(c.CNPJLoja()) + ";2=" + TrimTef(c.CNPJZoVure()) + "];";
  }
  return p;
}

// ---------------------------------------------------------------- initialization

void TRuVirIdUzaCliSiTef::Inicializar() {
  if (Inicializado()) return;
  CarregarDLL();
  const std::string parametros = MontarParametrosAdicionais();
  // Written before the call, with a fixed result: a crash inside the library
  // still leaves what it was given in the log.
  GravaLog("*** ConfiguraIntSiTefInterativoEx. EnderecoIP: " + FEnderecoIP +
           " CodigoLoja: " + FCodigoLoja + " NumeroTerminal: " + FNumeroTerminal + " Resultado: 0" +
           " ParametrosAdicionais: " + parametros);
  const int resultado = Entrada(FFuncoes.ConfiguraIntSiTefInterativoEx)(
      A(FEnderecoIP).c_str(), A(FCodigoLoja).c_str(), A(FNumeroTerminal).c_str(), 0,
      A(parametros).c_str());
  if (const char* msg = MensagemConfiguracao(resultado)) {
    if (!FModoServico) Owner().DoExibeMsg(opmOK, msg);
    throw ERuVirIdUzaErro(msg);
  }
  GravaLog(Name() + " Inicializado CliSiTEF");
  try {
    Owner().EstadoECF();
  } catch (...) {
    // The printer state is only asked for; a host without a printer is fine.
  }
  SetInicializadoFlag(true);
  // No function of the library is current after a configuration: what the
  // last one was (a reprint, a return) must not decide how a recovered
  // transaction is finished.
  fReimpressao = fCancelamento = fDevolucao = false;
  RecuperarTransacoesPendentes();
}

void TRuVirIdUzaCliSiTef::DesInicializar() {
  DescarregarDLL();
  TRuVirIdUzaClass::DesInicializar();
}

void TRuVirIdUzaCliSiTef::AtivarGP() {
  throw ERuVirIdUzaErro("CliSiTef não pode ser ativado localmente");
}

void TRuVirIdUzaCliSiTef::VerificaAtivo() {}

void TRuVirIdUzaCliSiTef::VerificaRequisicaoIniciada() {}

// ---------------------------------------------------------------- utilities

std::string TRuVirIdUzaCliSiTef::VerificarPresencaPinPad() {
  std::string texto;
  if (FFuncoes.VerificaPresencaPinPad == nullptr) throw ERuVirIdUzaErro(kMsgTEFNaoIniciado);
  switch (FFuncoes.VerificaPresencaPinPad()) {
    case -1:
      texto = "Erro na DLL ou arquivo .INI do PINPAD";
      break;
    case 0:
      texto = "Nenhum PINPAD conectado...";
      break;
    case 1:
      texto = "PINPAD conectado com sucesso...";
      break;
    default:
      break;
  }
  return texto;
}

int TRuVirIdUzaCliSiTef::DefineMensagemPermanentePinPad(const std::string& Mensagem) {
  if (FFuncoes.EscreveMensagemPermanentePinPad == nullptr) {
    throw ERuVirIdUzaErro(kMsgTEFNaoIniciado);
  }
  return FFuncoes.EscreveMensagemPermanentePinPad(A(Mensagem).c_str());
}

int TRuVirIdUzaCliSiTef::ObtemQuantidadeTransacoesPendentes(const platform::TDateTime& Data,
                                                            const std::string& CupomFiscal) {
  const std::string data = platform::FormatDateTime("yyyymmdd", Data);
  if (FFuncoes.ObtemQuantidadeTransacoesPendentes == nullptr) {
    throw ERuVirIdUzaErro(kMsgTEFNaoIniciado);
  }
  return FFuncoes.ObtemQuantidadeTransacoesPendentes(data.c_str(), A(CupomFiscal).c_str());
}

int TRuVirIdUzaCliSiTef::LerCartaoSeguro() {
  const auto leCartao = Entrada(FFuncoes.LeCartaoDiretoEx);
  TRuVirIdUza& c = Owner();
  c.DoExibeMsg(opmExibirMsgOperador, "Passe o cartão");
  c.DoExibeMsg(opmExibirMsgCliente, "Passe o cartão");
  char trilha1[25] = {};
  char trilha2[129] = {};
  char trilha3[129] = {};
  const int resultado = leCartao(trilha1, trilha2, trilha3, 0, 0);
  const std::string t2 = TextoBuffer(trilha2, sizeof trilha2);
  const std::string t3 = TextoBuffer(trilha3, sizeof trilha3);
  c.FLeituraCartao = t3.empty() ? t2 : t2 + "\r" + " ( " + t3 + " )";
  c.DoExibeMsg(opmRemoverMsgOperador, "");
  c.DoExibeMsg(opmRemoverMsgCliente, "");
  DefineMensagemPermanentePinPad(kMsgPinPadViagem);
  return resultado;
}

int TRuVirIdUzaCliSiTef::LerTrilha3(std::string& AResposta) {
  const auto leTrilha3 = Entrada(FFuncoes.LeTrilha3);
  TRuVirIdUza& c = Owner();
  c.FLeituraCartao.clear();
  DefineMensagemPermanentePinPad("PASSE O CARTAO");
  char buffer[20001] = {};
  int resultado = leTrilha3(buffer);
  if (resultado == 10000) resultado = ContinuarFuncao(true, "", "", "", "");
  DefineMensagemPermanentePinPad(kMsgPinPadViagem);
  AResposta = c.FLeituraCartao;
  return resultado;
}

}  // namespace tef
