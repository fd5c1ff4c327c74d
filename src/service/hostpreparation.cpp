#include "service/hostpreparation.h"

#include <exception>

#include "platform/catrust.h"
#include "platform/env.h"
#include "platform/firewall.h"
#include "platform/text.h"

namespace service {

bool IsCACertTrusted(const std::string& path) {
  const std::optional<std::string> thumbprint = platform::CertificateThumbprint(path);
  return thumbprint && platform::IsCertificateTrusted(*thumbprint);
}

void EnsureCACertTrusted(const std::string& path, const THostLog& log) {
  try {
    if (!platform::DefaultEnv().FileExists(path)) {
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
          "): " + platform::TrimControle(r.Output));
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
    log("Regra de firewall (porta " + std::to_string(port) +
        "): " + platform::TrimControle(r.Output));
  } catch (const std::exception& e) {
    log(std::string("Erro ao configurar regra de firewall: ") + e.what());
  } catch (...) {
    log("Erro ao configurar regra de firewall: ");
  }
}

}  // namespace service
