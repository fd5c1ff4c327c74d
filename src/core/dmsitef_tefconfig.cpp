// TEF settings from the session token's claims, and "/initialize".

#include "core/conversions.h"
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "platform/ansi.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "platform/tefcontrol.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"

namespace core {
namespace {

// Host of the library supplier's production TLS gateway; [sitef]
// tls_gateway_host overrides it for homologation environments.
constexpr const char* URLTLS = "tls-prod.fiservapp.com";
constexpr const char* kRestricaoQRCode = "{DevolveStringQRCode=1}";

// A longer text keeps its first n characters; a shorter one is padded on the
// left with '0'. Counted in the library's 8-bit characters, as the terminal
// number reaches it ("1é" is two characters, not three bytes).
std::string FixedLength(const std::string& s, size_t n) {
  std::string a = platform::Utf8ToAnsi(s).bytes();
  a = a.size() >= n ? a.substr(0, n) : std::string(n - a.size(), '0') + a;
  return platform::AnsiToUtf8(a);
}

// Claims that end up as values of the library's configuration (and of
// CONFITLS.INI) are single lines: a line break would add lines of its own.
void RefuseLineBreaks(const TJsonValue& claims) {
  for (const char* name : {"secctional_code", "connection_type", "store_cnpj", "tef_cnpj",
                           "registration_token", "ip_address", "store_code", "operator"}) {
    const std::optional<std::string> v = MemberText(claims, name);
    if (v && v->find_first_of("\r\n") != std::string::npos) {
      throw EDmSitefErro(std::string("Campo ") + name + " com quebra de linha.");
    }
  }
}

std::string DigitsOnly(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c >= '0' && c <= '9') out += c;
  }
  return out;
}

// Lines end at CR LF, CR or LF.
tef::TStringList SplitLines(const std::string& s) {
  tef::TStringList lines;
  size_t start = 0;
  while (start < s.size()) {
    size_t end = s.find_first_of("\r\n", start);
    if (end == std::string::npos) end = s.size();
    lines.push_back(s.substr(start, end - start));
    start = end + (s.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

}  // namespace

void TDmSitef::ConfigureTEF(const TJsonValue& claims) {
  tef::TRuVirIdUza& c = RuVirIdUza();
  platform::TIniFile& ini = FHost.IniConfig();
  RefuseLineBreaks(claims);

  const std::string terminal =
      "AG" + FixedLength(ThroughAnsi(GetJSONField(claims, "secctional_code")), 4) +
      FixedLength(std::to_string(ini.ReadInteger("sitef", "pdv_number", 0)), 2);

  FTLSConnection = false;
  std::string store_cnpj, tef_cnpj, token;
  if (const std::optional<std::string> type = MemberText(claims, "connection_type");
      type && *type == "TLS") {
    FTLSConnection = true;
    store_cnpj = DigitsOnly(ThroughAnsi(GetJSONField(claims, "store_cnpj")));
    tef_cnpj = DigitsOnly(ThroughAnsi(GetJSONField(claims, "tef_cnpj")));
    token = ThroughAnsi(GetJSONField(claims, "registration_token"));
  }

  bool changed = false;
  const std::string confitls = fPathDLL + "CONFITLS.INI";
  if (FTLSConnection) {
    c.SetCNPJLoja(store_cnpj);
    c.SetCNPJZoVure(tef_cnpj);
    platform::TIniFile tls(confitls);
    const std::string old_token = tls.ReadString("ConfiguracaoTLS", "TokenRegistro", "");
    if (old_token != token) {
      Log("Alterou Token de Registro SiTef de \"" + old_token + "\" para \"" + token + "\"");
      changed = true;
    }
    tls.WriteString("ConfiguracaoTLS", "TipoComunicacaoExterna", "TLSGWP");
    tls.WriteString("ConfiguracaoTLS", "URLTLS",
                    ini.ReadString("sitef", "tls_gateway_host", URLTLS));
    tls.WriteString("ConfiguracaoTLS", "TokenRegistro", token);
    const std::string control = platform::CliSiTefControlDir();
    if (changed && FEnv.IsFolder(control)) {
      // The library starts with fresh control data under a new token.
      const std::string moved =
          control + "-" + platform::FormatDateTime("ddmmyyyyhhnnss", FEnv.Now());
      try {
        if (FEnv.RenameFile(control, moved))
          Log("Pasta de controle do SiTef renomeada para: " + moved);
      } catch (...) {
        Log("Não foi possível renomear a pasta de controle do sitef: " + control);
      }
    }
  } else {
    c.SetCNPJLoja("");
    c.SetCNPJZoVure("");
    FEnv.RemoveFile(confitls);
  }

  if (ApplyManagerSettings(claims, terminal)) changed = true;
  RestartLibraryIf(changed);
}

bool TDmSitef::ApplyManagerSettings(const TJsonValue& claims, const std::string& terminal) {
  tef::TRuVirIdUza& c = RuVirIdUza();
  tef::TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
  platform::TIniFile& ini = FHost.IniConfig();
  bool changed = false;
  const std::string ip = ThroughAnsi(GetJSONField(claims, "ip_address"));
  const std::string store = ThroughAnsi(GetJSONField(claims, "store_code"));
  c.SetModoServico(true);
  m.SetModoServico(true);
  m.SetPathDLL(fPathDLL);

  if (m.EnderecoIP() != ip || m.CodigoLoja() != store || m.NumeroTerminal() != terminal) {
    changed = true;
  }
  m.SetEnderecoIP(ip);
  m.SetCodigoLoja(store);
  m.SetNumeroTerminal(terminal);
  m.SetParametrosAdicionais(SplitLines(ThroughAnsi(GetJSONField(claims, "additional_parameters"))));
  m.SetOperador(ThroughAnsi(GetJSONField(claims, "operator")));
  if (!ini.ReadBool("Sitef", "qrcode_on_pinpad", false)) m.SetRestricoes(kRestricaoQRCode);
  return changed;
}

void TDmSitef::RestartLibraryIf(bool changed) {
  tef::TRuVirIdUza& c = RuVirIdUza();
  tef::TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
  if (!c.Inicializado(tef::gpCliSiTef)) c.Inicializar(tef::gpCliSiTef);

  if (changed || !m.Inicializado()) {
    SendSampleMsg("Inicializando TEF...");
    Log("Inicializando CliSiTef...");
    try {
      c.DesInicializar(tef::gpNenhum);
      c.Inicializar(tef::gpCliSiTef);
      m.DesInicializar();
      m.Inicializar();
      Log("CliSiTef inicializado.");
    } catch (...) {
      SendSampleMsg("");
      throw;
    }
    SendSampleMsg("");
  }
}

void TDmSitef::InitializeSiTef(const std::string& pContent, const TSessionPtr& /*pSession*/) {
  std::string type;
  try {
    const TJsonMessage message = ParseJsonObject(pContent);
    if (!message) throw EDmSitefErro("Os dados recebidos são inválidos.");
    type = GetJSONField(*message, "type");
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return;
  }
  if (type != "initialize") {
    SendClientMessage(BuildErrorReply("Campo type diferente de initialize."));
    return;
  }
  TTEFClaim claim(FTEFClaim, TTEFClaim::usoConfiguracao);
  if (!claim.Owns()) {
    SendClientMessage(BuildErrorReply(kMsgTEFEmAndamento));
    return;
  }
  try {
    if (!RuVirIdUza().Inicializado(tef::gpCliSiTef)) RuVirIdUza().Inicializar(tef::gpCliSiTef);
    SendClientMessage(frontend::Initialized().Serialize());
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(
        BuildErrorReply(std::string("Erro ao conectar com servidor TEF: ") + e.what()));
  }
}

}  // namespace core
