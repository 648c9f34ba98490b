// Certificates for TLS tests, made with the `openssl` command in a folder of the test's
// own: an authority and, signed by it, a certificate for the loopback service (IP
// 127.0.0.1 and DNS localhost), and the certificates a client must refuse: one issued for
// another name, an expired one, one from another authority and a self-signed one. All keys
// are EC P-256, so that making the whole set takes a fraction of a second. Used by one
// test thread; the files stay until the folder goes.
#ifndef NVX_TESTS_SUPPORT_TEST_CERTIFICATES_H_
#define NVX_TESTS_SUPPORT_TEST_CERTIFICATES_H_

#include <string>

namespace nvx::test {

// The PEM files of one certificate: the certificate, its private key and the certificate
// of the authority that issued it (the certificate itself when it is self-signed).
struct CertificateFiles {
  std::string cert;
  std::string key;
  std::string ca;
};

class TestCertificates {
 public:
  // Makes the authority and every certificate below in `folder` (created when missing);
  // throws std::runtime_error with openssl's words when a step fails.
  explicit TestCertificates(const std::string& folder);
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  // The authority clients are told to trust.
  const std::string& authority() const { return server_.ca; }
  // For 127.0.0.1 and localhost, issued by authority(), serial 1001.
  const CertificateFiles& server() const { return server_; }
  // Issued by authority() for "other.example" only.
  const CertificateFiles& other_name() const { return other_name_; }
  // Issued by authority() for 127.0.0.1, valid only in January 2020.
  const CertificateFiles& expired() const { return expired_; }
  // For 127.0.0.1, issued by an authority of its own that clients are not told of.
  const CertificateFiles& other_authority() const { return other_authority_; }
  // For 127.0.0.1, signed by its own key.
  const CertificateFiles& self_signed() const { return self_signed_; }

  // A further certificate for 127.0.0.1 from authority() with `serial`, as a renewal
  // would bring; its files are named after `name`.
  CertificateFiles Renewed(const std::string& name, int serial) const;

 private:
  std::string folder_;
  CertificateFiles server_;
  CertificateFiles other_name_;
  CertificateFiles expired_;
  CertificateFiles other_authority_;
  CertificateFiles self_signed_;
};

// The serial number of a PEM certificate in upper-case hex, as `openssl x509 -serial`
// prints it ("03E9" for 1001); throws std::runtime_error when it cannot be read.
std::string CertificateSerial(const std::string& cert_file);

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_TEST_CERTIFICATES_H_
