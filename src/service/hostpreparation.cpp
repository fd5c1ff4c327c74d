#include "service/hostpreparation.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "platform/catrust.h"
#include "platform/firewall.h"

namespace service {
namespace {

// Spaces, tabs and line breaks removed from both ends.
std::string Trim(const std::string& s) {
  const char* ws = " \t\r\n";
  const size_t b = s.find_first_not_of(ws);
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

}  // namespace

bool IsCACertTrusted(const std::string& path) {
  const std::optional<std::string> thumbprint = platform::CertificateThumbprint(path);
  return thumbprint && platform::IsCertificateTrusted(*thumbprint);
}

void EnsureCACertTrusted(const std::string& path, const THostLog& log) {
  try {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      log("Certificado CA não encontrado em: " + path);
      return;
    }
    if (IsCACertTrusted(path)) {
      log("Certificado CA já confiável no repositório Root da máquina.");
      return;
    }
    log("Certificado CA não está confiável no repositório Root. Instalando...");
    const platform::TCommandResult r =
        platform::InstallTrustedCertificate(path, kHostCommandTimeoutMs);
    if (r.ExitCode != 0) {
      log("Falha ao instalar certificado CA (código " + std::to_string(r.ExitCode) +
          "): " + Trim(r.Output));
    } else {
      log("Certificado CA instalado com sucesso no repositório Root.");
    }
  } catch (const std::exception& e) {
    log(std::string("Erro ao validar/instalar certificado CA: ") + e.what());
  } catch (...) {
    log("Erro ao validar/instalar certificado CA: ");
  }
}

void EnsureFirewallRule(int port, const THostLog& log) {
  try {
    const platform::TCommandResult r =
        platform::ReplaceInboundFirewallRule(kFirewallRuleName, port, kHostCommandTimeoutMs);
    log("Regra de firewall (porta " + std::to_string(port) + "): " + Trim(r.Output));
  } catch (const std::exception& e) {
    log(std::string("Erro ao configurar regra de firewall: ") + e.what());
  } catch (...) {
    log("Erro ao configurar regra de firewall: ");
  }
}

}  // namespace service
