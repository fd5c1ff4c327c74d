#include "platform/catrust.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/environment.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The development certificates of the build, a store and an install folder
// of the test's own; the environment points the trust functions at them.
class CATrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("catrust_test_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "store");
    SetEnv("ZENTAVO_CA_STORE_DIR", (root_ / "store").string());
    SetEnv("ZENTAVO_CA_INSTALL_DIR", (root_ / "install").string());
    SetEnv("ZENTAVO_CA_UPDATE_COMMAND", "echo atualizado; exit 3");
  }
  void TearDown() override {
    UnsetEnv("ZENTAVO_CA_STORE_DIR");
    UnsetEnv("ZENTAVO_CA_INSTALL_DIR");
    UnsetEnv("ZENTAVO_CA_UPDATE_COMMAND");
    fs::remove_all(root_);
  }
  // What `openssl x509 -fingerprint -sha1` says, without the colons.
  static std::string OpensslThumbprint(const std::string& pem) {
    std::string out = RunCommand("openssl x509 -noout -fingerprint -sha1 -in '" + pem + "'", 10000).Output;
    out = out.substr(out.find('=') + 1);
    std::string hex;
    for (char c : out) {
      if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    }
    return hex;
  }

  const std::string ca_ = std::string(ZENTAVO_APP_DIR) + "/Certificado/ca_cert.pem";
  const std::string server_ = std::string(ZENTAVO_APP_DIR) + "/Certificado/server_cert.pem";
  fs::path root_;
};

TEST_F(CATrustTest, ThumbprintIsTheSha1OfTheCertificate) {
  const std::optional<std::string> t = CertificateThumbprint(ca_);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->size(), 40u);
  EXPECT_EQ(*t, OpensslThumbprint(ca_));
  std::ofstream(root_ / "junk.pem") << "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n";
  EXPECT_EQ(CertificateThumbprint((root_ / "junk.pem").string()), std::nullopt);
  EXPECT_EQ(CertificateThumbprint((root_ / "missing.pem").string()), std::nullopt);
}

TEST_F(CATrustTest, TrustedWhenAnyFileOfTheStoreHoldsTheCertificate) {
  const std::string t = *CertificateThumbprint(ca_);
  std::ofstream(root_ / "store" / "junk.pem") << "nothing here";
  fs::copy_file(server_, root_ / "store" / "server.pem");
  EXPECT_FALSE(IsCertificateTrusted(t));
  EXPECT_FALSE(IsCertificateTrusted(""));

  // The CA second in a bundle, reached through a link, as the system folder has it.
  std::ofstream(root_ / "bundle.crt") << ReadAll(server_) << ReadAll(ca_);
  fs::create_symlink(root_ / "bundle.crt", root_ / "store" / "ca-certificates.crt");
  EXPECT_TRUE(IsCertificateTrusted(t));

  SetEnv("ZENTAVO_CA_STORE_DIR", (root_ / "nowhere").string());
  EXPECT_FALSE(IsCertificateTrusted(t));
}

TEST_F(CATrustTest, InstallCopiesUnderOurNameAndRunsTheUpdateCommand) {
  const TCommandResult r = InstallTrustedCertificate(ca_, 10000);
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_EQ(r.Output, "atualizado\n");
  EXPECT_EQ(ReadAll(root_ / "install" / kInstalledCAFileName), ReadAll(ca_));

  std::ofstream(root_ / "file") << "x";
  SetEnv("ZENTAVO_CA_INSTALL_DIR", (root_ / "file").string());
  EXPECT_THROW(InstallTrustedCertificate(ca_, 10000), std::runtime_error);
}

}  // namespace
}  // namespace platform
