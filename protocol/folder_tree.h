// The server folder tree: the folders of the account as the "FolderList" reply describes
// them, with their ids and access rights. A FolderTree owns its records; pointers to them
// stay valid as long as the tree lives. Built and extended on the worker thread; read on
// the caller's thread only while no folder command runs.
//
// The reply holds one line per folder, depth first, each ended by LF:
// "level TAB name [TAB access [TAB id]]". Access "N" is no access, "V" view only,
// anything else (or none) write access.
#ifndef NVX_PROTOCOL_FOLDER_TREE_H_
#define NVX_PROTOCOL_FOLDER_TREE_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nvx {

inline constexpr size_t kFolderNameMax = 128;
inline constexpr size_t kFolderIdMax = 17;
// The user's own top-level folder; paths are looked up below it first.
inline constexpr std::string_view kMyFilesFolder = "MyFiles";

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
  FolderRecord* root() { return &records.front(); }
  const FolderRecord* root() const { return &records.front(); }
  // A new record owned by the tree, not yet linked.
  [[nodiscard]] FolderRecord* NewRecord();

  // A deque keeps every record where it was made (pointers stay valid) without an
  // allocation per record.
  std::deque<FolderRecord> records;
};

// What ParseFolderList made of a reply: the tree (none when the reply was unusable) and
// an error message (empty on success). A line without a tab ends the parse: the records
// made so far are kept and no-show marks are not spread. A reply of more than
// kFolderListMaxFolders lines is unusable.
struct FolderListParse {
  std::unique_ptr<FolderTree> tree;
  std::string message;
};
// Parses a "FolderList" reply text; the text ends at its first zero byte. Negative
// levels count as 0.
[[nodiscard]] FolderListParse ParseFolderList(std::string_view text);

// Looks a server path ("\Docs\A", "MyFiles\Docs", "Shared") up in the tree: relative to
// the top-level folder "MyFiles" first, then from the root. Null when not found.
[[nodiscard]] const FolderRecord* FindFolder(std::string_view path, const FolderRecord& root);
[[nodiscard]] FolderRecord* FindFolder(std::string_view path, FolderRecord& root);

// The top-level folder "MyFiles" (letter case ignored), or null.
[[nodiscard]] FolderRecord* MyFilesFolder(FolderRecord& root);

// The folder's path below its top-level folder, each name followed by "\": 'Docs\A\'
// for a folder 'A' under 'Docs' under "MyFiles". At most kFolderPathMax characters.
[[nodiscard]] std::string FolderPath(const FolderRecord& record);

// Links a folder the library created as the first child of `parent`; false (nothing
// linked) when there is no parent.
[[nodiscard]] bool LinkNewFolder(FolderRecord& record, FolderRecord* parent);

}  // namespace nvx

#endif  // NVX_PROTOCOL_FOLDER_TREE_H_
