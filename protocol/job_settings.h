// The job settings: what the caller sets through CNvxapi before it posts a command. The
// caller's thread writes them only while no command is busy; the worker, the protocol
// and the engines only read them while a command runs, so they need no lock (the command
// event orders the two). Reset clears the per-job part and keeps the run-wide part.
#ifndef NVX_PROTOCOL_JOB_SETTINGS_H_
#define NVX_PROTOCOL_JOB_SETTINGS_H_

#include <cstdint>
#include <forward_list>
#include <string>

namespace nvx {

// Where requests go and who makes them: kept across Reset.
struct LinkSettings {
  std::string server_host;         // SetServer: a server list (server_list.h); "" the default
  std::string server_ca_file;      // SetServerCA: PEM authorities for TLS; "" the system's
  std::string user;                // kUserWidth
  std::string password;            // kPasswordWidth
  std::string scrambled_password;  // takes the place of the password when not empty
  std::string proxy_host;          // kProxyHostWidth; a proxy is in use when not empty
  std::string proxy_port;          // kProxyPortWidth
  std::string proxy_id;            // kProxyIdWidth
  std::string proxy_password;      // plain or scrambled (proxy_password_scrambled)
  bool proxy_authentication = false;
  bool proxy_password_scrambled = false;
};

// What one job does: Reset clears all of it.
struct JobFlags {
  bool verification = false;
  bool subfolders = false;
  bool duplicate_files = false;
  bool use_server_date = false;
  bool move = false;
  bool compress = false;
  bool transfer_compress = false;
  bool email_to_user = false;
  bool email_to_administrator = false;
  int32_t file_compare = 0;
  // Files in flight at once, each on a connection of its own (1 to kTransfersMax); 1 is
  // one request after another on the worker's own connection.
  int32_t transfers = 1;
};

// The names and texts of one job: Reset clears all of them.
struct JobTexts {
  std::string local_directory;
  std::string local_file;
  std::string server_folder;
  std::string server_file;
  std::string email_body;
  std::string email_subject;
  // Folder names and file extensions the engines pass over (newest first); Reset
  // empties them.
  std::forward_list<std::string> skip_folders;
  std::forward_list<std::string> excluded_extensions;
};

struct JobSettings {
  LinkSettings link;
  JobFlags flags;
  JobTexts texts;

  // Run-wide settings, kept across Reset.
  std::string work_directory;
  std::string path_to_verify;
  std::string results_type;  // kResultsTypeWidth
  bool pause_after_file = false;
  // SendLog: the upload sends the activity log, and how many logs go.
  bool sending_log = false;
  int32_t log_count = 0;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_JOB_SETTINGS_H_
