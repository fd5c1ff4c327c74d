// The machine's trusted certificate authorities.
//
// On this platform the trusted store is the system certificate folder
// (/etc/ssl/certs, or ZENTAVO_CA_STORE_DIR): a CA is trusted when a
// certificate with its SHA-1 thumbprint is in one of the folder's files.
// Installing copies the certificate as ZentavoTEFServer-CA.crt to
// /usr/local/share/ca-certificates (or ZENTAVO_CA_INSTALL_DIR) and runs
// update-ca-certificates (or ZENTAVO_CA_UPDATE_COMMAND), which rebuilds the
// folder. The overrides exist so tests never touch the machine.
// Stateless; any thread.
#pragma once

#include <optional>
#include <string>

#include "platform/command.h"

namespace platform {

inline constexpr const char* kInstalledCAFileName = "ZentavoTEFServer-CA.crt";

// The SHA-1 thumbprint of the first certificate in a PEM file, 40 upper-case
// hexadecimal digits; nullopt when the file holds no readable certificate.
std::optional<std::string> CertificateThumbprint(const std::string& pem_path);

// Whether some certificate in the trusted folder has this thumbprint (as
// CertificateThumbprint gives it). Files are read as PEM bundles; links
// are followed, each file read once, unreadable ones skipped.
bool IsCertificateTrusted(const std::string& thumbprint);

// Copies the file into the install folder and runs the update command,
// giving its result. Throws std::runtime_error when the copy fails.
TCommandResult InstallTrustedCertificate(const std::string& pem_path, int timeout_ms);

}  // namespace platform
