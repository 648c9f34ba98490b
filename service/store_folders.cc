// The folder half of the store: the tree of each account, creation, lookup and the two
// deletions (empty folders below a folder, a whole subtree).
#include <algorithm>
#include <functional>
#include <map>

#include "platform/text_format.h"
#include "service/store.h"

namespace nvx::service {
namespace {

constexpr const char* kFolderColumns = "id, account, parent, name, access, compressed";

Folder FolderFromRow(const Statement& row) {
  Folder folder;
  folder.id = row.Int(0);
  folder.account = row.Int(1);
  folder.parent = row.Int(2);
  folder.name = row.Text(3);
  std::string access = row.Text(4);
  folder.access = access.empty() ? kAccessNone : access[0];
  folder.compressed = row.Int(5) != 0;
  return folder;
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool NameLess(const Folder* a, const Folder* b) {
  return std::lexicographical_compare(a->name.begin(), a->name.end(), b->name.begin(),
                                      b->name.end(),
                                      [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

// Children of each folder (0 for the top level), siblings sorted by name.
std::map<int64_t, std::vector<const Folder*>> ChildrenOf(const std::vector<Folder>& folders) {
  std::map<int64_t, std::vector<const Folder*>> children;
  for (const Folder& folder : folders) children[folder.parent].push_back(&folder);
  for (auto& [parent, list] : children) std::sort(list.begin(), list.end(), NameLess);
  return children;
}

}  // namespace

std::optional<Folder> Store::FindFolderLocked(int64_t account, int64_t id) {
  Statement select(
      db_,
      StrFormat("SELECT %s FROM folders WHERE id = ? AND account = ?", kFolderColumns).c_str());
  if (select.Bind(1, id).Bind(2, account).Next() != Statement::Step::kRow) return std::nullopt;
  return FolderFromRow(select);
}

std::optional<Folder> Store::FindChildLocked(int64_t account, int64_t parent,
                                             std::string_view name) {
  Statement select(db_, StrFormat("SELECT %s FROM folders WHERE account = ? AND parent = ?"
                                  " AND name = ?",
                                  kFolderColumns)
                            .c_str());
  if (select.Bind(1, account).Bind(2, parent).Bind(3, name).Next() != Statement::Step::kRow) {
    return std::nullopt;
  }
  return FolderFromRow(select);
}

bool Store::InsertFolderLocked(Folder* folder) {
  Statement insert(db_,
                   "INSERT INTO folders(account, parent, name, access, compressed)"
                   " VALUES(?, ?, ?, ?, ?)");
  insert.Bind(1, folder->account)
      .Bind(2, folder->parent)
      .Bind(3, folder->name)
      .Bind(4, std::string_view(&folder->access, 1))
      .Bind(5, int64_t{folder->compressed ? 1 : 0});
  if (!insert.Run()) return false;
  folder->id = db_.LastInsertRowId();
  return true;
}

bool Store::LoadFoldersLocked(int64_t account, std::vector<Folder>* folders) {
  folders->clear();
  Statement select(db_,
                   StrFormat("SELECT %s FROM folders WHERE account = ?", kFolderColumns).c_str());
  select.Bind(1, account);
  for (;;) {
    switch (select.Next()) {
      case Statement::Step::kRow:
        folders->push_back(FolderFromRow(select));
        break;
      case Statement::Step::kDone:
        return true;
      case Statement::Step::kFailed:
        return false;
    }
  }
}

bool Store::ListFolders(int64_t account, std::vector<Folder>* folders) {
  std::vector<Folder> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!LoadFoldersLocked(account, &all)) return false;
  }
  auto children = ChildrenOf(all);
  std::vector<const Folder*> top = children[0];
  // "MyFiles" leads; the other top-level folders follow by name.
  std::stable_partition(top.begin(), top.end(),
                        [](const Folder* f) { return EqualsIgnoreCase(f->name, "MyFiles"); });
  folders->clear();
  std::function<void(const Folder*, int)> visit = [&](const Folder* folder, int level) {
    folders->push_back(*folder);
    folders->back().level = level;
    auto found = children.find(folder->id);
    if (found == children.end()) return;
    for (const Folder* child : found->second) visit(child, level + 1);
  };
  for (const Folder* folder : top) visit(folder, 0);
  return true;
}

std::optional<Folder> Store::FindFolder(int64_t account, int64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindFolderLocked(account, id);
}

std::optional<Folder> Store::FindMyFiles(int64_t account) {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindChildLocked(account, 0, "MyFiles");
}

std::optional<Folder> Store::FindFolderByPath(int64_t account,
                                              const std::vector<std::string>& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<Folder> current;
  for (const std::string& name : path) {
    current = FindChildLocked(account, current ? current->id : 0, name);
    if (!current) return std::nullopt;
  }
  return current;
}

bool Store::IsHidden(const Folder& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<Folder> current = folder;
  // The depth of a tree is bounded by its size; the bound keeps a damaged store from
  // looping.
  for (int steps = 0; current && steps < 100000; ++steps) {
    if (current->access == kAccessNone) return true;
    if (current->parent == 0) return false;
    current = FindFolderLocked(current->account, current->parent);
  }
  return false;
}

StoreStatus Store::CreateFolder(int64_t account, int64_t parent, std::string_view name,
                                Folder* folder, bool* created) {
  std::lock_guard<std::mutex> lock(mutex_);
  Transaction transaction(db_);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> parent_folder = FindFolderLocked(account, parent);
  if (!parent_folder) return StoreStatus::kNotFound;
  if (parent_folder->access != kAccessWrite) return StoreStatus::kAccessDenied;
  if (std::optional<Folder> existing = FindChildLocked(account, parent, name)) {
    *folder = *existing;
    *created = false;
    return StoreStatus::kOk;
  }
  Folder fresh;
  fresh.account = account;
  fresh.parent = parent;
  fresh.name = std::string(name);
  fresh.access = kAccessWrite;
  fresh.compressed = parent_folder->compressed;
  if (!InsertFolderLocked(&fresh) || !transaction.Commit()) return StoreStatus::kFailed;
  *folder = fresh;
  *created = true;
  return StoreStatus::kOk;
}

StoreStatus Store::AddFolderPath(int64_t account, const std::vector<std::string>& path, char access,
                                 bool compressed, Folder* folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path.empty()) return StoreStatus::kNotFound;
  Transaction transaction(db_);
  if (!transaction.ok()) return StoreStatus::kFailed;
  Folder parent;  // id 0: the top level
  for (size_t i = 0; i < path.size(); ++i) {
    bool last = i + 1 == path.size();
    std::optional<Folder> existing = FindChildLocked(account, parent.id, path[i]);
    if (existing && last) return StoreStatus::kExists;
    if (existing) {
      parent = *existing;
      continue;
    }
    Folder fresh;
    fresh.account = account;
    fresh.parent = parent.id;
    fresh.name = path[i];
    fresh.access = last ? access : kAccessWrite;
    fresh.compressed = parent.compressed || (last && compressed);
    if (!InsertFolderLocked(&fresh)) return StoreStatus::kFailed;
    parent = fresh;
  }
  if (!transaction.Commit()) return StoreStatus::kFailed;
  *folder = parent;
  return StoreStatus::kOk;
}

StoreStatus Store::DeleteEmptyFoldersBelow(int64_t account, int64_t id, int* deleted) {
  std::lock_guard<std::mutex> lock(mutex_);
  *deleted = 0;
  Transaction transaction(db_);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> named = FindFolderLocked(account, id);
  if (!named) return StoreStatus::kNotFound;
  std::vector<Folder> all;
  if (!LoadFoldersLocked(account, &all)) return StoreStatus::kFailed;
  auto children = ChildrenOf(all);
  bool failed = false;
  // Post-order: a folder is empty once every folder below it went and it holds no
  // document. Only a writable folder in a writable parent goes. Returns whether `folder`
  // was deleted.
  std::function<bool(const Folder&, bool)> prune = [&](const Folder& folder, bool parent_writable) {
    bool writable = folder.access == kAccessWrite;
    bool all_children_gone = true;
    if (auto found = children.find(folder.id); found != children.end()) {
      for (const Folder* child : found->second) all_children_gone &= prune(*child, writable);
    }
    if (failed || !all_children_gone || !writable || !parent_writable) return false;
    Statement documents(db_, "SELECT 1 FROM documents WHERE folder = ? LIMIT 1");
    Statement::Step step = documents.Bind(1, folder.id).Next();
    if (step != Statement::Step::kDone) {
      failed |= step == Statement::Step::kFailed;
      return false;
    }
    Statement remove(db_, "DELETE FROM folders WHERE id = ?");
    if (!remove.Bind(1, folder.id).Run()) {
      failed = true;
      return false;
    }
    ++*deleted;
    return true;
  };
  if (auto found = children.find(id); found != children.end()) {
    for (const Folder* child : found->second) prune(*child, named->access == kAccessWrite);
  }
  if (failed || !transaction.Commit()) {
    *deleted = 0;
    return StoreStatus::kFailed;
  }
  return StoreStatus::kOk;
}

StoreStatus Store::DeleteFolderTree(int64_t account, int64_t id, std::vector<std::string>* blobs) {
  std::lock_guard<std::mutex> lock(mutex_);
  blobs->clear();
  Transaction transaction(db_);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> root = FindFolderLocked(account, id);
  if (!root) return StoreStatus::kNotFound;
  if (root->parent == 0) return StoreStatus::kTopLevel;
  std::optional<Folder> parent = FindFolderLocked(account, root->parent);
  if (!parent || parent->access != kAccessWrite) return StoreStatus::kAccessDenied;
  std::vector<Folder> all;
  if (!LoadFoldersLocked(account, &all)) return StoreStatus::kFailed;
  auto children = ChildrenOf(all);
  std::vector<int64_t> subtree;
  bool writable = true;
  std::function<void(const Folder&)> collect = [&](const Folder& folder) {
    writable &= folder.access == kAccessWrite;
    subtree.push_back(folder.id);
    if (auto found = children.find(folder.id); found != children.end()) {
      for (const Folder* child : found->second) collect(*child);
    }
  };
  collect(*root);
  // The tree goes whole or not at all.
  if (!writable) return StoreStatus::kAccessDenied;
  int64_t freed = 0;
  for (int64_t folder : subtree) {
    Statement select(db_, "SELECT blob, size FROM documents WHERE folder = ?");
    select.Bind(1, folder);
    Statement::Step step;
    while ((step = select.Next()) == Statement::Step::kRow) {
      blobs->push_back(select.Text(0));
      freed += select.Int(1);
    }
    Statement remove_documents(db_, "DELETE FROM documents WHERE folder = ?");
    Statement remove_folder(db_, "DELETE FROM folders WHERE id = ?");
    if (step == Statement::Step::kFailed || !remove_documents.Bind(1, folder).Run() ||
        !remove_folder.Bind(1, folder).Run()) {
      blobs->clear();
      return StoreStatus::kFailed;
    }
  }
  if (!AdjustUsedLocked(account, -freed) || !transaction.Commit()) {
    blobs->clear();
    return StoreStatus::kFailed;
  }
  return StoreStatus::kOk;
}

}  // namespace nvx::service
