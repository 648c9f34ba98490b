// The job runner's settings for one run (JobConfig) and its jobs (JobEntry), as read from
// a job configuration file. Plain values owned by the caller; one thread.
//
// Local paths are Linux paths ("/" between folders; the file system root tidies to the
// empty text). Server paths keep the service's backslash ("\Backup\My Documents").
#ifndef NVX_RUNNER_JOB_CONFIG_H_
#define NVX_RUNNER_JOB_CONFIG_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace nvx {

struct JobEntry {
  bool debug = false;
  bool progress = false;
  std::string server_path;
  std::string server_file;
  std::string local_path;
  std::string local_file;
  bool include_subfolders = false;
  bool verify = true;
  bool force_digest = false;
  // The verb group: a verb sets its own flags and clears the rest.
  bool upload = false;
  bool download = false;
  bool move = false;
  bool verify_folders = false;
  bool clean = false;
  // Set by "SendLog" and never cleared by a later verb.
  bool send_log = false;
  // "VerifyRestore": a restore test of this many files of the job's folder.
  bool verify_restore = false;
  int32_t restore_test_files = 0;
  bool use_server_date = false;
  bool duplicate_files = false;
  bool compress = false;
  bool transfer_compress = false;
  bool notify_user = false;
  bool notify_administrator = false;
  // Set when a verb ended the entry.
  bool complete = false;
  bool delete_empty_folders = false;
  // "SkipFolder " and "VerifyPath " entries, newest first.
  std::deque<std::string> folder_list;
  // "ExcludeExtension " entries, newest first.
  std::deque<std::string> excluded_extensions;
  int32_t log_count = 0;
  // Files in flight at once on as many connections ("Transfers ", 1 to 8).
  int32_t transfers = 1;
};

struct JobConfig {
  std::string user;
  // Plain, or the scrambled login token when password_scrambled is set.
  std::string password;
  std::string server_host;     // a server list: "https://host:port, host2, ..."
  std::string server_ca_file;  // PEM authorities for TLS servers; "" the system's
  std::string proxy_host;
  std::string proxy_port;
  std::string proxy_id;
  // Plain, or scrambled when proxy_password_scrambled is set.
  std::string proxy_password;
  bool proxy_id_given = false;
  bool proxy_given = false;
  bool password_scrambled = false;
  bool proxy_password_scrambled = false;
  // A plain value was scrambled: the file is to be rewritten without it.
  bool rewrite_needed = false;
  // Some job asked for the e-mail summary.
  bool notify_user = false;
  bool notify_administrator = false;
  // Ends with "/"; empty: no activity log and no results report.
  std::string log_directory;
  std::vector<JobEntry> jobs;
  std::string results_type;
  int32_t log_level = 1;
  // When the desktop is told how a run ended: "failures", "always" or "never" (the
  // status file's words).
  std::string desktop_notify = "failures";
};

// What a job does, in the order the job driver tests its flags.
enum class JobKind {
  kVerifyFolders,
  kUpload,
  kDownload,
  kDeleteEmptyFolders,
  kClean,
  kSendLog,
  kVerifyRestore,
  kNone,
};

JobKind KindOf(const JobEntry& job);

}  // namespace nvx

#endif  // NVX_RUNNER_JOB_CONFIG_H_
