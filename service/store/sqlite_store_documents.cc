// The document half of the store: listing, lookup, storing (with replacement and the
// space used kept in step), deletion and completion of incomplete documents.
#include <cstring>
#include <utility>

#include "platform/text_format.h"
#include "service/store/sqlite_store.h"
#include "service/store/store_columns.h"

namespace nvx::service {
namespace {

Document DocumentFromRow(const Statement& row) {
  Document document;
  document.vid = row.Int(0);
  document.folder = row.Int(1);
  document.name = row.Text(2);
  document.size = row.Int(3);
  document.full_size = row.Int(4);
  document.date_stamp = row.Text(5);
  std::string digest = row.Blob(6);
  std::memcpy(document.digest.data(), digest.data(),
              digest.size() < document.digest.size() ? digest.size() : document.digest.size());
  document.complete = row.Int(7) != 0;
  document.blob = row.Text(8);
  document.digest_state = row.Blob(9);
  return document;
}

}  // namespace

bool SqliteStore::ListDocuments(int64_t folder, std::vector<Document>* documents) {
  DatabasePool::Lease db = pool_.Acquire();
  documents->clear();
  Statement select(*db, StrFormat("SELECT %s FROM documents d WHERE d.folder = ? ORDER BY d.name",
                                  kDocumentColumns)
                            .c_str());
  select.Bind(1, folder);
  return CollectRows(select, documents, DocumentFromRow);
}

bool SqliteStore::ListBlobNames(std::vector<std::string>* blobs) {
  DatabasePool::Lease db = pool_.Acquire();
  blobs->clear();
  Statement select(*db, "SELECT blob FROM documents");
  return CollectRows(select, blobs, [](const Statement& row) { return row.Text(0); });
}

StoreStatus SqliteStore::CountDocuments(int64_t folder, int64_t* count) {
  DatabasePool::Lease db = pool_.Acquire();
  Statement select(*db, "SELECT count(*) FROM documents WHERE folder = ?");
  if (select.Bind(1, folder).Next() != Statement::Step::kRow) return StoreStatus::kFailed;
  *count = select.Int(0);
  return StoreStatus::kOk;
}

std::optional<Document> SqliteStore::FindDocumentIn(Database& db, int64_t account, int64_t vid) {
  Statement select(db, StrFormat("SELECT %s FROM documents d JOIN folders f ON d.folder = f.id"
                                 " WHERE d.vid = ? AND f.account = ?",
                                 kDocumentColumns)
                           .c_str());
  if (select.Bind(1, vid).Bind(2, account).Next() != Statement::Step::kRow) return std::nullopt;
  return DocumentFromRow(select);
}

std::optional<Document> SqliteStore::FindDocument(int64_t account, int64_t vid) {
  DatabasePool::Lease db = pool_.Acquire();
  return FindDocumentIn(*db, account, vid);
}

StoreStatus SqliteStore::ChangeableDocumentIn(Database& db, int64_t account, int64_t vid,
                                              Document* document) {
  std::optional<Document> found = FindDocumentIn(db, account, vid);
  if (!found) return StoreStatus::kNotFound;
  *document = std::move(*found);
  std::optional<Folder> folder = FindFolderIn(db, account, document->folder);
  if (!folder) return StoreStatus::kNotFound;
  std::optional<Ancestry> ancestry = AncestryIn(db, *folder);
  if (!ancestry) return StoreStatus::kFailed;
  if (ancestry->hidden) return StoreStatus::kNotFound;
  return folder->access == kAccessWrite ? StoreStatus::kOk : StoreStatus::kAccessDenied;
}

std::optional<Document> SqliteStore::FindDocumentByName(int64_t folder, std::string_view name) {
  DatabasePool::Lease db = pool_.Acquire();
  Statement select(*db, StrFormat("SELECT %s FROM documents d WHERE d.folder = ? AND d.name = ?",
                                  kDocumentColumns)
                            .c_str());
  if (select.Bind(1, folder).Bind(2, name).Next() != Statement::Step::kRow) return std::nullopt;
  return DocumentFromRow(select);
}

StoreStatus SqliteStore::PutDocument(int64_t account, const Document& document, bool check_quota,
                                     Document* stored, std::string* replaced_blob) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  replaced_blob->clear();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<Folder> folder = FindFolderIn(*db, account, document.folder);
  if (!folder) return StoreStatus::kNotFound;
  int64_t replaced_size = 0;
  std::string old_blob;
  {
    Statement select(*db, "SELECT size, blob FROM documents WHERE folder = ? AND name = ?");
    Statement::Step step = select.Bind(1, document.folder).Bind(2, document.name).Next();
    if (step == Statement::Step::kFailed) return StoreStatus::kFailed;
    if (step == Statement::Step::kRow) {
      replaced_size = select.Int(0);
      old_blob = select.Text(1);
    }
  }
  if (check_quota) {
    StoreStatus quota = QuotaAllowsIn(*db, account, document.size - replaced_size);
    if (quota != StoreStatus::kOk) return quota;
  }
  Statement remove(*db, "DELETE FROM documents WHERE folder = ? AND name = ?");
  if (!remove.Bind(1, document.folder).Bind(2, document.name).Run()) return StoreStatus::kFailed;
  std::optional<int64_t> vid = InsertDocumentIn(*db, document, 0);
  if (!vid) return StoreStatus::kFailed;
  Document result = document;
  result.vid = *vid;
  if (!AdjustUsedIn(*db, account, document.size - replaced_size) || !transaction.Commit()) {
    return StoreStatus::kFailed;
  }
  *stored = result;
  *replaced_blob = old_blob;
  return StoreStatus::kOk;
}

std::optional<int64_t> SqliteStore::InsertDocumentIn(Database& db, const Document& document,
                                                     int64_t vid) {
  Statement insert(db,
                   "INSERT INTO documents(vid, folder, name, size, full_size, date_stamp, digest,"
                   " complete, blob, digest_state) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  // A null version id lets the store issue a new one.
  if (vid != 0) insert.Bind(1, vid);
  insert.Bind(2, document.folder)
      .Bind(3, document.name)
      .Bind(4, document.size)
      .Bind(5, document.full_size)
      .Bind(6, document.date_stamp)
      .BindBlob(7, document.digest.data(), document.digest.size())
      .Bind(8, int64_t{document.complete ? 1 : 0})
      .Bind(9, document.blob);
  // Kept only while the document is incomplete: a complete one is never continued.
  if (!document.complete && !document.digest_state.empty()) {
    insert.BindBlob(10, document.digest_state.data(), document.digest_state.size());
  }
  if (!insert.Run()) return std::nullopt;
  return db.LastInsertRowId();
}

StoreStatus SqliteStore::QuotaAllowsIn(Database& db, int64_t account, int64_t change) {
  Statement select(db, "SELECT quota, used FROM accounts WHERE key = ?");
  if (select.Bind(1, account).Next() != Statement::Step::kRow) return StoreStatus::kFailed;
  return select.Int(1) + change > select.Int(0) ? StoreStatus::kQuotaExceeded : StoreStatus::kOk;
}

std::optional<std::string> SqliteStore::ReadInlineBlob(const std::string& blob) {
  DatabasePool::Lease db = pool_.Acquire();
  Statement select(*db, "SELECT bytes FROM inline_blobs WHERE name = ?");
  if (select.Bind(1, blob).Next() != Statement::Step::kRow) return std::nullopt;
  return select.Blob(0);
}

StoreStatus SqliteStore::DeleteDocument(int64_t account, int64_t vid, std::string* blob) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  Document document;
  if (StoreStatus changeable = ChangeableDocumentIn(*db, account, vid, &document);
      changeable != StoreStatus::kOk) {
    return changeable;
  }
  Statement remove(*db, "DELETE FROM documents WHERE vid = ?");
  if (!remove.Bind(1, vid).Run() || !AdjustUsedIn(*db, account, -document.size) ||
      !transaction.Commit()) {
    return StoreStatus::kFailed;
  }
  *blob = document.blob;
  return StoreStatus::kOk;
}

StoreStatus SqliteStore::CompleteDocument(int64_t account, int64_t vid, bool as_stored) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  Document document;
  if (StoreStatus changeable = ChangeableDocumentIn(*db, account, vid, &document);
      changeable != StoreStatus::kOk) {
    return changeable;
  }
  if (document.complete) return StoreStatus::kOk;
  if (document.size != document.full_size && !as_stored) return StoreStatus::kIncomplete;
  Statement update(
      *db,
      "UPDATE documents SET complete = 1, full_size = size, digest_state = NULL WHERE vid = ?");
  if (!update.Bind(1, vid).Run() || !transaction.Commit()) return StoreStatus::kFailed;
  return StoreStatus::kOk;
}

}  // namespace nvx::service
