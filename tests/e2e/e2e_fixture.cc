#include "tests/e2e/e2e_fixture.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>

#include "platform/process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/os_helpers.h"

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
  std::string config = folder.File("tinyproxy.conf");
  WriteFileText(config, "Port " + std::to_string(port_) +
                            "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
                            "BasicAuth " +
                            id + " " + password + "\nLogLevel Info\n");
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

void EndToEndTest::SetUp() {
  MakeFolder(logs_);
  MakeFolder(runtime_);
  Administer({"account", "add", "alice", "wonderland", "--quota", "1073741824"});
  Administer({"account", "set", "alice", "--email", "alice@example.test"});
  server_ = std::make_unique<ServerProcess>(data_, server_log_);
  ASSERT_NE(server_->port(), 0) << ReadFileText(server_log_);
}

void EndToEndTest::Administer(const std::vector<std::string>& arguments) {
  RunResult result = RunNvxServer(data_, arguments);
  ASSERT_EQ(result.exit_code, 0) << result.err;
}

std::vector<std::string> EndToEndTest::Folders(const std::string& account) {
  RunResult result = RunNvxServer(data_, {"folder", "list", account});
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
  WriteFileText(path, "NVXUser " + user + "\r\nNVXPw " + password +
                          "\r\nResultsType Backup\r\nLogDirectory " + logs_ +
                          "\r\nLogLevel DEBUG1\r\nDebug Y\r\n" + jobs);
  return path;
}

ChildProcess::Options EndToEndTest::JobOptions(const std::string& job_file,
                                               const std::string& servers) {
  ChildProcess::Options options;
  options.args = {"-f", job_file};
  std::string server_list =
      servers.empty() ? "127.0.0.1:" + std::to_string(server_->port()) : servers;
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

std::unique_ptr<ChildProcess> EndToEndTest::StartJob(const std::string& job_file) {
  std::filesystem::remove(logs_ + "/Backup Results.txt");
  return std::make_unique<ChildProcess>(BuildFolder() + "/bin/NVXbackup", JobOptions(job_file, ""));
}

std::string EndToEndTest::Report() {
  std::string path = logs_ + "/Backup Results.txt";
  return PathExists(path) ? ReadFileText(path) : std::string();
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
