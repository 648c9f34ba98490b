#include "tests/e2e/e2e_fixture.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/os_helpers.h"
#include "tests/support/raw_http_client.h"

namespace nvx::test {
namespace {

std::string BuildFolder() {
  std::optional<std::string> folder = platform::EnvironmentValue("NVX_BUILD_DIR");
  return folder ? *folder : std::string(".");
}

std::string FindTinyproxy() {
  for (const char* candidate : {"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"}) {
    if (PathExists(candidate)) return candidate;
  }
  return {};
}

}  // namespace

ProxyProcess::ProxyProcess(const TempDir& folder, const std::string& id,
                           const std::string& password) {
  std::string program = FindTinyproxy();
  if (program.empty()) return;
  port_ = RefusingPort();
  const std::string authorization = id.empty() ? "" : "BasicAuth " + id + " " + password + "\n";
  std::string config = folder.File(id.empty() ? "tinyproxy-open.conf" : "tinyproxy.conf");
  WriteFileText(config, "Port " + std::to_string(port_) +
                            "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n" +
                            authorization + "LogLevel Info\n");
  ChildProcess::Options options;
  options.args = {"-d", "-c", config};
  auto process = std::make_unique<ChildProcess>(program, options);
  if (!process->WaitForOutput("Accepting connections", std::chrono::seconds(10))) return;
  process_ = std::move(process);
}

std::string ProxyProcess::log() {
  if (process_ == nullptr) return {};
  // Reading waits for a text that never comes, taking in what is there.
  process_->WaitForOutput("\x01", std::chrono::milliseconds(200));
  return process_->out();
}

std::string NvxBackupProgram() {
  return BuildFolder() + "/bin/NVXbackup";
}

BalancerProcess::BalancerProcess(const TempDir& folder, const std::vector<int>& ports) {
  std::string program = "/usr/sbin/haproxy";
  if (!PathExists(program)) return;
  port_ = RefusingPort();
  std::string config =
      "global\n  maxconn 1000\n"
      "defaults\n  mode tcp\n  timeout connect 2s\n  timeout client 200s\n"
      "  timeout server 200s\n  retries 3\n  option redispatch\n"
      "frontend clients\n  bind 127.0.0.1:" +
      std::to_string(port_) +
      "\n  default_backend servers\n"
      "backend servers\n  balance roundrobin\n";
  // A front end is taken out after three missed checks, not one: on a loaded machine a
  // single late check would send every connection to the other front end for a while.
  // A killed one is still passed over at once (redispatch).
  for (size_t i = 0; i < ports.size(); ++i) {
    config += "  server s" + std::to_string(i) + " 127.0.0.1:" + std::to_string(ports[i]) +
              " check inter 200ms fall 3 rise 1\n";
  }
  std::string path = folder.File("haproxy.cfg");
  WriteFileText(path, config);
  ChildProcess::Options options;
  options.args = {"-db", "-f", path};
  auto process = std::make_unique<ChildProcess>(program, options);
  // Ready once the port takes connections.
  auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < bound && process->Running()) {
    if (RawHttpExchange(port_, "GET /install/none HTTP/1.1\r\nHost: x\r\n\r\n")) {
      process_ = std::move(process);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void EndToEndTest::SetUp() {
  MakeFolder(logs_);
  MakeFolder(runtime_);
  Administer({"account", "add", "alice", "wonderland", "--quota", "1073741824"});
  Administer({"account", "set", "alice", "--email", "alice@example.test"});
  server_ = std::make_unique<ServerProcess>(data_, server_log_, store_options_);
  ASSERT_NE(server_->port(), 0) << ReadFileText(server_log_);
}

void EndToEndTest::Administer(const std::vector<std::string>& arguments) {
  RunResult result = Nvx(arguments);
  ASSERT_EQ(result.exit_code, 0) << result.err;
}

RunResult EndToEndTest::Nvx(const std::vector<std::string>& arguments) {
  std::vector<std::string> all = store_options_;
  all.insert(all.end(), arguments.begin(), arguments.end());
  return RunNvxServer(data_, all);
}

std::vector<std::string> EndToEndTest::Folders(const std::string& account) {
  RunResult result = Nvx({"folder", "list", account});
  std::vector<std::string> lines;
  std::istringstream text(result.out);
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

std::string EndToEndTest::FolderId(const std::string& account, const std::string& name) {
  for (const std::string& line : Folders(account)) {
    size_t first = line.find('\t');
    size_t second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    if (line.substr(first + 1, second - first - 1) != name) continue;
    return line.substr(line.rfind('\t') + 1);
  }
  return {};
}

std::string EndToEndTest::JobFile(const std::string& user, const std::string& password,
                                  const std::string& jobs) {
  std::string path = temp_.File("job.txt");
  const std::string authority =
      tls_ ? "NVXServerCA " + Certificates().authority() + "\r\n" : std::string();
  WriteFileText(path, "NVXUser " + user + "\r\nNVXPw " + password +
                          "\r\nResultsType Backup\r\nLogDirectory " + logs_ +
                          "\r\nLogLevel DEBUG1\r\nDebug Y\r\n" + authority + jobs);
  return path;
}

ChildProcess::Options EndToEndTest::JobOptions(const std::string& job_file,
                                               const std::string& servers) {
  ChildProcess::Options options;
  options.args = {"-f", job_file};
  std::string server_list =
      servers.empty() ? "127.0.0.1:" + std::to_string(server_->port()) : servers;
  if (tls_ && server_list.find("://") == std::string::npos) server_list = "https://" + server_list;
  options.env = {"XDG_RUNTIME_DIR=" + runtime_, "NVX_SERVER=" + server_list,
                 "NVX_CONNECT_PAUSE_MS=0"};
  options.working_directory = temp_.path();
  return options;
}

RunResult EndToEndTest::RunJob(const std::string& job_file, const std::string& servers,
                               std::chrono::seconds limit) {
  std::filesystem::remove(logs_ + "/Backup Results.txt");
  return RunProgram(BuildFolder() + "/bin/NVXbackup", JobOptions(job_file, servers), limit);
}

TestCertificates& EndToEndTest::Certificates() {
  if (certificates_ == nullptr)
    certificates_ = std::make_unique<TestCertificates>(temp_.File("certs"));
  return *certificates_;
}

std::unique_ptr<ServerProcess> EndToEndTest::StartTlsServer(const CertificateFiles& files,
                                                            const std::string& log_file) {
  std::vector<std::string> options = store_options_;
  options.insert(options.end(), {"--tls-cert", files.cert, "--tls-key", files.key});
  return std::make_unique<ServerProcess>(data_, log_file, options);
}

void EndToEndTest::ServeTls() {
  server_.reset();
  server_ = StartTlsServer(Certificates().server(), server_log_);
  ASSERT_NE(server_->port(), 0) << ReadFileText(server_log_);
  tls_ = true;
}

std::unique_ptr<ChildProcess> EndToEndTest::StartJob(const std::string& job_file,
                                                     const std::string& servers) {
  std::filesystem::remove(logs_ + "/Backup Results.txt");
  return std::make_unique<ChildProcess>(BuildFolder() + "/bin/NVXbackup",
                                        JobOptions(job_file, servers));
}

std::string EndToEndTest::Report() {
  std::string path = logs_ + "/Backup Results.txt";
  return PathExists(path) ? ReadFileText(path) : std::string();
}

std::string EndToEndTest::ActivityLog() {
  std::string log;
  for (const std::string& name : ListFolder(logs_)) {
    if (name.ends_with(".log")) log += ReadFileText(logs_ + "/" + name);
  }
  return log;
}

std::vector<std::string> EndToEndTest::Outbox() {
  std::vector<std::string> names = ListFolder(data_ + "/outbox");
  std::sort(names.begin(), names.end());
  std::vector<std::string> messages;
  for (const std::string& name : names) {
    if (name.front() != '.') messages.push_back(ReadFileText(data_ + "/outbox/" + name));
  }
  return messages;
}

}  // namespace nvx::test
