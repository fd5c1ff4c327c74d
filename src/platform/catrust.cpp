#include "platform/catrust.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <system_error>

#include "platform/environment.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A bundle larger than this is not a certificate file (the system bundle is
// a few hundred kilobytes).
constexpr uintmax_t kMaxStoreFileSize = uintmax_t{16} << 20;

struct TBioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct TX509Free {
  void operator()(X509* x) const { X509_free(x); }
};
using TBio = std::unique_ptr<BIO, TBioFree>;
using TX509 = std::unique_ptr<X509, TX509Free>;

std::string Thumbprint(X509* cert) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (X509_digest(cert, EVP_sha1(), md, &n) != 1) return {};
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned int i = 0; i < n; ++i) {
    out += kHex[md[i] >> 4];
    out += kHex[md[i] & 15];
  }
  return out;
}

std::string Setting(const char* variable, const char* fallback) {
  std::optional<std::string> v = GetEnv(variable);
  return v && !v->empty() ? *v : std::string(fallback);
}

// Every certificate of a PEM file, until the first that does not parse.
bool FileHasThumbprint(const std::string& path, const std::string& thumbprint) {
  TBio bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) return false;
  while (true) {
    TX509 cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!cert) break;
    if (Thumbprint(cert.get()) == thumbprint) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> CertificateThumbprint(const std::string& pem_path) {
  TBio bio(BIO_new_file(pem_path.c_str(), "r"));
  if (!bio) return std::nullopt;
  TX509 cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  if (!cert) return std::nullopt;
  std::string t = Thumbprint(cert.get());
  if (t.empty()) return std::nullopt;
  return t;
}

bool IsCertificateTrusted(const std::string& thumbprint) {
  if (thumbprint.empty()) return false;
  const std::string folder = Setting("ZENTAVO_CA_STORE_DIR", "/etc/ssl/certs");
  std::error_code ec;
  std::set<fs::path> seen;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path real = fs::canonical(it->path(), ec);
    if (ec) {
      ec.clear();
      continue;
    }
    if (!seen.insert(real).second) continue;
    if (!fs::is_regular_file(real, ec) || fs::file_size(real, ec) > kMaxStoreFileSize) {
      ec.clear();
      continue;
    }
    if (FileHasThumbprint(real.string(), thumbprint)) return true;
  }
  return false;
}

TCommandResult InstallTrustedCertificate(const std::string& pem_path, int timeout_ms) {
  const fs::path folder = Setting("ZENTAVO_CA_INSTALL_DIR", "/usr/local/share/ca-certificates");
  std::error_code ec;
  fs::create_directories(folder, ec);
  ec.clear();
  fs::copy_file(pem_path, folder / kInstalledCAFileName, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    throw std::runtime_error("Não foi possível copiar o certificado para " +
                             (folder / kInstalledCAFileName).string() + ": " + ec.message());
  }
  return RunCommand(Setting("ZENTAVO_CA_UPDATE_COMMAND", "update-ca-certificates"), timeout_ms);
}

}  // namespace platform
