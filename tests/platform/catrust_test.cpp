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
    FRoot = fs::temp_directory_path() / ("catrust_test_" + std::to_string(getpid()));
    fs::remove_all(FRoot);
    fs::create_directories(FRoot / "store");
    SetEnv("ZENTAVO_CA_STORE_DIR", (FRoot / "store").string());
    SetEnv("ZENTAVO_CA_INSTALL_DIR", (FRoot / "install").string());
    SetEnv("ZENTAVO_CA_UPDATE_COMMAND", "echo atualizado; exit 3");
  }
  void TearDown() override {
    UnsetEnv("ZENTAVO_CA_STORE_DIR");
    UnsetEnv("ZENTAVO_CA_INSTALL_DIR");
    UnsetEnv("ZENTAVO_CA_UPDATE_COMMAND");
    fs::remove_all(FRoot);
  }
  // What `openssl x509 -fingerprint -sha1` says, without the colons.
  static std::string OpensslThumbprint(const std::string& pem) {
    std::string out =
        RunCommand("openssl x509 -noout -fingerprint -sha1 -in '" + pem + "'", 10000).Output;
    out = out.substr(out.find('=') + 1);
    std::string hex;
    for (char c : out) {
      if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    }
    return hex;
  }

  const std::string FCaCert = std::string(ZENTAVO_APP_DIR) + "/Certificado/ca_cert.pem";
  const std::string FServer = std::string(ZENTAVO_APP_DIR) + "/Certificado/server_cert.pem";
  fs::path FRoot;
};

TEST_F(CATrustTest, ThumbprintIsTheSha1OfTheCertificate) {
  const std::optional<std::string> t = CertificateThumbprint(FCaCert);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->size(), 40u);
  EXPECT_EQ(*t, OpensslThumbprint(FCaCert));
  std::ofstream(FRoot / "junk.pem")
      << "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n";
  EXPECT_EQ(CertificateThumbprint((FRoot / "junk.pem").string()), std::nullopt);
  EXPECT_EQ(CertificateThumbprint((FRoot / "missing.pem").string()), std::nullopt);
}

TEST_F(CATrustTest, TrustedWhenAnyFileOfTheStoreHoldsTheCertificate) {
  const std::string t = *CertificateThumbprint(FCaCert);
  std::ofstream(FRoot / "store" / "junk.pem") << "nothing here";
  fs::copy_file(FServer, FRoot / "store" / "server.pem");
  EXPECT_FALSE(IsCertificateTrusted(t));
  EXPECT_FALSE(IsCertificateTrusted(""));

  // The CA second in a bundle, reached through a link, as the system folder has it.
  std::ofstream(FRoot / "bundle.crt") << ReadAll(FServer) << ReadAll(FCaCert);
  fs::create_symlink(FRoot / "bundle.crt", FRoot / "store" / "ca-certificates.crt");
  EXPECT_TRUE(IsCertificateTrusted(t));

  SetEnv("ZENTAVO_CA_STORE_DIR", (FRoot / "nowhere").string());
  EXPECT_FALSE(IsCertificateTrusted(t));
}

TEST_F(CATrustTest, InstallCopiesUnderOurNameAndRunsTheUpdateCommand) {
  const TCommandResult r = InstallTrustedCertificate(FCaCert, 10000);
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_EQ(r.Output, "atualizado\n");
  EXPECT_EQ(ReadAll(FRoot / "install" / kInstalledCAFileName), ReadAll(FCaCert));

  std::ofstream(FRoot / "file") << "x";
  SetEnv("ZENTAVO_CA_INSTALL_DIR", (FRoot / "file").string());
  EXPECT_THROW(InstallTrustedCertificate(FCaCert, 10000), std::runtime_error);
}

}  // namespace
}  // namespace platform
