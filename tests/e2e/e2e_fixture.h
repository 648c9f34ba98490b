// Whole-system runs: a real nvxserver on a free loopback port with a fresh data folder,
// NVXbackup run on job files against it (straight or through a real tinyproxy), and
// helpers to read what the service then holds. Everything started ends with the
// fixture.
#ifndef NVX_TESTS_E2E_E2E_FIXTURE_H_
#define NVX_TESTS_E2E_E2E_FIXTURE_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

namespace nvx::test {

// A tinyproxy in the foreground on a free loopback port, asking for Basic authorization
// with `id` and `password` (an empty `id`: an open proxy that asks for none).
class ProxyProcess {
 public:
  ProxyProcess(const TempDir& folder, const std::string& id, const std::string& password);
  // Empty when tinyproxy is not installed or did not start.
  bool running() const { return process_ != nullptr; }
  int port() const { return port_; }
  // What tinyproxy has logged so far.
  std::string log();

 private:
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

// The NVXbackup program of this build.
std::string NvxBackupProgram();

// HAProxy in the foreground on a free loopback port, in front of nvxservers on the
// loopback `ports`: each connection goes to the next server in turn, and a server that
// stops answering is taken out of the turn within a fraction of a second. It balances
// connections, not requests: in its HTTP mode it writes header names in small letters,
// and the library reads the service's answer fields by their exact names.
class BalancerProcess {
 public:
  BalancerProcess(const TempDir& folder, const std::vector<int>& ports);
  // Empty when HAProxy is not installed or did not start.
  bool running() const { return process_ != nullptr; }
  int port() const { return port_; }
  // "127.0.0.1:port", as NVX_SERVER names it.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Runs an nvxserver administration command on the data folder (and the store that
  // store_options_ name); asserts it worked.
  void Administer(const std::vector<std::string>& arguments);
  // Runs an nvxserver command on the data folder and the store that store_options_ name.
  RunResult Nvx(const std::vector<std::string>& arguments);
  // "level TAB name TAB access TAB id" lines of the account's folders.
  std::vector<std::string> Folders(const std::string& account);
  // The id of the account's folder `name` (the first of that name), or "".
  std::string FolderId(const std::string& account, const std::string& name);

  // A job file: the account's credentials, the log folder, debug output, then `jobs`.
  std::string JobFile(const std::string& user, const std::string& password,
                      const std::string& jobs);
  // Runs NVXbackup on `job_file` with NVX_SERVER = `servers` (this server when empty),
  // ending it after `limit`.
  RunResult RunJob(const std::string& job_file, const std::string& servers = "",
                   std::chrono::seconds limit = std::chrono::seconds(120));
  // Starts NVXbackup on `job_file` against this server (or `servers`) and returns at once,
  // so that a test can stop it midway; the object ends the program if it still runs.
  std::unique_ptr<ChildProcess> StartJob(const std::string& job_file,
                                         const std::string& servers = "");
  // The results report of the last run, "" when none was written.
  std::string Report();
  // The activity logs written so far, one text.
  std::string ActivityLog();
  // The messages in the service's outbox, oldest first.
  std::vector<std::string> Outbox();

  // How NVXbackup is started on `job_file` with NVX_SERVER = `servers`.
  ChildProcess::Options JobOptions(const std::string& job_file, const std::string& servers);

  // The test authority and the certificates it issued (made on first use).
  TestCertificates& Certificates();
  // Starts an nvxserver on the data folder that serves TLS with `files`, logging its
  // requests to `log_file`.
  std::unique_ptr<ServerProcess> StartTlsServer(const CertificateFiles& files,
                                                const std::string& log_file);
  // Restarts the service serving TLS with the authority's certificate for 127.0.0.1.
  // From then on job files name the authority with NVXServerCA, and jobs reach the
  // service (or the address a test gives, when it has no scheme) over "https://".
  void ServeTls();

  TempDir temp_;
  std::string data_ = temp_.File("data");
  std::string logs_ = temp_.File("logs");
  std::string runtime_ = temp_.File("runtime");
  std::string server_log_ = temp_.File("server.log");  // one line per request
  // Options naming the store (--database, --blobs), given to every nvxserver the fixture
  // starts; none: the embedded store in the data folder.
  std::vector<std::string> store_options_;
  std::unique_ptr<ServerProcess> server_;
  bool tls_ = false;
  std::unique_ptr<TestCertificates> certificates_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_E2E_E2E_FIXTURE_H_
