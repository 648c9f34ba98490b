#include "tests/support/server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace nvx::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kStopGrace = std::chrono::seconds(20);

// Waits for `pid` at most `limit`; -1 when it still runs.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The port a line names; 0 when it is no number.
int PortOf(const std::string& line) {
  int port = 0;
  for (char c : line) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port;
}

}  // namespace

std::string NvxServerProgram() {
  return NVX_SERVER_PROGRAM;
}

namespace {

// Runs `sql` on the embedded store of `data_folder`, each row to `row`.
void QueryStore(const std::string& data_folder, const std::string& sql,
                const std::function<void(sqlite3_stmt*)>& row,
                const std::function<void(sqlite3_stmt*)>& bind = {}) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((data_folder + "/nvx.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open the store of " + data_folder);
  }
  sqlite3_busy_timeout(db, 10000);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    const std::string error = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error(error);
  }
  if (bind) bind(statement);
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
  sqlite3_finalize(statement);
  sqlite3_close(db);
  if (step != SQLITE_DONE) throw std::runtime_error("cannot query the store of " + data_folder);
}

}  // namespace

std::vector<std::pair<std::string, size_t>> InlineBlobs(const std::string& data_folder) {
  std::vector<std::pair<std::string, size_t>> blobs;
  QueryStore(data_folder, "SELECT name, length(bytes) FROM inline_blobs", [&](sqlite3_stmt* row) {
    blobs.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(row, 0)),
                       static_cast<size_t>(sqlite3_column_int64(row, 1)));
  });
  return blobs;
}

size_t StoredBlobCount(const std::string& data_folder) {
  return ListFolder(data_folder + "/blobs").size() + InlineBlobs(data_folder).size();
}

void SpoilInlineBlob(const std::string& data_folder, const std::string& name, size_t offset) {
  std::string bytes;
  const auto bind_name = [&](sqlite3_stmt* statement) {
    sqlite3_bind_text(statement, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  };
  QueryStore(
      data_folder, "SELECT bytes FROM inline_blobs WHERE name = ?",
      [&](sqlite3_stmt* row) {
        bytes.assign(static_cast<const char*>(sqlite3_column_blob(row, 0)),
                     static_cast<size_t>(sqlite3_column_bytes(row, 0)));
      },
      bind_name);
  if (offset >= bytes.size()) throw std::runtime_error("no such byte in " + name);
  bytes[offset] = static_cast<char>(bytes[offset] ^ 0x5a);
  QueryStore(
      data_folder, "UPDATE inline_blobs SET bytes = ? WHERE name = ?", [](sqlite3_stmt*) {},
      [&](sqlite3_stmt* statement) {
        sqlite3_bind_blob(statement, 1, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      });
}

RunResult RunNvxServer(const std::string& data_folder, const std::vector<std::string>& arguments) {
  ChildProcess::Options options;
  options.args = {"--data", data_folder};
  options.args.insert(options.args.end(), arguments.begin(), arguments.end());
  return RunProgram(NvxServerProgram(), options);
}

ServerProcess::ServerProcess(const std::string& data_folder, const std::string& log_file,
                             const std::vector<std::string>& options) {
  int out_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  std::string program = NvxServerProgram();
  std::vector<std::string> arguments = {program, "--data", data_folder, "--listen", "127.0.0.1:0"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  if (spawned != 0) {
    pid_ = -1;
    ::close(out_pipe[0]);
    return;
  }
  // The first line of standard output is the port; the plain and metrics ports follow.
  bool plain = std::count(options.begin(), options.end(), "--listen") > 0;
  bool metrics = std::count(options.begin(), options.end(), "--metrics") > 0;
  size_t lines = 1 + (plain ? 1 : 0) + (metrics ? 1 : 0);
  std::string text;
  auto line_count = [&text] {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  };
  auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (line_count() < lines && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{out_pipe[0], POLLIN, 0};
    if (::poll(&entry, 1, 100) <= 0) continue;
    char buffer[64];
    ssize_t got = ::read(out_pipe[0], buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(out_pipe[0]);
  std::vector<int> ports;
  for (size_t begin = 0, end; (end = text.find('\n', begin)) != std::string::npos;
       begin = end + 1) {
    ports.push_back(PortOf(text.substr(begin, end - begin)));
  }
  if (!ports.empty()) port_ = ports[0];
  if (plain && ports.size() > 1) plain_port_ = ports[1];
  if (metrics && ports.size() >= lines) metrics_port_ = ports[lines - 1];
}

ServerProcess::~ServerProcess() {
  Stop();
}

void ServerProcess::Signal(int signal_number) {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

int ServerProcess::Stop(int signal_number) {
  if (pid_ < 0) return -1;
  ::kill(pid_, signal_number);
  int code = WaitFor(pid_, kStopGrace);
  if (code < 0) {
    ::kill(pid_, SIGKILL);
    code = WaitFor(pid_, kStopGrace);
  }
  pid_ = -1;
  port_ = 0;
  metrics_port_ = 0;
  return code;
}

}  // namespace nvx::test
