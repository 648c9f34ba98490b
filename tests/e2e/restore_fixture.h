// Restores run end to end: a local tree is backed up into "\Backup" with NVXbackup, then
// jobs copy (or move) it back from the service into new folders, straight or through a
// relay that watches, cuts or spoils the exchanges; the copies are compared with the
// source. Used by one test thread.
#ifndef NVX_TESTS_E2E_RESTORE_FIXTURE_H_
#define NVX_TESTS_E2E_RESTORE_FIXTURE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/backup_fixture.h"
#include "tests/support/cutting_relay.h"

namespace nvx::test {

// A CopyFromNVX (or MoveFromNVX) job.
struct RestoreJob {
  explicit RestoreJob(std::string local) : local_path(std::move(local)) {}

  std::string local_path;
  std::string server_path = "\\Backup\\Data";
  std::string server_file;  // a name or a pattern; empty: every file
  bool subfolders = true;
  bool use_server_date = false;
  bool transfer_compress = false;
  bool move = false;
  int transfers = 1;  // "Transfers " when above 1

  // The job's lines, ending with its verb.
  std::string Lines() const;
};

// A CleanNVX job.
struct CleanJob {
  explicit CleanJob(std::string local) : local_path(std::move(local)) {}

  std::string local_path;
  std::string server_path = "\\Backup\\Data";
  std::vector<std::string> skip_folders;

  std::string Lines() const;
};

// One file of a local tree.
struct TreeFile {
  std::string path;  // relative to the tree, with "/"
  int64_t size;
  Content content;
};

class RestoreTest : public BackupTest {
 protected:
  // Writes `files` below `root`, each with its own seed and an old date of its own.
  void WriteTree(const std::string& root, const std::vector<TreeFile>& files);
  // Backs the folder `root` up into "\Backup" (it lands in "\Backup\" + its last name).
  void BackUp(const std::string& root);
  // A relay in front of this server that keeps the download answers' headers.
  std::unique_ptr<CuttingRelay> MakeRelay();
  // Runs a job file of `jobs` through `relay`, or straight when it is null.
  RunResult RunJobs(const std::string& jobs, const CuttingRelay* relay = nullptr);

  // What differs between the files `paths` below `source` and below `copy`: a missing
  // file, other bytes, with `dates` another last-write time, and any file below `copy`
  // that is not among `paths`. Empty when the copy is whole.
  std::vector<std::string> TreeDifferences(const std::string& source, const std::string& copy,
                                           const std::vector<std::string>& paths, bool dates);
  // Files below `root` that are download work files ("~" at the end) or ZIP archives.
  std::vector<std::string> LeftOvers(const std::string& root);
  // The requests of `relay` whose request line holds `text` ("?DownLoad ").
  std::vector<std::string> RequestsWith(CuttingRelay& relay, const std::string& text);
};

// The paths of `files`, sorted; without the zero-length ones when `without_empty`.
std::vector<std::string> PathsOf(const std::vector<TreeFile>& files, bool without_empty);
// The last-write time of a file in seconds since 1970, -1 when it has none.
int64_t FileTime(const std::string& path);
// The moment a service date stamp (14 hexadecimal digits, UTC) names, in seconds since
// 1970; -1 for anything else.
int64_t StampTime(const std::string& stamp);
// True when the file `part` holds the first bytes of the file `whole`, and no more.
bool HoldsStartOf(const std::string& part, const std::string& whole);
// Size of a file, -1 when it does not exist.
int64_t FileSize(const std::string& path);

}  // namespace nvx::test

#endif  // NVX_TESTS_E2E_RESTORE_FIXTURE_H_
