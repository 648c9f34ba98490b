// The folder half of the store: the tree of each account, creation, lookup, the access
// that applies to a folder and the two deletions (empty folders below a folder, a whole
// subtree). Which folders a walk visits is decided by folder_tree.h.
#include <unordered_set>

#include "platform/text_format.h"
#include "service/store/folder_tree.h"
#include "service/store/service_limits.h"
#include "service/store/sqlite_store.h"
#include "service/store/store_columns.h"

namespace nvx::service {
namespace {

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

}  // namespace

std::optional<Folder> SqliteStore::FindFolderIn(Database& db, int64_t account, int64_t id) {
  Statement select(
      db, StrFormat("SELECT %s FROM folders WHERE id = ? AND account = ?", kFolderColumns).c_str());
  if (select.Bind(1, id).Bind(2, account).Next() != Statement::Step::kRow) return std::nullopt;
  return FolderFromRow(select);
}

std::optional<Folder> SqliteStore::FindChildIn(Database& db, int64_t account, int64_t parent,
                                               std::string_view name) {
  Statement select(db, StrFormat("SELECT %s FROM folders WHERE account = ? AND parent = ?"
                                 " AND name = ?",
                                 kFolderColumns)
                           .c_str());
  if (select.Bind(1, account).Bind(2, parent).Bind(3, name).Next() != Statement::Step::kRow) {
    return std::nullopt;
  }
  return FolderFromRow(select);
}

std::optional<SqliteStore::Ancestry> SqliteStore::AncestryIn(Database& db, const Folder& folder) {
  // The folder and all above it in one query: hidden when any of them has no access; the
  // level is the number of folders above it.
  Statement select(db,
                   "WITH RECURSIVE up(id, parent, access, depth) AS ("
                   " SELECT id, parent, access, 0 FROM folders WHERE id = ?1 AND account = ?2"
                   " UNION ALL"
                   " SELECT f.id, f.parent, f.access, up.depth + 1 FROM folders f"
                   " JOIN up ON f.id = up.parent WHERE up.parent != 0 AND up.depth < ?3)"
                   " SELECT count(*), coalesce(max(access = 'N'), 0), coalesce(max(depth), 0)"
                   " FROM up");
  select.Bind(1, folder.id).Bind(2, folder.account).Bind(3, kAncestorWalkMax);
  if (select.Next() != Statement::Step::kRow || select.Int(0) == 0) return std::nullopt;
  Ancestry ancestry;
  ancestry.hidden = select.Int(1) != 0;
  ancestry.level = select.Int(2);
  return ancestry;
}

bool SqliteStore::InsertFolderIn(Database& db, Folder* folder) {
  Statement insert(db,
                   "INSERT INTO folders(account, parent, name, access, compressed)"
                   " VALUES(?, ?, ?, ?, ?)");
  insert.Bind(1, folder->account)
      .Bind(2, folder->parent)
      .Bind(3, folder->name)
      .Bind(4, std::string_view(&folder->access, 1))
      .Bind(5, int64_t{folder->compressed ? 1 : 0});
  if (!insert.Run()) return false;
  folder->id = db.LastInsertRowId();
  return true;
}

bool SqliteStore::LoadFoldersIn(Database& db, int64_t account, std::vector<Folder>* folders) {
  folders->clear();
  Statement select(db,
                   StrFormat("SELECT %s FROM folders WHERE account = ?", kFolderColumns).c_str());
  select.Bind(1, account);
  return CollectRows(select, folders, FolderFromRow);
}

bool SqliteStore::ListFolders(int64_t account, std::vector<Folder>* folders) {
  std::vector<Folder> all;
  {
    DatabasePool::Lease db = pool_.Acquire();
    if (!LoadFoldersIn(*db, account, &all)) return false;
  }
  *folders = FoldersDepthFirst(all);
  return true;
}

std::optional<Folder> SqliteStore::FindFolder(int64_t account, int64_t id) {
  DatabasePool::Lease db = pool_.Acquire();
  return FindFolderIn(*db, account, id);
}

std::optional<Folder> SqliteStore::FindMyFiles(int64_t account) {
  DatabasePool::Lease db = pool_.Acquire();
  return FindChildIn(*db, account, 0, "MyFiles");
}

std::optional<Folder> SqliteStore::FindFolderByPath(int64_t account,
                                                    const std::vector<std::string>& path) {
  DatabasePool::Lease db = pool_.Acquire();
  std::optional<Folder> current;
  for (const std::string& name : path) {
    current = FindChildIn(*db, account, current ? current->id : 0, name);
    if (!current) return std::nullopt;
  }
  return current;
}

char SqliteStore::EffectiveAccess(const Folder& folder) {
  DatabasePool::Lease db = pool_.Acquire();
  std::optional<Ancestry> ancestry = AncestryIn(*db, folder);
  // A folder the store cannot place is treated as one without access.
  if (!ancestry || ancestry->hidden) return kAccessNone;
  return folder.access;
}

StoreStatus SqliteStore::CreateFolder(int64_t account, int64_t parent, std::string_view name,
                                      Folder* folder, bool* created) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> parent_folder = FindFolderIn(*db, account, parent);
  if (!parent_folder) return StoreStatus::kNotFound;
  std::optional<Ancestry> ancestry = AncestryIn(*db, *parent_folder);
  if (!ancestry) return StoreStatus::kFailed;
  if (ancestry->hidden) return StoreStatus::kNotFound;
  if (parent_folder->access != kAccessWrite) return StoreStatus::kAccessDenied;
  if (std::optional<Folder> existing = FindChildIn(*db, account, parent, name)) {
    *folder = *existing;
    *created = false;
    return StoreStatus::kOk;
  }
  if (ancestry->level + 1 >= kServiceFolderLevelsMax) return StoreStatus::kTooDeep;
  Folder fresh;
  fresh.account = account;
  fresh.parent = parent;
  fresh.name = std::string(name);
  fresh.access = kAccessWrite;
  fresh.compressed = parent_folder->compressed;
  if (!InsertFolderIn(*db, &fresh) || !transaction.Commit()) return StoreStatus::kFailed;
  *folder = fresh;
  *created = true;
  return StoreStatus::kOk;
}

StoreStatus SqliteStore::AddFolderPath(int64_t account, const std::vector<std::string>& path,
                                       char access, bool compressed, Folder* folder) {
  if (path.empty()) return StoreStatus::kNotFound;
  if (path.size() > static_cast<size_t>(kServiceFolderLevelsMax)) return StoreStatus::kTooDeep;
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  Folder parent;  // id 0: the top level
  for (size_t i = 0; i < path.size(); ++i) {
    bool last = i + 1 == path.size();
    std::optional<Folder> existing = FindChildIn(*db, account, parent.id, path[i]);
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
    if (!InsertFolderIn(*db, &fresh)) return StoreStatus::kFailed;
    parent = fresh;
  }
  if (!transaction.Commit()) return StoreStatus::kFailed;
  *folder = parent;
  return StoreStatus::kOk;
}

StoreStatus SqliteStore::DeleteEmptyFoldersBelow(int64_t account, int64_t id, int* deleted) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  *deleted = 0;
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> named = FindFolderIn(*db, account, id);
  if (!named) return StoreStatus::kNotFound;
  std::optional<Ancestry> ancestry = AncestryIn(*db, *named);
  if (!ancestry) return StoreStatus::kFailed;
  if (ancestry->hidden) return StoreStatus::kNotFound;
  std::vector<Folder> all;
  if (!LoadFoldersIn(*db, account, &all)) return StoreStatus::kFailed;
  std::unordered_set<int64_t> holding;  // folders of the account that hold documents
  {
    Statement select(*db,
                     "SELECT DISTINCT d.folder FROM documents d JOIN folders f ON d.folder = f.id"
                     " WHERE f.account = ?");
    std::vector<int64_t> ids;
    select.Bind(1, account);
    if (!CollectRows(select, &ids, [](const Statement& row) { return row.Int(0); })) {
      return StoreStatus::kFailed;
    }
    holding.insert(ids.begin(), ids.end());
  }
  Statement remove(*db, "DELETE FROM folders WHERE id = ?");
  for (int64_t going : EmptyFoldersBelow(all, *named, holding)) {
    remove.Reset();
    if (!remove.Bind(1, going).Run()) {
      *deleted = 0;
      return StoreStatus::kFailed;
    }
    ++*deleted;
  }
  if (!transaction.Commit()) {
    *deleted = 0;
    return StoreStatus::kFailed;
  }
  return StoreStatus::kOk;
}

StoreStatus SqliteStore::DeleteFolderTree(int64_t account, int64_t id,
                                          std::vector<std::string>* blobs) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  blobs->clear();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> root = FindFolderIn(*db, account, id);
  if (!root) return StoreStatus::kNotFound;
  std::optional<Ancestry> ancestry = AncestryIn(*db, *root);
  if (!ancestry) return StoreStatus::kFailed;
  if (ancestry->hidden) return StoreStatus::kNotFound;
  if (root->parent == 0) return StoreStatus::kTopLevel;
  std::optional<Folder> parent = FindFolderIn(*db, account, root->parent);
  if (!parent || parent->access != kAccessWrite) return StoreStatus::kAccessDenied;
  std::vector<Folder> all;
  if (!LoadFoldersIn(*db, account, &all)) return StoreStatus::kFailed;
  std::vector<int64_t> subtree;
  // The tree goes whole or not at all.
  if (!SubtreeOf(all, *root, &subtree)) return StoreStatus::kAccessDenied;
  int64_t freed = 0;
  Statement select(*db, "SELECT blob, size FROM documents WHERE folder = ?");
  Statement remove_documents(*db, "DELETE FROM documents WHERE folder = ?");
  Statement remove_folder(*db, "DELETE FROM folders WHERE id = ?");
  for (int64_t folder : subtree) {
    select.Reset();
    remove_documents.Reset();
    remove_folder.Reset();
    select.Bind(1, folder);
    Statement::Step step;
    while ((step = select.Next()) == Statement::Step::kRow) {
      blobs->push_back(select.Text(0));
      freed += select.Int(1);
    }
    if (step == Statement::Step::kFailed || !remove_documents.Bind(1, folder).Run() ||
        !remove_folder.Bind(1, folder).Run()) {
      blobs->clear();
      return StoreStatus::kFailed;
    }
  }
  if (!AdjustUsedIn(*db, account, -freed) || !transaction.Commit()) {
    blobs->clear();
    return StoreStatus::kFailed;
  }
  return StoreStatus::kOk;
}

}  // namespace nvx::service
