// What the service's answers told that outlives one command, for the getters of the
// exported interface: the account's figures (space limit, use and estimate, option
// bits), the folder list with the mapped folder, and the version file's figures.
//
// Who writes what: the account figures are written by the protocol as answers arrive
// (TakeAnswerHeaders, ServiceCommand) and by the upload engine's estimate, through the
// AccountFigures a ServiceSession holds; the folder list, the mapped folder and the
// version figures are written by the worker's routines from what the commands return
// (api/command_routines.cc) and by MapNVXPath. No command reads this record to learn
// what to act on: each names its folder and document as arguments.
//
// The worker writes while a command runs; the caller's thread reads only while no
// command is busy. The shared block embeds one by value.
#ifndef NVX_PROTOCOL_PROTOCOL_STATE_H_
#define NVX_PROTOCOL_PROTOCOL_STATE_H_

#include <cstdint>
#include <forward_list>
#include <memory>
#include <string>

#include "protocol/folder_tree.h"

namespace nvx {

// The account's figures of "X-NVX-LARCH" and its option bits of "X-NVX-CRUNCHYFROG",
// kept across commands.
struct AccountFigures {
  int64_t space_limit = 0;
  int64_t space_used = 0;
  // The use as the upload counts it: seeded by the first answer's figure, then grown by
  // each new document sent.
  int64_t space_used_estimate = 0;
  int32_t service_options = 0;
};

// The folder list of the current job and the folder mapped in it: Reset empties them.
struct ServerLists {
  std::unique_ptr<FolderTree> folder_list;
  // Trees replaced by a later folder list while a folder of theirs was mapped; kept so
  // that the mapped folder stays valid until Reset.
  std::forward_list<std::unique_ptr<FolderTree>> retired_folder_lists;
  const FolderRecord* mapped_folder = nullptr;
};

// The version file's figures and note.
struct VersionFigures {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;
  std::string note;
};

struct ProtocolState {
  ServerLists lists;
  AccountFigures account;
  VersionFigures version;
  // Where the last help file went.
  std::string help_file_name;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_PROTOCOL_STATE_H_
