// A PostgreSQL cluster of the test program's own: made with initdb in a fresh folder
// below /tmp, served by a postgres process that listens only on a Unix socket in that
// folder, and removed with the folder when the program ends. The server runs as an
// unprivileged user (nobody when the tests run as root, since the server refuses root),
// and dies with the test program should it crash. One cluster serves all the cases of a
// program: each takes a fresh database of its own. Used by one test thread at a time.
#ifndef NVX_TESTS_SUPPORT_PG_CLUSTER_H_
#define NVX_TESTS_SUPPORT_PG_CLUSTER_H_

#include <memory>
#include <string>

#include "tests/support/child_process.h"

namespace nvx::test {

class PgCluster {
 public:
  // The program's cluster, started on first use.
  static PgCluster& Shared();
  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // False when the PostgreSQL programs are not installed or the cluster did not start;
  // why() then tells which.
  bool available() const { return server_ != nullptr; }
  const std::string& why() const { return why_; }

  // Creates a new empty database and returns its URL ("" when it failed).
  std::string NewDatabase();
  // The URL of database `name`.
  std::string Url(const std::string& name) const;
  // Runs `sql` on the database at `url`: the first column of the first row of a query,
  // "ok" for a statement without rows, "" for no row or a failure.
  static std::string Query(const std::string& url, const std::string& sql);

 private:
  PgCluster();
  void Start();

  std::string folder_;
  std::string why_;
  std::unique_ptr<ChildProcess> server_;
  int databases_ = 0;
};

// The folder of the PostgreSQL programs (initdb, postgres), or "" when not installed.
std::string PgProgramFolder();

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_PG_CLUSTER_H_
