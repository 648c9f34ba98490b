#include "tests/support/pg_cluster.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/os_helpers.h"

namespace nvx::test {
namespace {

constexpr const char* kProgramFolder = "/usr/lib/postgresql/15/bin";
constexpr const char* kServerUser = "nobody";
constexpr int kPort = 5432;  // names the socket file only: nothing listens on TCP

// Runs `program` as the server's user when the tests run as root (through setpriv, which
// also ends it should the test program die), else as the test's own user.
ChildProcess::Options AsServerUser(const std::string& program,
                                   const std::vector<std::string>& args) {
  ChildProcess::Options options;
  options.args = {"--pdeathsig=KILL"};
  if (::geteuid() == 0) {
    options.args.insert(options.args.end(), {std::string("--reuid=") + kServerUser,
                                             "--regid=nogroup", "--clear-groups"});
  }
  options.args.push_back(program);
  options.args.insert(options.args.end(), args.begin(), args.end());
  return options;
}

// Hands `path` to the server's user when the tests run as root.
void GiveToServerUser(const std::string& path) {
  if (::geteuid() != 0) return;
  struct passwd* user = ::getpwnam(kServerUser);
  if (user == nullptr || ::chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
    throw std::runtime_error("cannot hand " + path + " to " + kServerUser);
  }
}

}  // namespace

std::string PgProgramFolder() {
  return PathExists(std::string(kProgramFolder) + "/initdb") &&
                 PathExists(std::string(kProgramFolder) + "/postgres")
             ? kProgramFolder
             : "";
}

PgCluster& PgCluster::Shared() {
  static PgCluster cluster;
  return cluster;
}

PgCluster::PgCluster() {
  try {
    Start();
  } catch (const std::exception& failure) {
    why_ = failure.what();
    server_.reset();
  }
}

void PgCluster::Start() {
  if (PgProgramFolder().empty()) {
    why_ = std::string("PostgreSQL 15 is not installed (no initdb and postgres in ") +
           kProgramFolder + ")";
    return;
  }
  char pattern[] = "/tmp/nvx-pg.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a cluster folder");
  folder_ = pattern;
  // The server's user must reach its folders through this one.
  ::chmod(folder_.c_str(), 0755);
  for (const char* name : {"/data", "/socket"}) {
    MakeFolder(folder_ + name);
    GiveToServerUser(folder_ + name);
  }
  RunResult made = RunProgram("/usr/bin/setpriv",
                              AsServerUser(PgProgramFolder() + "/initdb",
                                           {"-D", folder_ + "/data", "-U", "nvx", "--auth=trust",
                                            "-E", "UTF8", "--locale=C", "--no-sync"}),
                              std::chrono::seconds(120));
  if (made.exit_code != 0) throw std::runtime_error("initdb failed: " + made.out + made.err);
  // In the foreground, its log in the cluster folder (a pipe nobody reads would fill up),
  // without flushes to the disk: the cluster is thrown away.
  server_ = std::make_unique<ChildProcess>(
      "/usr/bin/setpriv", AsServerUser(PgProgramFolder() + "/postgres",
                                       {"-D", folder_ + "/data",
                                        "-k", folder_ + "/socket",
                                        "-p", std::to_string(kPort),
                                        "-c", "listen_addresses=",
                                        "-c", "fsync=off",
                                        "-c", "synchronous_commit=off",
                                        "-c", "full_page_writes=off",
                                        "-c", "max_connections=200",
                                        "-c", "logging_collector=on",
                                        "-c", "log_directory=" + folder_ + "/data/log"}));
  auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < bound && server_->Running()) {
    PGconn* conn = PQconnectdb(Url("postgres").c_str());
    bool ready = PQstatus(conn) == CONNECTION_OK;
    PQfinish(conn);
    if (ready) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  throw std::runtime_error("the PostgreSQL server did not start: " + server_->err());
}

PgCluster::~PgCluster() {
  if (server_ != nullptr) {
    // A fast shutdown: the cluster is thrown away.
    ::kill(server_->pid(), SIGINT);
    server_->Wait(std::chrono::seconds(30));
    server_.reset();
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

std::string PgCluster::Url(const std::string& name) const {
  return "postgresql:///" + name + "?host=" + folder_ + "/socket&port=" + std::to_string(kPort) +
         "&user=nvx";
}

std::string PgCluster::NewDatabase() {
  if (!available()) return {};
  std::string name = "case" + std::to_string(++databases_);
  if (Query(Url("postgres"), "CREATE DATABASE " + name) != "ok") return {};
  return Url(name);
}

std::string PgCluster::Query(const std::string& url, const std::string& sql) {
  PGconn* conn = PQconnectdb(url.c_str());
  std::string value;
  if (PQstatus(conn) == CONNECTION_OK) {
    PGresult* result = PQexec(conn, sql.c_str());
    ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) {
      value = PQgetvalue(result, 0, 0);
    } else if (status == PGRES_COMMAND_OK) {
      value = "ok";
    }
    PQclear(result);
  }
  PQfinish(conn);
  return value;
}

}  // namespace nvx::test
