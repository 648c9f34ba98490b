// The shared store's folders: the tree of each account, creation, lookup, the access that
// applies to a folder and the two deletions. Which folders a walk visits is decided by
// folder_tree.h, as for the embedded store; every change takes the account's row lock
// first.
#include <algorithm>
#include <unordered_set>

#include "platform/text_format.h"
#include "service/store/folder_tree.h"
#include "service/store/pg_store.h"
#include "service/store/service_limits.h"
#include "service/store/store_columns.h"

namespace nvx::service {
namespace {

Folder FolderFromPgRow(const PgResult& rows, int row) {
  Folder folder;
  folder.id = rows.Int(row, 0);
  folder.account = rows.Int(row, 1);
  folder.parent = rows.Int(row, 2);
  folder.name = rows.Bytes(row, 3);
  std::string access = rows.Bytes(row, 4);
  folder.access = access.empty() ? kAccessNone : access[0];
  folder.compressed = rows.Int(row, 5) != 0;
  return folder;
}

std::optional<Folder> OneFolder(const PgResult& rows) {
  if (rows.rows() != 1) return std::nullopt;
  return FolderFromPgRow(rows, 0);
}

}  // namespace

std::optional<Folder> PgStore::FindFolderIn(PgConnection& db, int64_t account, int64_t id) {
  return OneFolder(db.Query(
      StrFormat("SELECT %s FROM folders WHERE id = $1 AND account = $2", kFolderColumns).c_str(),
      PgParams().Int(id).Int(account)));
}

std::optional<Folder> PgStore::FindChildIn(PgConnection& db, int64_t account, int64_t parent,
                                           std::string_view name) {
  return OneFolder(db.Query(StrFormat("SELECT %s FROM folders WHERE account = $1 AND parent = $2"
                                      " AND name_key = $3",
                                      kFolderColumns)
                                .c_str(),
                            PgParams().Int(account).Int(parent).Bytes(FoldedName(name))));
}

std::optional<PgStore::Ancestry> PgStore::AncestryIn(PgConnection& db, const Folder& folder) {
  // The folder and all above it in one query: hidden when any of them has no access; the
  // level is the number of folders above it.
  PgResult row = db.Query(
      "WITH RECURSIVE up(id, parent, access, depth) AS ("
      " SELECT id, parent, access, 0::int8 FROM folders WHERE id = $1 AND account = $2"
      " UNION ALL"
      " SELECT f.id, f.parent, f.access, up.depth + 1 FROM folders f"
      " JOIN up ON f.id = up.parent WHERE up.parent <> 0 AND up.depth < $3)"
      " SELECT count(*), coalesce(bool_or(access = 'N'), false), coalesce(max(depth), 0)::int8"
      " FROM up",
      PgParams().Int(folder.id).Int(folder.account).Int(kAncestorWalkMax));
  if (row.rows() != 1 || row.Int(0, 0) == 0) return std::nullopt;
  Ancestry ancestry;
  ancestry.hidden = row.Int(0, 1) != 0;
  ancestry.level = row.Int(0, 2);
  return ancestry;
}

bool PgStore::InsertFolderIn(PgConnection& db, Folder* folder) {
  PgResult inserted = db.Query(
      "INSERT INTO folders(account, parent, name, name_key, access, compressed)"
      " VALUES($1, $2, $3, $4, $5, $6) RETURNING id",
      PgParams()
          .Int(folder->account)
          .Int(folder->parent)
          .Bytes(folder->name)
          .Bytes(FoldedName(folder->name))
          .Text(std::string_view(&folder->access, 1))
          .Text(folder->compressed ? "true" : "false"));
  if (inserted.rows() != 1) return false;
  folder->id = inserted.Int(0, 0);
  return true;
}

bool PgStore::LoadFoldersIn(PgConnection& db, int64_t account, std::vector<Folder>* folders) {
  folders->clear();
  PgResult rows =
      db.Query(StrFormat("SELECT %s FROM folders WHERE account = $1", kFolderColumns).c_str(),
               PgParams().Int(account));
  for (int row = 0; row < rows.rows(); ++row) folders->push_back(FolderFromPgRow(rows, row));
  return rows.ok();
}

bool PgStore::ListFolders(int64_t account, std::vector<Folder>* folders) {
  std::vector<Folder> all;
  {
    PgPool::Lease db = pool_.Acquire();
    if (!LoadFoldersIn(*db, account, &all)) return false;
  }
  *folders = FoldersDepthFirst(all);
  return true;
}

std::optional<Folder> PgStore::FindFolder(int64_t account, int64_t id) {
  PgPool::Lease db = pool_.Acquire();
  return FindFolderIn(*db, account, id);
}

std::optional<Folder> PgStore::FindMyFiles(int64_t account) {
  PgPool::Lease db = pool_.Acquire();
  return FindChildIn(*db, account, 0, "MyFiles");
}

std::optional<Folder> PgStore::FindFolderByPath(int64_t account,
                                                const std::vector<std::string>& path) {
  PgPool::Lease db = pool_.Acquire();
  std::optional<Folder> current;
  for (const std::string& name : path) {
    current = FindChildIn(*db, account, current ? current->id : 0, name);
    if (!current) return std::nullopt;
  }
  return current;
}

char PgStore::EffectiveAccess(const Folder& folder) {
  PgPool::Lease db = pool_.Acquire();
  std::optional<Ancestry> ancestry = AncestryIn(*db, folder);
  // A folder the store cannot place is treated as one without access.
  if (!ancestry || ancestry->hidden) return kAccessNone;
  return folder.access;
}

StoreStatus PgStore::CreateFolder(int64_t account, int64_t parent, std::string_view name,
                                  Folder* folder, bool* created) {
  PgPool::Lease db = pool_.Acquire();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  if (!LockAccountIn(*db, account)) return StoreStatus::kNotFound;
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

StoreStatus PgStore::AddFolderPath(int64_t account, const std::vector<std::string>& path,
                                   char access, bool compressed, Folder* folder) {
  if (path.empty()) return StoreStatus::kNotFound;
  if (path.size() > static_cast<size_t>(kServiceFolderLevelsMax)) return StoreStatus::kTooDeep;
  PgPool::Lease db = pool_.Acquire();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  if (!LockAccountIn(*db, account)) return StoreStatus::kNotFound;
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

StoreStatus PgStore::DeleteEmptyFoldersBelow(int64_t account, int64_t id, int* deleted) {
  PgPool::Lease db = pool_.Acquire();
  *deleted = 0;
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  if (!LockAccountIn(*db, account)) return StoreStatus::kNotFound;
  std::optional<Folder> named = FindFolderIn(*db, account, id);
  if (!named) return StoreStatus::kNotFound;
  std::optional<Ancestry> ancestry = AncestryIn(*db, *named);
  if (!ancestry) return StoreStatus::kFailed;
  if (ancestry->hidden) return StoreStatus::kNotFound;
  std::vector<Folder> all;
  if (!LoadFoldersIn(*db, account, &all)) return StoreStatus::kFailed;
  std::unordered_set<int64_t> holding;  // folders of the account that hold documents
  PgResult rows = db->Query(
      "SELECT DISTINCT d.folder FROM documents d JOIN folders f ON d.folder = f.id"
      " WHERE f.account = $1",
      PgParams().Int(account));
  if (!rows.ok()) return StoreStatus::kFailed;
  for (int row = 0; row < rows.rows(); ++row) holding.insert(rows.Int(row, 0));
  std::vector<int64_t> going = EmptyFoldersBelow(all, *named, holding);
  // One statement for all, children before parents as listed.
  if (!going.empty() &&
      !db->Query("DELETE FROM folders WHERE id = ANY($1::int8[])", PgParams().Text(PgArray(going)))
           .ok()) {
    return StoreStatus::kFailed;
  }
  if (!transaction.Commit()) return StoreStatus::kFailed;
  *deleted = static_cast<int>(going.size());
  return StoreStatus::kOk;
}

StoreStatus PgStore::DeleteFolderTree(int64_t account, int64_t id,
                                      std::vector<std::string>* blobs) {
  PgPool::Lease db = pool_.Acquire();
  blobs->clear();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  if (!LockAccountIn(*db, account)) return StoreStatus::kNotFound;
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
  std::string ids = PgArray(subtree);
  PgResult removed =
      db->Query("DELETE FROM documents WHERE folder = ANY($1::int8[]) RETURNING blob, size",
                PgParams().Text(ids));
  if (!removed.ok() ||
      !db->Query("DELETE FROM folders WHERE id = ANY($1::int8[])", PgParams().Text(ids)).ok()) {
    return StoreStatus::kFailed;
  }
  int64_t freed = 0;
  std::vector<std::string> names;
  for (int row = 0; row < removed.rows(); ++row) {
    names.push_back(removed.Bytes(row, 0));
    freed += removed.Int(row, 1);
  }
  if (!AdjustUsedIn(*db, account, -freed) || !transaction.Commit()) return StoreStatus::kFailed;
  std::sort(names.begin(), names.end());
  *blobs = std::move(names);
  return StoreStatus::kOk;
}

}  // namespace nvx::service
