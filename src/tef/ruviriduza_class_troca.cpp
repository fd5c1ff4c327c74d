// The file-exchange forms of the manager base: delegated to the request and
// response file helpers. No manager of this system uses them (CliSiTef
// overrides every one), but the base stays complete for managers that talk
// to an external TEF program through files.
#include "tef/ruviriduza_class.h"
#include "tef/ruviriduza_erros.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace tef {

// ---------------------------------------------------------------- file exchange

void TRuVirIdUzaClass::IniciarRequisicao(const std::string& AHeader, int AID) {
  throw ERuVirIdUzaErro("Troca de arquivos não disponível");
}
void TRuVirIdUzaClass::GravarIdentificacao() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
void TRuVirIdUzaClass::FinalizarRequisicao() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
bool TRuVirIdUzaClass::RespostaValida() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
void TRuVirIdUzaClass::LerRespostaRequisicao() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
void TRuVirIdUzaClass::FinalizarResposta(bool ApagarArquivo) {
  throw ERuVirIdUzaErro("Troca de arquivos não disponível");
}
void TRuVirIdUzaClass::VerificaRequisicaoIniciada() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
void TRuVirIdUzaClass::Inicializar() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
int TRuVirIdUzaClass::LerTrilha3(std::string& AResposta) {
  AResposta.clear();
  return 0;
}
int TRuVirIdUzaClass::LerCartaoSeguro() { return 0; }
void TRuVirIdUzaClass::AtivarGP() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
void TRuVirIdUzaClass::VerificaAtivo() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
void TRuVirIdUzaClass::ConfirmarTransacoesAnteriores() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
void TRuVirIdUzaClass::ATV() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
bool TRuVirIdUzaClass::ADM() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
bool TRuVirIdUzaClass::CRT(TCurrency Valor, const std::string& IndiceFPG_ECF,
                           const std::string& /*NumeroCartao*/, const std::string& /*DataVencimento*/,
                           const std::string& /*CVV*/, const std::string& /*QtdParcela*/,
                           const std::string& DocumentoVinculado, int Moeda) {
  throw ERuVirIdUzaErro("Troca de arquivos não disponível");
}
bool TRuVirIdUzaClass::CHQ(TCurrency Valor, const std::string& IndiceFPG_ECF,
                           const std::string& DocumentoVinculado, const std::string& CMC7,
                           char TipoPessoa, const std::string& DocumentoPessoa,
                           const platform::TDateTime& DataCheque, const std::string& Banco,
                           const std::string& Agencia, const std::string& AgenciaDC,
                           const std::string& Conta, const std::string& ContaDC,
                           const std::string& Cheque, const std::string& ChequeDC,
                           const std::string& Compensacao) {
  throw ERuVirIdUzaErro("Troca de arquivos não disponível");
}
void TRuVirIdUzaClass::NCN(const std::string& Rede, const std::string& NSU,
                           const std::string& Finalizacao, TCurrency Valor,
                           const std::string& DocumentoVinculado) {
  throw ERuVirIdUzaErro("Troca de arquivos não disponível");
}
void TRuVirIdUzaClass::CNF(const std::string& Rede, const std::string& NSU,
                           const std::string& Finalizacao, const std::string& DocumentoVinculado) {
  throw ERuVirIdUzaErro("Troca de arquivos não disponível");
}
bool TRuVirIdUzaClass::CNC() { throw ERuVirIdUzaErro("Troca de arquivos não disponível"); }
bool TRuVirIdUzaClass::CNC(const std::string& Rede, const std::string& NSU,
                           const platform::TDateTime& DataHoraTransacao, TCurrency Valor) {
  throw ERuVirIdUzaErro("Troca de arquivos não disponível");
}

}  // namespace tef
