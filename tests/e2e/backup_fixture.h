// Backups run end to end: local trees of files with chosen sizes and contents, the job
// lines that send them, and what the service then holds (its documents, their stored
// bytes, the requests it logged). Used by one test thread.
#ifndef NVX_TESTS_E2E_BACKUP_FIXTURE_H_
#define NVX_TESTS_E2E_BACKUP_FIXTURE_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"

namespace nvx::test {

// Text compresses to a small fraction; random bytes do not compress at all.
enum class Content { kText, kRandom };

// Writes `size` bytes to `path`, making its folders: repeated text lines, or
// pseudo-random bytes that `seed` decides.
void WriteContent(const std::string& path, int64_t size, Content content, uint32_t seed = 1);
// The MD5 of a local file in lower-case hexadecimal.
std::string FileMd5(const std::string& path);
// Every entry below `root` that is not a folder, as a path relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& root);
// Sets a file's last-write time to `seconds` since 1970 (UTC).
void SetFileTime(const std::string& path, int64_t seconds);

// One line of `nvxserver doc list`.
struct StoredDocument {
  std::string name;
  int64_t size = -1;
  std::string date;
  std::string md5;
  bool complete = false;
  std::string version;
};

// A SendToNVX (or MoveToNVX) job.
struct SendJob {
  std::string local_path;
  std::string server_path = "\\Backup";
  bool verify = true;
  bool compress = false;
  bool move = false;
  bool subfolders = true;
  std::vector<std::string> skip_folders;
  std::vector<std::string> excluded_extensions;
  int transfers = 1;  // "Transfers " when above 1

  // The job's lines, ending with its verb.
  std::string Lines() const;
};

class BackupTest : public EndToEndTest {
 protected:
  // The documents of the server folder `folder_path` as a job names it ("\Backup\Data",
  // inside "MyFiles"), by name; empty when the folder does not exist.
  std::map<std::string, StoredDocument> Documents(const std::string& folder_path,
                                                  const std::string& account = "alice");
  // The MD5 of the stored bytes of `document_path` ("\Backup\Data\a.txt") read back
  // with `doc get`; "" when the service has no such document or refuses it.
  std::string StoredMd5(const std::string& document_path, const std::string& account = "alice");
  // Expects every file below `tree` (in its top folder and in "Photos") stored whole in
  // "\Backup\Data" (and "\Backup\Data\Photos") with its MD5; returns the files' paths.
  std::vector<std::string> ExpectTreeStoredWhole(const std::string& tree);
  // Where the request log ends now; RequestsSince reads what was logged after it.
  size_t LogMark();
  // Request lines logged since `mark` whose method is `method` ("PUT", "HEAD").
  std::vector<std::string> RequestsSince(size_t mark, const std::string& method);
  // A job file that makes sure "\Backup" exists and then runs `jobs`.
  std::string BackupJobFile(const std::string& jobs, const std::string& user = "alice",
                            const std::string& password = "wonderland");
  // Files of the service's blobs folder whose name ends with `ending`.
  std::vector<std::string> BlobFiles(const std::string& ending);
};

}  // namespace nvx::test

#endif  // NVX_TESTS_E2E_BACKUP_FIXTURE_H_
