// The store's side of an upload: what a PUT wrote becomes a document in one transaction,
// taking the place of the document it continues or replaces and of any other document of
// the same name in its folder (one document per name and folder), with the space used
// moved by the difference.
#include "platform/text_format.h"
#include "service/store/sqlite_store.h"

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

StoreStatus SqliteStore::CommitUpload(int64_t account, const UploadCommit& commit, Document* stored,
                                      std::vector<std::string>* removed_blobs,
                                      UploadCommitted* committed) {
  // A document whose bytes come with it has nothing else to lose: its commit shares a
  // sync with those made meanwhile (group_sync.h), and is answered once that ended. One
  // whose bytes are a blob file commits with a sync of its own, so that a commit reported
  // failed never names a file its writer then removes.
  if (!commit.inline_bytes) {
    return CommitUploadLocked(account, commit, stored, removed_blobs, committed, nullptr);
  }
  uint64_t ticket = 0;
  StoreStatus status =
      CommitUploadLocked(account, commit, stored, removed_blobs, committed, &ticket);
  if (status != StoreStatus::kOk) return status;
  if (commit.may_defer_durability && committed != nullptr) {
    committed->durable = [sync = group_sync_.get(), ticket] { return sync->WaitDurable(ticket); };
    return StoreStatus::kOk;
  }
  return group_sync_->WaitDurable(ticket) ? StoreStatus::kOk : StoreStatus::kFailed;
}

StoreStatus SqliteStore::CommitUploadLocked(int64_t account, const UploadCommit& commit,
                                            Document* stored,
                                            std::vector<std::string>* removed_blobs,
                                            UploadCommitted* committed, uint64_t* ticket) {
  platform::MutexLock writing(write_mutex_);
  // Without its own sync for a commit whose caller waits for a group's sync.
  DatabasePool::Lease db = pool_.AcquireWriter(ticket != nullptr);
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
    StoreStatus quota = QuotaAllowsIn(*db, account, change);
    if (quota != StoreStatus::kOk) return quota;
  }
  for (const Replaced& old : replaced) {
    Statement remove(*db, "DELETE FROM documents WHERE vid = ?");
    if (!remove.Bind(1, old.vid).Run()) return StoreStatus::kFailed;
  }
  const Document& document = commit.document;
  std::optional<int64_t> vid =
      InsertDocumentIn(*db, document, commit.keep_vid ? commit.replaces_vid : 0);
  if (!vid) return StoreStatus::kFailed;
  if (commit.inline_bytes) {
    Statement keep(*db, "INSERT INTO inline_blobs(name, bytes) VALUES(?, ?)");
    keep.Bind(1, document.blob)
        .BindBlob(2, commit.inline_bytes->data(), commit.inline_bytes->size());
    if (!keep.Run()) return StoreStatus::kFailed;
  }
  Document result = document;
  result.vid = *vid;
  if (!AdjustUsedIn(*db, account, change)) return StoreStatus::kFailed;
  std::optional<int64_t> used_after;
  {
    // The figure the answer shows, read on the writer's connection, whose pages are at hand.
    Statement used(*db, "SELECT used FROM accounts WHERE key = ?");
    if (used.Bind(1, account).Next() == Statement::Step::kRow) used_after = used.Int(0);
  }
  if (!transaction.Commit()) return StoreStatus::kFailed;
  if (ticket != nullptr) *ticket = group_sync_->TakeTicket();
  *stored = result;
  if (committed != nullptr) *committed = UploadCommitted{change, used_after, nullptr};
  for (const Replaced& old : replaced) {
    if (old.blob != document.blob) removed_blobs->push_back(old.blob);
  }
  return StoreStatus::kOk;
}

}  // namespace nvx::service
