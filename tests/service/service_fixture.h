// A running nvxserver on a fresh data folder, and requests to it as the library sends
// them, for the tests of the service's commands over HTTP. Accounts and documents are
// set up through the administration commands, as an operator would.
#ifndef NVX_TESTS_SERVICE_SERVICE_FIXTURE_H_
#define NVX_TESTS_SERVICE_SERVICE_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/raw_http_client.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

namespace nvx::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string data() const { return temp_.File("data"); }
  std::string log_file() const { return temp_.File("server.log"); }

  // Runs an administration command that must succeed; its standard output.
  std::string Admin(const std::vector<std::string>& arguments);
  // Starts the server with these serving options.
  void StartServer(const std::vector<std::string>& options = {});
  // Starts it serving TLS on port() with the certificate of certificates().server()
  // (copied to tls_cert() and tls_key(), where a test may renew it), plain HTTP on
  // plain_port(); Exchange speaks TLS from now on.
  void StartTlsServer(const std::vector<std::string>& options = {});
  // Made at the first call.
  const TestCertificates& certificates();
  std::string tls_cert() const { return temp_.File("tls.pem"); }
  std::string tls_key() const { return temp_.File("tls.key"); }
  int plain_port() const { return server_ ? server_->plain_port() : 0; }
  // The authority Exchange trusts; empty while it speaks plain HTTP.
  const std::string& tls_ca() const { return tls_ca_; }
  // Stops the server, which must end cleanly (exit code 0).
  void StopServer();
  int port() const { return server_ ? server_->port() : 0; }

  // The request text the library sends: request line, Host, the login token, User-Agent,
  // then `headers`, then the empty line.
  static std::string ScriptRequest(const std::string& method, const std::string& query,
                                   const HeaderList& headers, const std::string& token);
  // A service command (GET) of alice with password "secret".
  RawHttpReply Command(const std::string& query, const HeaderList& headers = {});
  RawHttpReply Exchange(const std::string& request, bool head = false);

  // Adds a document from `content`; its version id.
  std::string AddDocument(const std::string& account, const std::string& path,
                          const std::string& content, const std::vector<std::string>& options = {});
  // The folder id that `folder list` shows for `name` (first match).
  std::string FolderId(const std::string& account, const std::string& name);

  TempDir temp_;
  std::unique_ptr<TestCertificates> certificates_;
  std::string tls_ca_;
  std::unique_ptr<ServerProcess> server_;
  int document_files_ = 0;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SERVICE_SERVICE_FIXTURE_H_
