// The server folder tree: the folders of the account as the "FolderList" reply describes
// them, with their ids and access rights. A FolderTree owns its records; pointers to them
// stay valid as long as the tree lives. Built and extended on the worker thread; read on
// the caller's thread only while no folder command runs.
#ifndef NVX_PROTOCOL_FOLDER_TREE_H_
#define NVX_PROTOCOL_FOLDER_TREE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nvx {

inline constexpr size_t kFolderNameMax = 128;
inline constexpr size_t kFolderIdMax = 17;

struct FolderRecord {
  FolderRecord* next_in_reply_order = nullptr;
  FolderRecord* parent = nullptr;
  FolderRecord* first_child = nullptr;
  FolderRecord* next_sibling = nullptr;
  std::string name;       // at most kFolderNameMax characters
  std::string folder_id;  // at most kFolderIdMax characters
  int32_t level = 0;      // the root has -1, top-level folders 0
  bool write_access = false;
  bool no_access = false;
  bool no_show = false;
  bool download_base_mark = false;
  bool base_name_given_mark = false;
  bool no_local_folder_mark = false;
};

struct FolderTree {
  FolderTree();
  // The empty record that heads the tree (level -1).
  FolderRecord* root() { return records.front().get(); }
  const FolderRecord* root() const { return records.front().get(); }
  // A new record owned by the tree, not yet linked.
  FolderRecord* NewRecord();

  std::vector<std::unique_ptr<FolderRecord>> records;
};

// Looks a server path ("\Docs\A", "MyFiles\Docs", "Shared") up in the tree: relative to
// the top-level folder "MyFiles" first, then from the root. Null when not found.
const FolderRecord* FindFolder(std::string_view path, const FolderRecord& root);

}  // namespace nvx

#endif  // NVX_PROTOCOL_FOLDER_TREE_H_
