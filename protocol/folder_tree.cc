#include "protocol/folder_tree.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/text_format.h"
#include "protocol/library_limits.h"
#include "protocol/response_headers.h"

namespace nvx {
namespace {

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

int32_t LevelOf(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  std::optional<int64_t> level = ConsumeDecimal(line);
  if (!level || *level < 0) return 0;
  return static_cast<int32_t>(std::min<int64_t>(*level, std::numeric_limits<int32_t>::max()));
}

// The fields after the level: "name [TAB access [TAB id]]".
void FillRecord(FolderRecord& record, std::string_view fields) {
  size_t tab = fields.find('\t');
  record.name = std::string(fields.substr(0, std::min(tab, kFolderNameMax)));
  record.write_access = true;
  if (tab == std::string_view::npos) return;
  fields.remove_prefix(tab + 1);
  tab = fields.find('\t');
  std::string_view access = fields.substr(0, tab);
  if (!access.empty() && access.front() == 'N') {
    record.write_access = false;
    record.no_access = true;
  } else if (!access.empty() && access.front() == 'V') {
    record.write_access = false;
  }
  if (tab == std::string_view::npos) return;
  record.folder_id = std::string(fields.substr(tab + 1, kFolderIdMax));
}

// Links records in reply order. A record always becomes the last child of its parent,
// and the reply is depth first, so the last child of every folder on the way from the
// root to the previous record is the next folder on that way: appending never walks a
// list of siblings, and no table of last children is needed.
class TreeLinker {
 public:
  explicit TreeLinker(FolderRecord* root) : previous_(root) {}

  void Link(FolderRecord* record) {
    if (record->level > previous_->level) {
      AppendChild(previous_, nullptr, record);  // the previous record has no children yet
    } else if (record->level == previous_->level && previous_->parent != nullptr) {
      AppendChild(previous_->parent, previous_, record);
    } else {
      // Up from the previous record to the folder one level above the new one (the root
      // when there is none), remembering its child on the way: its last child.
      FolderRecord* last_child = previous_;
      FolderRecord* ancestor = previous_->parent;
      while (ancestor->parent != nullptr && ancestor->level != record->level - 1) {
        last_child = ancestor;
        ancestor = ancestor->parent;
      }
      AppendChild(ancestor, last_child, record);
    }
    previous_ = record;
  }

 private:
  static void AppendChild(FolderRecord* parent, FolderRecord* last_child, FolderRecord* record) {
    record->parent = parent;
    if (last_child == nullptr) {
      parent->first_child = record;
    } else {
      last_child->next_sibling = record;
    }
  }

  FolderRecord* previous_;
};

void MarkSubtreeNoShow(FolderRecord* top) {
  std::vector<FolderRecord*> pending{top};
  while (!pending.empty()) {
    FolderRecord* folder = pending.back();
    pending.pop_back();
    folder->no_show = true;
    for (FolderRecord* child = folder->first_child; child != nullptr; child = child->next_sibling) {
      pending.push_back(child);
    }
  }
}

// Hides every folder without access and everything below it.
void SpreadNoShow(FolderRecord* root) {
  std::vector<FolderRecord*> pending{root};
  while (!pending.empty()) {
    FolderRecord* folder = pending.back();
    pending.pop_back();
    if (folder->no_access && !folder->no_show) {
      MarkSubtreeNoShow(folder);
      continue;
    }
    for (FolderRecord* child = folder->first_child; child != nullptr; child = child->next_sibling) {
      pending.push_back(child);
    }
  }
}

}  // namespace

FolderTree::FolderTree() {
  records.emplace_back().level = -1;
}

FolderRecord* FolderTree::NewRecord() {
  return &records.emplace_back();
}

FolderListParse ParseFolderList(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  FolderListParse result;
  if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) > kFolderListMaxFolders) {
    result.message =
        StrFormat("System Error - Folder list longer than %zu folders", kFolderListMaxFolders);
    return result;
  }
  result.tree = std::make_unique<FolderTree>();
  FolderTree& tree = *result.tree;
  TreeLinker linker(tree.root());
  FolderRecord* last_in_reply_order = tree.root();
  while (!text.empty()) {
    size_t line_feed = text.find('\n');
    if (line_feed == std::string_view::npos) {
      result.tree.reset();
      result.message = "System Error - Invalid data from server";
      return result;
    }
    std::string_view line = text.substr(0, line_feed);
    text.remove_prefix(line_feed + 1);
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      result.message = "System Error - Data invalid from Norrvault";
      return result;
    }
    FolderRecord* record = tree.NewRecord();
    record->level = LevelOf(line.substr(0, tab));
    FillRecord(*record, line.substr(tab + 1));
    last_in_reply_order->next_in_reply_order = record;
    last_in_reply_order = record;
    linker.Link(record);
  }
  SpreadNoShow(tree.root());
  return result;
}

const FolderRecord* FindFolder(std::string_view path, const FolderRecord& root) {
  std::vector<std::string_view> names = SplitServerPath(path);
  const FolderRecord* current = ChildNamed(root, kMyFilesFolder);
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

FolderRecord* FindFolder(std::string_view path, FolderRecord& root) {
  // The records belong to a tree the caller may change.
  return const_cast<FolderRecord*>(FindFolder(path, static_cast<const FolderRecord&>(root)));
}

FolderRecord* MyFilesFolder(FolderRecord& root) {
  return const_cast<FolderRecord*>(ChildNamed(root, kMyFilesFolder));
}

std::string FolderPath(const FolderRecord& record) {
  std::vector<std::string_view> names;
  for (const FolderRecord* folder = &record;
       folder != nullptr && folder->level != 0 && !folder->name.empty(); folder = folder->parent) {
    names.push_back(folder->name);
  }
  std::string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    path.append(*name).append("\\");
    if (path.size() >= kFolderPathMax) break;
  }
  if (path.size() > kFolderPathMax) path.resize(kFolderPathMax);
  return path;
}

bool LinkNewFolder(FolderRecord& record, FolderRecord* parent) {
  if (parent == nullptr) return false;
  record.parent = parent;
  record.level = parent->level + 1;
  record.next_sibling = parent->first_child;
  parent->first_child = &record;
  return true;
}

}  // namespace nvx
