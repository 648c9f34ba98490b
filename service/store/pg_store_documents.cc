// The shared store's documents: listing, lookup, storing with replacement and the space
// used kept in step, deletion and completion. Every change takes the account's row lock
// first, so the quota check and the change of the space used are one step for all
// processes.
#include <algorithm>
#include <utility>

#include "platform/text_format.h"
#include "service/store/pg_store.h"
#include "service/store/store_columns.h"

namespace nvx::service {
namespace {

Document DocumentFromPgRow(const PgResult& rows, int row) {
  Document document;
  document.vid = rows.Int(row, 0);
  document.folder = rows.Int(row, 1);
  document.name = rows.Bytes(row, 2);
  document.size = rows.Int(row, 3);
  document.full_size = rows.Int(row, 4);
  document.date_stamp = rows.Bytes(row, 5);
  std::string digest = rows.Bytes(row, 6);
  std::copy_n(digest.begin(), std::min(digest.size(), document.digest.size()),
              document.digest.begin());
  document.complete = rows.Int(row, 7) != 0;
  document.blob = rows.Bytes(row, 8);
  document.digest_state = rows.Bytes(row, 9);
  return document;
}

std::optional<Document> OneDocument(const PgResult& rows) {
  if (rows.rows() != 1) return std::nullopt;
  return DocumentFromPgRow(rows, 0);
}

// kOk when raising the space used (`space`: quota, used) by `change` keeps it within the
// quota.
StoreStatus QuotaAllows(const std::pair<int64_t, int64_t>& space, int64_t change) {
  return space.second + change > space.first ? StoreStatus::kQuotaExceeded : StoreStatus::kOk;
}

}  // namespace

void AddDocumentParams(PgParams& params, const Document& document) {
  params.Int(document.folder)
      .Bytes(document.name)
      .Int(document.size)
      .Int(document.full_size)
      .Text(document.date_stamp)
      .Bytes(document.digest.data(), document.digest.size())
      .Text(document.complete ? "true" : "false")
      .Text(document.blob);
  if (!document.complete && !document.digest_state.empty()) {
    params.Bytes(document.digest_state);
  } else {
    params.Null();
  }
}

bool PgStore::ListDocuments(int64_t folder, std::vector<Document>* documents) {
  PgPool::Lease db = pool_.Acquire();
  documents->clear();
  PgResult rows = db->Query(
      StrFormat("SELECT %s FROM documents d WHERE d.folder = $1 ORDER BY d.name", kDocumentColumns)
          .c_str(),
      PgParams().Int(folder));
  for (int row = 0; row < rows.rows(); ++row) documents->push_back(DocumentFromPgRow(rows, row));
  return rows.ok();
}

std::optional<std::string> PgStore::ReadInlineBlob(const std::string& blob) {
  PgPool::Lease db = pool_.Acquire();
  PgResult row = db->Query("SELECT bytes FROM inline_blobs WHERE name = $1", PgParams().Text(blob));
  if (row.rows() != 1) return std::nullopt;
  return row.Bytes(0, 0);
}

bool PgStore::ListBlobNames(std::vector<std::string>* blobs) {
  PgPool::Lease db = pool_.Acquire();
  blobs->clear();
  PgResult rows = db->Query("SELECT blob FROM documents");
  for (int row = 0; row < rows.rows(); ++row) blobs->push_back(rows.Bytes(row, 0));
  return rows.ok();
}

StoreStatus PgStore::CountDocuments(int64_t folder, int64_t* count) {
  PgPool::Lease db = pool_.Acquire();
  PgResult row =
      db->Query("SELECT count(*) FROM documents WHERE folder = $1", PgParams().Int(folder));
  if (row.rows() != 1) return StoreStatus::kFailed;
  *count = row.Int(0, 0);
  return StoreStatus::kOk;
}

std::optional<Document> PgStore::FindDocumentIn(PgConnection& db, int64_t account, int64_t vid) {
  return OneDocument(db.Query(StrFormat("SELECT %s FROM documents d JOIN folders f ON d.folder ="
                                        " f.id WHERE d.vid = $1 AND f.account = $2",
                                        kDocumentColumns)
                                  .c_str(),
                              PgParams().Int(vid).Int(account)));
}

std::optional<Document> PgStore::FindDocument(int64_t account, int64_t vid) {
  PgPool::Lease db = pool_.Acquire();
  return FindDocumentIn(*db, account, vid);
}

std::optional<Document> PgStore::FindDocumentByName(int64_t folder, std::string_view name) {
  PgPool::Lease db = pool_.Acquire();
  return OneDocument(db->Query(
      StrFormat("SELECT %s FROM documents d WHERE d.folder = $1 AND d.name = $2", kDocumentColumns)
          .c_str(),
      PgParams().Int(folder).Bytes(name)));
}

StoreStatus PgStore::FolderWritableIn(PgConnection& db, int64_t account, int64_t folder_id) {
  std::optional<Folder> folder = FindFolderIn(db, account, folder_id);
  if (!folder) return StoreStatus::kNotFound;
  std::optional<Ancestry> ancestry = AncestryIn(db, *folder);
  if (!ancestry) return StoreStatus::kFailed;
  if (ancestry->hidden) return StoreStatus::kNotFound;
  return folder->access == kAccessWrite ? StoreStatus::kOk : StoreStatus::kAccessDenied;
}

StoreStatus PgStore::ChangeableDocumentIn(PgConnection& db, int64_t account, int64_t vid,
                                          Document* document) {
  if (!LockAccountIn(db, account)) return StoreStatus::kNotFound;
  std::optional<Document> found = FindDocumentIn(db, account, vid);
  if (!found) return StoreStatus::kNotFound;
  *document = std::move(*found);
  return FolderWritableIn(db, account, document->folder);
}

std::optional<int64_t> PgStore::InsertDocumentIn(PgConnection& db, const Document& document,
                                                 int64_t vid) {
  PgParams params;
  // Without a version id the sequence issues a new one.
  vid != 0 ? params.Int(vid) : params.Null();
  AddDocumentParams(params, document);
  PgResult inserted = db.Query(
      "INSERT INTO documents(vid, folder, name, size, full_size, date_stamp, digest, complete,"
      " blob, digest_state) VALUES(coalesce($1, nextval('documents_vid_seq')), $2, $3, $4, $5,"
      " $6, $7, $8, $9, $10) RETURNING vid",
      params);
  if (inserted.rows() != 1) return std::nullopt;
  return inserted.Int(0, 0);
}

StoreStatus PgStore::PutDocument(int64_t account, const Document& document, bool check_quota,
                                 Document* stored, std::string* replaced_blob) {
  PgPool::Lease db = pool_.Acquire();
  replaced_blob->clear();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  std::optional<std::pair<int64_t, int64_t>> space = LockAccountIn(*db, account);
  if (!space) return StoreStatus::kNotFound;
  if (!FindFolderIn(*db, account, document.folder)) return StoreStatus::kNotFound;
  PgResult removed =
      db->Query("DELETE FROM documents WHERE folder = $1 AND name = $2 RETURNING size, blob",
                PgParams().Int(document.folder).Bytes(document.name));
  if (!removed.ok()) return StoreStatus::kFailed;
  int64_t replaced_size = removed.rows() == 1 ? removed.Int(0, 0) : 0;
  if (check_quota) {
    StoreStatus quota = QuotaAllows(*space, document.size - replaced_size);
    if (quota != StoreStatus::kOk) return quota;
  }
  std::optional<int64_t> vid = InsertDocumentIn(*db, document, 0);
  if (!vid || !AdjustUsedIn(*db, account, document.size - replaced_size) || !transaction.Commit()) {
    return StoreStatus::kFailed;
  }
  *stored = document;
  stored->vid = *vid;
  if (removed.rows() == 1) *replaced_blob = removed.Bytes(0, 1);
  return StoreStatus::kOk;
}

StoreStatus PgStore::DeleteDocument(int64_t account, int64_t vid, std::string* blob) {
  PgPool::Lease db = pool_.Acquire();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  Document document;
  if (StoreStatus changeable = ChangeableDocumentIn(*db, account, vid, &document);
      changeable != StoreStatus::kOk) {
    return changeable;
  }
  if (!db->Query("DELETE FROM documents WHERE vid = $1", PgParams().Int(vid)).ok() ||
      !AdjustUsedIn(*db, account, -document.size) || !transaction.Commit()) {
    return StoreStatus::kFailed;
  }
  *blob = document.blob;
  return StoreStatus::kOk;
}

StoreStatus PgStore::CompleteDocument(int64_t account, int64_t vid, bool as_stored) {
  PgPool::Lease db = pool_.Acquire();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  Document document;
  if (StoreStatus changeable = ChangeableDocumentIn(*db, account, vid, &document);
      changeable != StoreStatus::kOk) {
    return changeable;
  }
  if (document.complete) return StoreStatus::kOk;
  if (document.size != document.full_size && !as_stored) return StoreStatus::kIncomplete;
  if (!db->Query("UPDATE documents SET complete = true, full_size = size, digest_state = NULL"
                 " WHERE vid = $1",
                 PgParams().Int(vid))
           .ok() ||
      !transaction.Commit()) {
    return StoreStatus::kFailed;
  }
  return StoreStatus::kOk;
}

}  // namespace nvx::service
