#include "tef/ruviriduza_resp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ansi.h"
#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza_erros.h"
#include "tef/ruviriduza_resp_clisitef.h"
#include "tef/ruviriduza_resp_txt.h"

namespace tef {
namespace {

using namespace clisitef;

using platform::TDateTime;

platform::AnsiString A(const std::string& utf8) { return platform::Utf8ToAnsi(utf8); }

TEST(EscapeTest, EscapesControlHighAndBackslashAndDecodesBack) {
  struct Case {
    std::string bytes, escaped;
  } cases[] = {
      {"A\nB", "A\\x0AB"},
      {std::string("\x01\x1F \x7F", 4), "\\x01\\x1F \x7F"},
      {"Cart\xE3o", "Cart\\xE3o"},
      {"C:\\x41", "C:\\x5Cx41"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscaparTef(c.bytes), c.escaped);
    EXPECT_EQ(DesescaparTef(c.escaped), platform::AnsiToUtf8(c.bytes)) << c.escaped;
  }
}

TEST(EscapeTest, UnescapeOfOddSequences) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"\\x41\\x42", "AB"}, {"a\\xZZb", "a b"},     // not hexadecimal: a blank
      {"\\x4", "\\x4"},                             // too near the end: kept, and no endless loop
      {"fim\\x", "fim\\x"}, {"\\x5Cx41", "\\x41"},  // one pass: a decoded backslash starts nothing
      {"\\xe3", "ã"},
  };
  for (const auto& c : cases) EXPECT_EQ(DesescaparTef(c.in), c.out) << c.in;
}

TEST(RespCliSiTefTest, GravaInformacaoSequencesEscapingAndPrintFlag) {
  TRuVirIdUzaRespCliSiTef r;
  for (const char* v : {"01012025", "01022025", "01032025"})
    r.GravaInformacao(kCampoVencimentoParcela, A(v));
  r.GravaInformacao(kCampoNSU, A("123"));
  r.GravaInformacao(kCampoNSU, A("456"));
  r.GravaInformacao(kCampoNSUHost, A("x"));
  r.GravaInformacao(kCampoNSUHost, A(""));
  EXPECT_FALSE(r.MsgImpressao());
  r.GravaInformacao(kCampoComprovante1aVia, A("L1\nL2\n"));
  EXPECT_TRUE(r.MsgImpressao());
  const std::vector<std::string> want = {"121-000 = L1\\x0AL2\\x0A", "133-000 = 456",
                                         "141-001 = 01012025", "141-002 = 01022025",
                                         "141-003 = 01032025"};
  EXPECT_EQ(r.Conteudo().Linhas(), want);
  r.Clear();
  EXPECT_FALSE(r.MsgImpressao());
  EXPECT_EQ(r.Conteudo().Count(), 0);
}

// Every row of the library mapping once.
TEST(RespCliSiTefTest, MapsACompleteResponse) {
  TRuVirIdUzaRespCliSiTef r;
  auto& c = r.Conteudo();
  c.GravaInformacao(kCampoControle, kControleHeader, "CRT");
  c.GravaInformacao(kCampoControle, kControleDocumento, "45296");
  c.GravaInformacao(kCampoControle, kControleDocumentoVinculado, "45296");
  c.GravaInformacao(kCampoControle, kControleValorCentavos, "1000");
  c.GravaInformacao(kCampoControle, kControleCNFEnviado, "s");
  c.GravaInformacao(kCampoControle, kControleIndiceFPG_ECF, "03");
  c.GravaInformacao(kCampoControle, kControleOrdemPagamento, "2");
  c.GravaInformacao(kCampoControle, kControleDataInicio, "ignored");
  const std::pair<int, std::string> campos[] = {
      {kCampoModalidadePagto, "0203"},
      {kCampoModalidadeExtenso, "Crédito parcelado"},
      {kCampoModalidadePagtoDescrita, "CREDITO ADM"},
      {kCampoDataHoraComprovante, "20240531123456"},
      {kCampoAutenticacao, "AUT123"},
      {kCampoComprovante1aVia, "VIA CLIENTE\nVALOR 10,00\n"},
      {kCampoComprovante2aVia, "VIA LOJA\nLINHA 2\nLINHA 3"},
      {kCampoSaque, "200"},
      {kCampoInstituicao, "Banco X"},
      {kCampoBandeira, "VISA"},
      {kCampoNSU, "000123"},
      {kCampoNSUHost, "123"},
      {kCampoCodigoAutorizacao, "A1B2C3"},
      {kCampoValorEntradaCDC, "500"},
      {kCampoDataEntradaCDC, "01062024"},
      {kCampoVencimentoParcela, "30062024"},
      {kCampoValorParcela, "450"},
      {kCampoVencimentoParcela, "30072024"},
      {kCampoValorParcela, "400"},
      {kCampoRede, "REDE"},
      {kCampoCodigoEstabelecimento, "000000001"},
      {kCampoTipoPessoa, "1"},
      {kCampoDocumentoPessoa, "12345678909"},
      {kCampoQtdParcelas, "1"},
      {kCampoDataPreDatado, "15062024"},
      {kCampoQtdParcelasFinal, "2"},
      {kCampoDataTransacaoCancelada, "10052024"},
      {kCampoNSUTransacaoCancelada, "999888"},
      {kCampoDataVencimentoCartao, "12/2030"},
      {kCampoCMC7, "12345678901234567890ABCDEF1234"},
      {kCampoBanco, "001"},
      {kCampoAgencia, "1234"},
      {kCampoAgenciaDC, "5"},
      {kCampoConta, "987654"},
      {kCampoContaDC, "0"},
      {kCampoCodigoHASH, "HASH"},
      {kCampoNumeroCartaoMascarado, "411111******1111"},
      {kCampoDesconto, "150"},
      {9999, "unmapped"},
  };
  for (const auto& [id, v] : campos) r.GravaInformacao(id, A(v));
  r.ConteudoToProperty();

  EXPECT_EQ(r.Header(), "CRT");
  EXPECT_EQ(r.ID(), 45296);
  EXPECT_EQ(r.DocumentoVinculado(), "45296");
  EXPECT_TRUE(r.CNFEnviado());
  EXPECT_EQ(r.IndiceFPG_ECF(), "03");
  EXPECT_EQ(r.OrdemPagamento(), 2);
  EXPECT_EQ(r.ModalidadePagto(), "0203");
  EXPECT_TRUE(r.Credito());
  EXPECT_FALSE(r.Debito());
  EXPECT_EQ(r.ParceladoPor(), parcADM);
  EXPECT_EQ(r.TipoOperacao(), opParcelado);
  EXPECT_EQ(r.ModalidadeExtenso(), "Crédito parcelado");
  EXPECT_EQ(r.ModalidadePagtoDescrita(), "CREDITO ADM");
  EXPECT_EQ(r.DataHoraTransacaoComprovante(), (TDateTime{2024, 5, 31, 12, 34, 56}));
  EXPECT_EQ(r.DataHoraTransacaoHost(), (TDateTime{2024, 5, 31, 12, 34, 56}));
  EXPECT_EQ(r.DataHoraTransacaoLocal(), (TDateTime{2024, 5, 31, 12, 34, 56}));
  EXPECT_EQ(r.Autenticacao(), "AUT123");
  EXPECT_EQ(r.ImagemComprovante1aVia(), (TStringList{"VIA CLIENTE", "VALOR 10,00"}));
  EXPECT_EQ(r.ImagemComprovante2aVia(), (TStringList{"VIA LOJA", "LINHA 2", "LINHA 3"}));
  EXPECT_EQ(r.QtdLinhasComprovante(), 3);
  EXPECT_EQ(r.Saque(), TCurrency::FromCents(200));
  EXPECT_EQ(r.Desconto(), TCurrency::FromCents(150));
  EXPECT_EQ(r.ValorTotal().FormatDot(), "10.50");  // 10.00 + 2.00 - 1.50
  EXPECT_EQ(r.Instituicao(), "Banco X");
  EXPECT_EQ(r.Bandeira(), "VISA");
  EXPECT_EQ(r.NSU(), "000123");
  EXPECT_EQ(r.NSUComprovante(), "123");
  EXPECT_EQ(r.CodigoAutorizacaoTransacao(), "A1B2C3");
  EXPECT_EQ(r.ValorEntradaCDC(), TCurrency::FromCents(500));
  EXPECT_EQ(r.DataEntradaCDC(), (TDateTime{2024, 6, 1}));
  EXPECT_EQ(r.Rede(), "REDE");
  EXPECT_EQ(r.CodigoEstabelecimento(), "000000001");
  EXPECT_EQ(r.TipoPessoa(), 'F');
  EXPECT_EQ(r.DocumentoPessoa(), "12345678909");
  EXPECT_EQ(r.QtdParcelas(), 2);  // 511 comes after 505
  EXPECT_EQ(r.DataPreDatado(), (TDateTime{2024, 6, 15}));
  EXPECT_EQ(r.DataHoraTransacaoCancelada(), (TDateTime{2024, 5, 10}));
  EXPECT_EQ(r.NSUTransacaoCancelada(), "999888");
  EXPECT_EQ(r.DataVencimento(), TDateTime());  // "12/2030" has too few digits
  EXPECT_EQ(r.CMC7(), "12345678901234567890ABCDEF1234");
  EXPECT_EQ(r.Cheque(), "ABCDEF");
  EXPECT_EQ(r.Banco(), "001");
  EXPECT_EQ(r.Agencia(), "1234");
  EXPECT_EQ(r.AgenciaDC(), "5");
  EXPECT_EQ(r.Conta(), "987654");
  EXPECT_EQ(r.ContaDC(), "0");
  EXPECT_EQ(r.CodigoHASH(), "HASH");
  EXPECT_EQ(r.NumeroCartao(), "411111******1111");
  ASSERT_EQ(r.Parcelas().Count(), 2);
  EXPECT_EQ(r.Parcelas()[0].Vencimento(), (TDateTime{2024, 6, 30}));
  EXPECT_EQ(r.Parcelas()[0].Valor(), TCurrency::FromCents(450));
  EXPECT_EQ(r.Parcelas()[1].Vencimento(), (TDateTime{2024, 7, 30}));
  EXPECT_EQ(r.Parcelas()[1].Valor(), TCurrency::FromCents(400));
  EXPECT_TRUE(r.TransacaoAprovada());

  // Mapping again gives the same amounts: nothing accumulates.
  r.ConteudoToProperty();
  EXPECT_EQ(r.ValorTotal().FormatDot(), "10.50");
  EXPECT_EQ(r.Parcelas().Count(), 2);
}

TEST(RespCliSiTefTest, PaymentMethodField100) {
  struct Case {
    const char* v;
    bool debito, credito;
    TRuVirIdUzaRespTipoOperacao op;
    TRuVirIdUzaRespParceladoPor por;
  } cases[] = {
      {"0203", false, true, opParcelado, parcADM},     {"0100", true, false, opAvista, parcNenhum},
      {"0401", false, false, opPreDatado, parcNenhum}, {"0202", false, true, opParcelado, parcLoja},
      {"0105", true, false, opOutras, parcNenhum},     {"01XX", true, false, opAvista, parcNenhum},
      {"XX", false, false, opAvista, parcNenhum},
  };
  for (const auto& c : cases) {
    TRuVirIdUzaRespCliSiTef r;
    r.GravaInformacao(kCampoModalidadePagto, A(c.v));
    r.ConteudoToProperty();
    EXPECT_EQ(r.Debito(), c.debito) << c.v;
    EXPECT_EQ(r.Credito(), c.credito) << c.v;
    EXPECT_EQ(r.TipoOperacao(), c.op) << c.v;
    EXPECT_EQ(r.ParceladoPor(), c.por) << c.v;
  }
}

TEST(RespCliSiTefTest, SmallCasesOfTheMapping) {
  TRuVirIdUzaRespCliSiTef r;
  r.Conteudo().GravaInformacao(kCampoControle, kControleValorCentavos, "1000");
  r.GravaInformacao(kCampoDesconto, A("150"));
  r.GravaInformacao(kCampoCMC7, A("12345"));
  r.GravaInformacao(kCampoTipoPessoa, A("0"));
  r.GravaInformacao(kCampoComprovante1aVia, A("UNICA\r\nLINHA"));
  r.ConteudoToProperty();
  EXPECT_EQ(r.ValorTotal().FormatDot(), "8.50");
  EXPECT_EQ(r.Cheque(), "");
  EXPECT_EQ(r.CMC7(), "12345");
  EXPECT_EQ(r.TipoPessoa(), 'J');
  EXPECT_EQ(r.ImagemComprovante1aVia(), (TStringList{"UNICA", "LINHA"}));
  EXPECT_TRUE(r.ImagemComprovante2aVia().empty());
  EXPECT_EQ(r.QtdLinhasComprovante(), 2);
  EXPECT_EQ(r.Parcelas().Count(), 0);  // no 141 line
}

TEST(RespCliSiTefTest, HugeInstallmentCountStopsAtTheLastSequence) {
  TRuVirIdUzaRespCliSiTef r;
  r.GravaInformacao(kCampoVencimentoParcela, A("01012025"));
  r.GravaInformacao(kCampoQtdParcelas, A("2000000000"));
  r.ConteudoToProperty();
  EXPECT_EQ(r.Parcelas().Count(), 999);
  EXPECT_EQ(r.Parcelas()[0].Vencimento(), (TDateTime{2025, 1, 1}));
}

TEST(RespTest, ClearKeepsCardAndMethodPropertiesUntilMapped) {
  TRuVirIdUzaRespCliSiTef r;
  r.GravaInformacao(kCampoNumeroCartaoMascarado, A("4111"));
  r.GravaInformacao(kCampoNSU, A("77"));
  r.Conteudo().GravaInformacao(kCampoControle, kControleValorCentavos, "500");
  r.ConteudoToProperty();
  r.SetTipoGP(gpCliSiTef);
  r.SetPendente(true);
  r.SetArqBackup("  /tmp/x.tef  ");
  EXPECT_EQ(r.ArqBackup(), "/tmp/x.tef");
  r.Clear();
  EXPECT_EQ(r.NSU(), "");
  EXPECT_TRUE(r.ValorTotal().IsZero());
  EXPECT_EQ(r.ArqBackup(), "");
  EXPECT_EQ(r.TipoPessoa(), ' ');
  EXPECT_EQ(r.NumeroCartao(), "4111");
  EXPECT_TRUE(r.Pendente());
  EXPECT_EQ(r.TipoGP(), gpCliSiTef);
}

TEST(RespTest, ControlSettersWriteTheirLines) {
  TRuVirIdUzaRespCliSiTef r;
  r.SetCNFEnviado(true);
  r.SetIndiceFPG_ECF("05");
  r.SetOrdemPagamento(3);
  EXPECT_EQ(r.Conteudo().Linhas(),
            (std::vector<std::string>{"899-001 = S", "899-002 = 05", "899-003 = 3"}));
  r.SetCNFEnviado(false);
  EXPECT_EQ(r.LeInformacao(kCampoControle, kControleCNFEnviado).AsString(), "N");
}

TEST(RespTest, AssignCopiesContentAndDerivesWithTheTargetMapping) {
  TRuVirIdUzaRespCliSiTef src;
  src.GravaInformacao(kCampoNSU, A("123456"));
  src.Conteudo().GravaInformacao(kCampoControle, kControleValorCentavos, "2500");
  src.SetArqBackup("/b/RuVirIdUza_CliSiTef_001.tef");
  src.SetTipoGP(gpCliSiTef);
  src.SetIndiceFPG_ECF("01");

  TRuVirIdUzaRespCliSiTef copy;
  copy.GravaInformacao(999, A("stale"));
  copy.Assign(src);
  EXPECT_EQ(copy.Conteudo().Linhas(), src.Conteudo().Linhas());
  EXPECT_EQ(copy.NSU(), "123456");
  EXPECT_EQ(copy.ValorTotal().FormatDot(), "25.00");
  EXPECT_EQ(copy.IndiceFPG_ECF(), "01");
  EXPECT_EQ(copy.ArqBackup(), "/b/RuVirIdUza_CliSiTef_001.tef");
  EXPECT_EQ(copy.TipoGP(), gpCliSiTef);

  TRuVirIdUzaResp base;  // the base mapping derives nothing
  base.Assign(src);
  EXPECT_EQ(base.Conteudo().Count(), src.Conteudo().Count());
  EXPECT_EQ(base.NSU(), "");
}

TEST(RespTest, LeArquivoLoadsAndMapsAndMissingFileFails) {
  const auto dir = std::filesystem::temp_directory_path() / "resp_test_learquivo";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string p = (dir / "RuVirIdUza_CliSiTef_001.tef").string();
  TRuVirIdUzaRespCliSiTef src;
  src.GravaInformacao(kCampoComprovante1aVia, A("Cartão\nfim"));
  src.GravaInformacao(kCampoNSU, A("42"));
  src.Conteudo().GravaInformacao(kCampoControle, kControleHeader, "CRT");
  src.Conteudo().GravarArquivo(p, true);

  TRuVirIdUzaRespCliSiTef r;
  r.GravaInformacao(kCampoNSUHost, A("stale"));
  r.LeArquivo(p);
  EXPECT_EQ(r.Header(), "CRT");
  EXPECT_EQ(r.NSU(), "42");
  EXPECT_EQ(r.NSUComprovante(), "");
  EXPECT_EQ(r.ImagemComprovante1aVia(), (TStringList{"Cartão", "fim"}));
  EXPECT_THROW(r.LeArquivo((dir / "nada.tef").string()), ERuVirIdUzaArquivo);
  std::filesystem::remove_all(dir);
}

TEST(RespTXTTest, MapsFileExchangeResponseWith710And712AndNo714) {
  TRuVirIdUzaRespTXT r;
  auto& c = r.Conteudo();
  const std::pair<const char*, const char*> linhas[] = {
      {"000-000", "CRT"},        {"001-000", "17"},       {"002-000", "123"},
      {"003-000", "1050"},       {"004-000", "0"},        {"006-000", "J"},
      {"009-000", "0"},          {"010-000", "REDECARD"}, {"011-000", "11"},
      {"012-000", "5555"},       {"013-000", "AUT9"},     {"014-000", "7"},
      {"015-000", "3112235959"}, {"017-000", "1"},        {"018-000", "2"},
      {"019-001", "10012025"},   {"019-002", "10022025"}, {"020-001", "525"},
      {"020-002", "525"},        {"021-001", "N1"},       {"022-000", "05032024"},
      {"023-000", "140709"},     {"027-000", "FIN"},      {"028-000", "9"},
      {"029-001", "\"antiga\""}, {"030-000", "OPER"},     {"031-000", "CLI"},
      {"040-000", "ADM X"},      {"707-000", "1100"},     {"708-000", "0"},
      {"709-000", "50"},         {"710-000", "2"},        {"711-001", "\"LINHA 1\""},
      {"711-002", "\"LINHA 2"},  {"712-000", "5"},        {"713-001", "\"ignorada\""},
      {"899-002", "04"},         {"999-999", "0"},
  };
  for (const auto& [k, v] : linhas) c.GravaInformacao(k, v);
  r.ConteudoToProperty();

  EXPECT_EQ(r.Header(), "CRT");
  EXPECT_EQ(r.ID(), 17);
  EXPECT_EQ(r.DocumentoVinculado(), "123");
  EXPECT_EQ(r.ValorTotal().FormatDot(), "10.50");
  EXPECT_EQ(r.TipoPessoa(), 'J');
  EXPECT_EQ(r.StatusTransacao(), "0");
  EXPECT_EQ(r.Rede(), "REDECARD");
  EXPECT_EQ(r.NSU(), "5555");
  EXPECT_EQ(r.CodigoAutorizacaoTransacao(), "AUT9");
  EXPECT_EQ(r.NumeroLoteTransacao(), 7);
  EXPECT_EQ(r.DataHoraTransacaoHost().Month, 12);
  EXPECT_EQ(r.TipoParcelamento(), 1);
  EXPECT_EQ(r.Finalizacao(), "FIN");
  EXPECT_EQ(r.DataHoraTransacaoComprovante(), (TDateTime{2024, 3, 5, 14, 7, 9}));
  EXPECT_EQ(r.TextoEspecialOperador(), "OPER");
  EXPECT_EQ(r.TextoEspecialCliente(), "CLI");
  EXPECT_EQ(r.NomeAdministradora(), "ADM X");
  EXPECT_EQ(r.ValorOriginal(), TCurrency::FromCents(1100));
  EXPECT_EQ(r.Desconto(), TCurrency::FromCents(50));
  EXPECT_EQ(r.QtdLinhasComprovante(), 2);  // 710, not 712
  EXPECT_EQ(r.ImagemComprovante1aVia(), (TStringList{"LINHA 1", "LINHA 2"}));
  EXPECT_EQ(r.ImagemComprovante2aVia(), r.ImagemComprovante1aVia());
  EXPECT_EQ(r.IndiceFPG_ECF(), "04");
  EXPECT_EQ(r.Trailer(), "0");
  EXPECT_TRUE(r.TrailerOk());
  EXPECT_TRUE(r.Credito());
  EXPECT_FALSE(r.Debito());
  EXPECT_EQ(r.TipoOperacao(), opParcelado);
  EXPECT_EQ(r.ParceladoPor(), parcADM);
  ASSERT_EQ(r.Parcelas().Count(), 2);
  EXPECT_EQ(r.Parcelas()[0].Vencimento(), (TDateTime{2025, 1, 10}));
  EXPECT_EQ(r.Parcelas()[0].Valor(), TCurrency::FromCents(525));
  EXPECT_EQ(r.Parcelas()[0].NSUParcela(), "N1");
  EXPECT_EQ(r.Parcelas()[1].NSUParcela(), "");
  EXPECT_TRUE(r.TransacaoAprovada());
}

TEST(RespTXTTest, ReceiptFieldsWithout710AndSecondCopy) {
  TRuVirIdUzaRespTXT r;
  auto& c = r.Conteudo();
  c.GravaInformacao("712-000", "1");
  c.GravaInformacao("713-001", "\"via 1\"");
  c.GravaInformacao("714-000", "1");
  c.GravaInformacao("715-001", "\"via 2\"");
  r.ConteudoToProperty();
  EXPECT_EQ(r.ImagemComprovante1aVia(), (TStringList{"via 1"}));
  EXPECT_EQ(r.ImagemComprovante2aVia(), (TStringList{"via 2"}));
  EXPECT_FALSE(r.TrailerOk());
}

TEST(RespTXTTest, TransactionTypeAndApproval) {
  struct Case {
    int tipo;
    bool debito, credito;
    TRuVirIdUzaRespTipoOperacao op;
  } tipos[] = {{10, false, true, opAvista},    {12, false, true, opParcelado},
               {20, true, false, opAvista},    {21, true, false, opPreDatado},
               {22, true, false, opParcelado}, {25, true, false, opPreDatado},
               {40, true, false, opParcelado}, {30, false, false, opOutras}};
  for (const auto& t : tipos) {
    TRuVirIdUzaRespTXT r;
    r.Conteudo().GravaInformacao(11, 0, std::to_string(t.tipo));
    r.ConteudoToProperty();
    EXPECT_EQ(r.Debito(), t.debito) << t.tipo;
    EXPECT_EQ(r.Credito(), t.credito) << t.tipo;
    EXPECT_EQ(r.TipoOperacao(), t.op) << t.tipo;
    if (t.tipo == 40) {
      EXPECT_EQ(r.ParceladoPor(), parcADM);
    }
  }
  struct Status {
    const char* s;
    bool aprovada;
  } status[] = {{"0", true}, {" 00 ", true}, {"p1", true},   {"P1", true}, {"1", false},
                {"", false}, {"P2", false},  {"+-0", false}, {"FF", false}};
  for (const auto& s : status) {
    TRuVirIdUzaRespTXT r;
    r.Conteudo().GravaInformacao(9, 0, s.s);
    r.ConteudoToProperty();
    EXPECT_EQ(r.TransacaoAprovada(), s.aprovada) << s.s;
  }
  EXPECT_TRUE(TRuVirIdUzaResp().TransacaoAprovada());
}

}  // namespace
}  // namespace tef
