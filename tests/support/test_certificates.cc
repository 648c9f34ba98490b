#include "tests/support/test_certificates.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

// What `openssl req` and `openssl ca` read, so that nothing depends on the machine's own
// openssl.cnf. The expired certificate needs `openssl ca`, the one command of OpenSSL 3.0
// that takes a start and an end date.
std::string ConfigText(const std::string& folder) {
  return "[req]\n"
         "distinguished_name = subject\n"
         "[subject]\n"
         "[ca]\n"
         "default_ca = test_authority\n"
         "[test_authority]\n"
         "database = " +
         folder +
         "/index.txt\n"
         "new_certs_dir = " +
         folder +
         "\n"
         "serial = " +
         folder +
         "/serial.txt\n"
         "default_md = sha256\n"
         "policy = any_subject\n"
         "unique_subject = no\n"
         "[any_subject]\n"
         "commonName = supplied\n"
         "[authority]\n"
         "basicConstraints = critical,CA:TRUE\n"
         "keyUsage = critical,keyCertSign,cRLSign\n"
         "subjectKeyIdentifier = hash\n"
         "[loopback]\n"
         "basicConstraints = CA:FALSE\n"
         "keyUsage = critical,digitalSignature\n"
         "extendedKeyUsage = serverAuth\n"
         "subjectAltName = IP:127.0.0.1,DNS:localhost\n"
         "[other_name]\n"
         "basicConstraints = CA:FALSE\n"
         "keyUsage = critical,digitalSignature\n"
         "extendedKeyUsage = serverAuth\n"
         "subjectAltName = DNS:other.example\n";
}

std::string RunOpenSsl(const std::vector<std::string>& args) {
  RunResult result =
      RunProgram(NVX_OPENSSL_PROGRAM, {.args = args, .env = {}, .working_directory = {}},
                 std::chrono::seconds(30));
  if (result.exit_code != 0) {
    std::string command = "openssl";
    for (const std::string& arg : args) command += " " + arg;
    throw std::runtime_error(command + " failed: " + result.err);
  }
  return result.out;
}

class Maker {
 public:
  explicit Maker(const std::string& folder) : folder_(folder), config_(folder + "/openssl.cnf") {}

  const std::string& config() const { return config_; }

  std::string Key(const std::string& name) const {
    std::string key = folder_ + "/" + name + ".key";
    RunOpenSsl({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", key});
    return key;
  }

  // A self-signed certificate with the extensions of `section`.
  CertificateFiles SelfSigned(const std::string& name, const std::string& subject,
                              const std::string& section) const {
    CertificateFiles files{.cert = folder_ + "/" + name + ".pem", .key = Key(name), .ca = {}};
    files.ca = files.cert;
    RunOpenSsl({"req", "-config", config_, "-x509", "-new", "-key", files.key, "-subj", subject,
                "-days", "3650", "-extensions", section, "-set_serial", "1", "-out", files.cert});
    return files;
  }

  std::string Request(const std::string& name, const std::string& key,
                      const std::string& subject) const {
    std::string request = folder_ + "/" + name + ".csr";
    RunOpenSsl({"req", "-config", config_, "-new", "-key", key, "-subj", subject, "-out", request});
    return request;
  }

  // Issued by `authority` for the names of `section`, valid for about two years.
  CertificateFiles Issued(const CertificateFiles& authority, const std::string& name,
                          const std::string& subject, const std::string& section,
                          int serial) const {
    CertificateFiles files{
        .cert = folder_ + "/" + name + ".pem", .key = Key(name), .ca = authority.cert};
    RunOpenSsl({"x509", "-req", "-in", Request(name, files.key, subject), "-CA", authority.cert,
                "-CAkey", authority.key, "-set_serial", std::to_string(serial), "-days", "825",
                "-extfile", config_, "-extensions", section, "-out", files.cert});
    return files;
  }

 private:
  std::string folder_;
  std::string config_;
};

}  // namespace

TestCertificates::TestCertificates(const std::string& folder) : folder_(folder) {
  std::filesystem::create_directories(folder_);
  WriteFileText(folder_ + "/openssl.cnf", ConfigText(folder_));
  WriteFileText(folder_ + "/index.txt", "");
  WriteFileText(folder_ + "/serial.txt", "2001\n");
  Maker maker(folder_);
  CertificateFiles authority = maker.SelfSigned("authority", "/CN=NVX test authority", "authority");
  server_ = maker.Issued(authority, "server", "/CN=127.0.0.1", "loopback", 1001);
  other_name_ = maker.Issued(authority, "other_name", "/CN=other.example", "other_name", 1002);

  expired_ = {.cert = folder_ + "/expired.pem", .key = maker.Key("expired"), .ca = authority.cert};
  RunOpenSsl({"ca", "-batch", "-config", maker.config(), "-cert", authority.cert, "-keyfile",
              authority.key, "-in", maker.Request("expired", expired_.key, "/CN=127.0.0.1"),
              "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-extensions",
              "loopback", "-notext", "-out", expired_.cert});

  CertificateFiles stranger =
      maker.SelfSigned("other_authority_ca", "/CN=NVX other authority", "authority");
  other_authority_ = maker.Issued(stranger, "other_authority", "/CN=127.0.0.1", "loopback", 1003);
  self_signed_ = maker.SelfSigned("self_signed", "/CN=127.0.0.1", "loopback");
}

CertificateFiles TestCertificates::Renewed(const std::string& name, int serial) const {
  Maker maker(folder_);
  return maker.Issued({.cert = server_.ca, .key = folder_ + "/authority.key", .ca = server_.ca},
                      name, "/CN=127.0.0.1", "loopback", serial);
}

std::string CertificateSerial(const std::string& cert_file) {
  std::string out = RunOpenSsl({"x509", "-in", cert_file, "-noout", "-serial"});
  const std::string prefix = "serial=";
  if (out.rfind(prefix, 0) != 0) throw std::runtime_error("no serial in " + cert_file);
  std::string serial = out.substr(prefix.size());
  while (!serial.empty() && (serial.back() == '\n' || serial.back() == '\r')) serial.pop_back();
  return serial;
}

}  // namespace nvx::test
