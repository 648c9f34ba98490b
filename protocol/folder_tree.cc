#include "protocol/folder_tree.h"

#include "platform/text_format.h"

namespace nvx {
namespace {

inline constexpr std::string_view kMyFiles = "MyFiles";

const FolderRecord* ChildNamed(const FolderRecord& folder, std::string_view name) {
  for (const FolderRecord* child = folder.first_child; child != nullptr;
       child = child->next_sibling) {
    if (EqualsIgnoreCase(child->name, name)) return child;
  }
  return nullptr;
}

std::vector<std::string_view> SplitServerPath(std::string_view path) {
  std::vector<std::string_view> names;
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

}  // namespace

FolderTree::FolderTree() {
  records.push_back(std::make_unique<FolderRecord>());
  records.front()->level = -1;
}

FolderRecord* FolderTree::NewRecord() {
  records.push_back(std::make_unique<FolderRecord>());
  return records.back().get();
}

const FolderRecord* FindFolder(std::string_view path, const FolderRecord& root) {
  std::vector<std::string_view> names = SplitServerPath(path);
  const FolderRecord* current = ChildNamed(root, kMyFiles);
  if (current == nullptr) {
    if (names.empty()) return nullptr;
    current = &root;
  }
  bool restarted = false;
  size_t i = 0;
  while (i < names.size()) {
    if (const FolderRecord* child = ChildNamed(*current, names[i])) {
      current = child;
      ++i;
    } else if (EqualsIgnoreCase(current->name, names[i])) {
      ++i;  // "MyFiles\Docs" and "Docs" name the same folder.
    } else if (!restarted) {
      restarted = true;  // try the same name again from the root: other top-level folders
      current = &root;
    } else {
      return nullptr;
    }
  }
  return current;
}

}  // namespace nvx
