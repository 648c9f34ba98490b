// The server folder an engine's walk is in: what its requests name (id and name) and the
// node of the folder list it stands for. An engine owns the value and passes it down its
// walk; nothing outside the engine sees or changes it. Worker thread only.
#ifndef NVX_ENGINES_SERVER_FOLDER_H_
#define NVX_ENGINES_SERVER_FOLDER_H_

#include <string>

#include "protocol/folder_tree.h"
#include "protocol/service_command.h"

namespace nvx {

struct ServerFolder {
  std::string id;    // "" names no folder ("NO")
  std::string name;  // "" names none
  // The folder list's node, whose children a walk searches; null for a folder that is
  // not in the list (created by the engine) or for none.
  const FolderRecord* node = nullptr;

  // The folder `record` of the folder list; a null record names none.
  [[nodiscard]] static ServerFolder Of(const FolderRecord* record) {
    if (record == nullptr) return {};
    return {record->folder_id, record->name, record};
  }
  // What a request about this folder names.
  FolderTarget target() const { return {id, name}; }
};

}  // namespace nvx

#endif  // NVX_ENGINES_SERVER_FOLDER_H_
