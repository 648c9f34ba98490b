// The store's side of an upload: what a PUT wrote becomes a document in one transaction,
// taking the place of the document it continues or replaces and of any other document of
// the same name in its folder (one document per name and folder), with the space used
// moved by the difference.
#include "platform/text_format.h"
#include "service/store.h"

namespace nvx::service {
namespace {

struct Replaced {
  int64_t vid = 0;
  int64_t size = 0;
  std::string blob;
};

// The documents that the new one takes the place of; false when the database failed.
bool CollectReplaced(Database& db, const Store::UploadCommit& commit,
                     std::vector<Replaced>* replaced) {
  Statement select(db,
                   "SELECT vid, size, blob FROM documents WHERE (folder = ? AND name = ?)"
                   " OR vid = ?");
  select.Bind(1, commit.document.folder).Bind(2, commit.document.name).Bind(3, commit.replaces_vid);
  for (;;) {
    Statement::Step step = select.Next();
    if (step == Statement::Step::kDone) return true;
    if (step == Statement::Step::kFailed) return false;
    replaced->push_back(Replaced{select.Int(0), select.Int(1), select.Text(2)});
  }
}

}  // namespace

StoreStatus Store::CommitUpload(int64_t account, const UploadCommit& commit, Document* stored,
                                std::vector<std::string>* removed_blobs) {
  std::lock_guard<std::mutex> writing(write_mutex_);
  DatabasePool::Lease db = pool_.Acquire();
  removed_blobs->clear();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> folder = FindFolderIn(*db, account, commit.document.folder);
  if (!folder) return StoreStatus::kNotFound;
  std::optional<Ancestry> ancestry = AncestryIn(*db, *folder);
  if (!ancestry) return StoreStatus::kFailed;
  if (ancestry->hidden) return StoreStatus::kNotFound;
  if (folder->access != kAccessWrite) return StoreStatus::kAccessDenied;

  // The document this upload continues or replaces must still hold the bytes the upload
  // started from: another upload of it may have finished first.
  if (commit.replaces_vid != 0) {
    std::optional<Document> previous = FindDocumentIn(*db, account, commit.replaces_vid);
    if (!previous || previous->blob != commit.replaces_blob) return StoreStatus::kChanged;
  }
  std::vector<Replaced> replaced;
  if (!CollectReplaced(*db, commit, &replaced)) return StoreStatus::kFailed;
  int64_t freed = 0;
  for (const Replaced& old : replaced) freed += old.size;
  int64_t change = commit.document.size - freed;
  if (commit.check_quota && change > 0) {
    Statement select(*db, "SELECT quota, used FROM accounts WHERE key = ?");
    if (select.Bind(1, account).Next() != Statement::Step::kRow) return StoreStatus::kFailed;
    if (select.Int(1) + change > select.Int(0)) return StoreStatus::kQuotaExceeded;
  }
  for (const Replaced& old : replaced) {
    Statement remove(*db, "DELETE FROM documents WHERE vid = ?");
    if (!remove.Bind(1, old.vid).Run()) return StoreStatus::kFailed;
  }
  const Document& document = commit.document;
  Statement insert(*db,
                   "INSERT INTO documents(vid, folder, name, size, full_size, date_stamp, digest,"
                   " complete, blob) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
  // A null version id lets the store issue a new one.
  if (commit.keep_vid && commit.replaces_vid != 0) insert.Bind(1, commit.replaces_vid);
  insert.Bind(2, document.folder)
      .Bind(3, document.name)
      .Bind(4, document.size)
      .Bind(5, document.full_size)
      .Bind(6, document.date_stamp)
      .BindBlob(7, document.digest.data(), document.digest.size())
      .Bind(8, int64_t{document.complete ? 1 : 0})
      .Bind(9, document.blob);
  if (!insert.Run()) return StoreStatus::kFailed;
  Document result = document;
  result.vid = db->LastInsertRowId();
  if (!AdjustUsedIn(*db, account, change) || !transaction.Commit()) return StoreStatus::kFailed;
  *stored = result;
  for (const Replaced& old : replaced) {
    if (old.blob != document.blob) removed_blobs->push_back(old.blob);
  }
  return StoreStatus::kOk;
}

}  // namespace nvx::service
