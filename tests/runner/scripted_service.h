// A scripted service for job driver tests: worker routines that stand in for the service
// commands of the library, so that the real CNvxapi facade, its worker, its activity log
// and its results report run while the test decides what the service answers. The
// routines read the script and record what the library was asked to do; the test reads
// the record only after the CNvxapi is gone (its worker has then ended).
#ifndef NVX_TESTS_RUNNER_SCRIPTED_SERVICE_H_
#define NVX_TESTS_RUNNER_SCRIPTED_SERVICE_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "api/nvxapi.h"

namespace nvx::test {

struct ScriptedFolder {
  std::string path;  // "\Backup\Docs"
  bool no_show = false;
  bool no_access = false;
  bool write_access = true;
};

// One transfer command's outcome.
struct ScriptedTransfer {
  bool succeeded = true;
  int32_t error_code = 0;
  int32_t files_uploaded = 0;
  int32_t files_upload_error = 0;
  int32_t files_upload_zero_length = 0;
  int32_t files_downloaded = 0;
  int32_t files_not_found = 0;
  std::string status_message;  // set when not empty
  // Files the engine goes through one after the other, pausing after each when the
  // caller asked for it.
  std::vector<std::string> files;
};

// What the library held when a job's command ran.
struct SeenJob {
  std::string command;
  std::string local_directory;
  std::string local_file;
  std::string server_folder;
  std::string server_file;
  bool subfolders = false;
  bool verification = false;
  bool compress = false;
  bool transfer_compress = false;
  bool move = false;
  bool duplicate_files = false;
  bool use_server_date = false;
  bool pause_after_file = false;
  int32_t file_compare = 0;
  int32_t log_count = 0;
  std::vector<std::string> skip_folders;
  std::vector<std::string> excluded_extensions;
};

struct SentEmail {
  std::string command;
  bool to_user = false;
  bool to_administrator = false;
  std::string subject;
  std::string body;
};

struct ServiceScript {
  // The login check.
  bool verify_succeeds = true;
  int32_t verify_error_code = 0;
  std::string verify_conclusion = "Successful";
  // The folder list and the account's space figures that come with it.
  bool folder_list_succeeds = true;
  std::vector<ScriptedFolder> folders;
  int64_t space_limit = 1000000;
  int64_t space_used = 1000;
  // Outcomes of upload and download commands, in order; a missing one succeeds.
  std::deque<ScriptedTransfer> transfers;
  int32_t clean_status = 2;
  std::string clean_conclusion = "Successful";
  std::string delete_empty_conclusion = "Successful";
  int32_t delete_empty_status = 2;
  // Folders whose VerifyPath fails, with the status message it leaves.
  std::vector<std::string> refused_paths;
  std::string refused_path_message = "Unable to create folder";
  // The service's answer to the e-mail commands.
  std::string email_conclusion = "Successful";

  // What happened.
  std::vector<std::string> commands;
  std::vector<SeenJob> jobs;
  std::vector<std::string> verified_paths;
  std::vector<SentEmail> emails;
  bool proxy_password_scrambled = false;
  std::string proxy_password;
  std::string scrambled_password;
};

// Makes `api` play `script`, which must outlive it.
void PlayScript(CNvxapi& api, ServiceScript& script);

}  // namespace nvx::test

#endif  // NVX_TESTS_RUNNER_SCRIPTED_SERVICE_H_
