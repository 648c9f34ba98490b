// The protocol's record: what the service's answers said and which server folder and
// file the next request names. The protocol writes it on the worker thread while a
// command runs; the caller's thread reads it (folder list, space figures, version
// figures) only while no command is busy. The shared block embeds one by value.
#ifndef NVX_PROTOCOL_PROTOCOL_STATE_H_
#define NVX_PROTOCOL_PROTOCOL_STATE_H_

#include <array>
#include <cstdint>
#include <forward_list>
#include <memory>
#include <string>
#include <vector>

#include "protocol/folder_tree.h"
#include "protocol/server_file_list.h"

namespace nvx {

// The lists of the current job: Reset empties them.
struct ServerLists {
  std::unique_ptr<FolderTree> folder_list;
  // Trees replaced by a later folder list while a folder of theirs was mapped; kept so
  // that the mapped folder stays valid until Reset.
  std::forward_list<std::unique_ptr<FolderTree>> retired_folder_lists;
  const FolderRecord* mapped_folder = nullptr;
  std::vector<ServerFileEntry> server_file_list;  // reply order
};

struct ProtocolState {
  ServerLists lists;

  // Account figures of "X-NVX-LARCH"; the estimate is seeded by the first answer.
  int64_t space_limit = 0;
  int64_t space_used = 0;
  int64_t space_used_estimate = 0;
  int32_t service_options = 0;  // option bits of "X-NVX-CRUNCHYFROG"

  // What the next request names.
  std::string current_server_folder_id;    // sent as "NO" when empty
  std::string current_server_folder_name;  // X-NVX-BIGGLES of commands
  std::string server_version_id;           // the document of FileInfo and DeleteDoc

  // The answers of single commands.
  std::array<uint8_t, 16> server_digest{};  // FileInfo
  int64_t server_size = 0;                  // FileInfo
  std::string server_file_date;             // FileInfo: the date stamp
  std::string current_file;                 // FileInfo: the name of the file in hand
  std::string new_folder_id;                // FolderCreate
  int64_t folder_file_count = 0;            // FolderFileCount

  // The version file's figures and note, and where the help file went.
  int32_t version_major = 0;
  int32_t version_minor = 0;
  int32_t version_build = 0;
  std::string version_note;
  std::string help_file_name;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_PROTOCOL_STATE_H_
