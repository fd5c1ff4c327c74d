// The numbers the CliSiTef library speaks in: the results of its functions,
// the commands of the interactive loop (ProximoComando) and the field codes
// (TipoCampo) of what it asks for and returns. Kept in one place so the loop,
// the response mapping and the tests read as words rather than numbers.
#pragma once

namespace tef::clisitef {

// ---- results of IniciaFuncaoSiTefInterativo / ContinuaFuncaoSiTefInterativo
inline constexpr int kContinuar = 10000;  // the dialogue goes on: call again
inline constexpr int kOk = 0;
inline constexpr int kModuloNaoInicializado = -1;
inline constexpr int kCanceladaPeloOperador = -2;
inline constexpr int kModalidadeInvalida = -3;
inline constexpr int kFaltaDeMemoria = -4;
inline constexpr int kSemConexaoSiTef = -5;
inline constexpr int kCanceladaPeloUsuario = -6;

// The text buffer exchanged with ContinuaFuncaoSiTefInterativo.
inline constexpr int kTamanhoBuffer = 20001;

// ---- Continua: what the answer of the previous command means
inline constexpr int kContinuaSeguir = 0;
inline constexpr int kContinuaVoltar = 1;
inline constexpr int kContinuaInterromper = -1;

// ---- commands (ProximoComando)
inline constexpr int kCmdGravarCampo = 0;  // a result field, for the record
inline constexpr int kCmdMsgOperador = 1;
inline constexpr int kCmdMsgCliente = 2;
inline constexpr int kCmdMsgAmbos = 3;
inline constexpr int kCmdTitulo = 4;
inline constexpr int kCmdRemoverMsgOperador = 11;
inline constexpr int kCmdRemoverMsgCliente = 12;
inline constexpr int kCmdRemoverMsgAmbos = 13;
inline constexpr int kCmdRemoverTitulo = 14;
inline constexpr int kCmdSimNao = 20;  // answer "0" yes, "1" no
inline constexpr int kCmdMenu = 21;
inline constexpr int kCmdAguardaTecla = 22;
inline constexpr int kCmdVerificaInterrupcao = 23;
inline constexpr int kCmdObterCampo = 30;
inline constexpr int kCmdObterCheque = 31;
inline constexpr int kCmdObterValor = 34;
inline constexpr int kCmdObterCodigoBarras = 35;
inline constexpr int kCmdExibirQRCode = 50;
inline constexpr int kCmdMsgQRCode = 52;

// ---- field codes (TipoCampo)
inline constexpr int kCampoNenhum = -1;       // the command carries no field
inline constexpr int kCampoIndicador15 = 15;  // flags stored as "True"
inline constexpr int kCampoIndicador25 = 25;
inline constexpr int kCampoReimpressao56 = 56;  // the function was a reprint
inline constexpr int kCampoReimpressao57 = 57;
inline constexpr int kCampoReimpressao58 = 58;
inline constexpr int kCampoModalidadePagto = 100;
inline constexpr int kCampoModalidadeExtenso = 101;
inline constexpr int kCampoModalidadePagtoDescrita = 102;
inline constexpr int kCampoDataHoraComprovante = 105;
inline constexpr int kCampoIdCarteiraDigital = 106;
inline constexpr int kCampoNomeCarteiraDigital = 107;
inline constexpr int kCampoBandeiraCarteiraDigital = 108;
inline constexpr int kCampoValorAprovadoCarteiraDigital = 109;
inline constexpr int kCampoDevolucao = 110;
inline constexpr int kCampoAutenticacao = 120;
inline constexpr int kCampoComprovante1aVia = 121;
inline constexpr int kCampoComprovante2aVia = 122;
inline constexpr int kCampoSaque = 130;
inline constexpr int kCampoInstituicao = 131;  // the network (CodigoRede)
inline constexpr int kCampoBandeira = 132;
inline constexpr int kCampoNSU = 133;
inline constexpr int kCampoNSUHost = 134;
inline constexpr int kCampoCodigoAutorizacao = 135;
inline constexpr int kCampoValorEntradaCDC = 139;
inline constexpr int kCampoDataEntradaCDC = 140;
inline constexpr int kCampoVencimentoParcela = 141;  // one per installment
inline constexpr int kCampoValorParcela = 142;       // one per installment
inline constexpr int kCampoValor = 146;
inline constexpr int kCampoValorConfirmado = 147;
inline constexpr int kCampoRede = 156;
inline constexpr int kCampoCodigoEstabelecimento = 157;
inline constexpr int kCampoSenha = 500;
inline constexpr int kCampoTipoPessoa = 501;
inline constexpr int kCampoDocumentoPessoa = 502;  // the customer's CPF
inline constexpr int kCampoCNPJCliente = 503;
inline constexpr int kCampoTelefoneCliente = 504;
inline constexpr int kCampoQtdParcelas = 505;
inline constexpr int kCampoDataPreDatado = 506;
inline constexpr int kCampoQtdParcelasFinal = 511;
inline constexpr int kCampoNumeroCartao = 512;
inline constexpr int kCampoDataVencimento = 513;
inline constexpr int kCampoCodigoSeguranca = 514;
inline constexpr int kCampoDataTransacaoCancelada = 515;
inline constexpr int kCampoNSUTransacaoCancelada = 516;
inline constexpr int kCampoCheque = 517;
inline constexpr int kCampoDataVencimentoCartao = 527;
inline constexpr int kCampoQRCode = 584;
inline constexpr int kCampoCMC7 = 613;
inline constexpr int kCampoBanco = 626;
inline constexpr int kCampoAgencia = 627;
inline constexpr int kCampoAgenciaDC = 628;
inline constexpr int kCampoConta = 629;
inline constexpr int kCampoContaDC = 630;
inline constexpr int kCampoMsgOperador = 732;
inline constexpr int kCampoCodigoHASH = 800;
inline constexpr int kCampoControle = 899;  // our own lines, by sequence below
inline constexpr int kCampoNumeroCartaoMascarado = 2021;
inline constexpr int kCampoMsgQRCode = 4128;
inline constexpr int kCampoDesconto = 4029;

// Sequences of the control field (kCampoControle).
inline constexpr int kControleCNFEnviado = 1;
inline constexpr int kControleIndiceFPG_ECF = 2;
inline constexpr int kControleOrdemPagamento = 3;
inline constexpr int kControleHeader = 100;
inline constexpr int kControleDocumento = 101;
inline constexpr int kControleDocumentoVinculado = 102;
inline constexpr int kControleValorCentavos = 103;
inline constexpr int kControleDataInicio = 104;
inline constexpr int kControleHoraInicio = 105;

}  // namespace tef::clisitef
