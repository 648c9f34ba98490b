#include "service/migration.h"

#include <filesystem>
#include <vector>

#include "platform/directory_sync.h"
#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "service/data_folder.h"
#include "service/store/blob_bytes.h"
#include "service/store/blob_store.h"
#include "service/store/email_outbox.h"
#include "service/store/pg_connection.h"
#include "service/store/pg_schema.h"
#include "service/store/pg_store.h"
#include "service/store/sqlite_store.h"

namespace nvx::service {
namespace {

constexpr size_t kCopyPieceSize = 1 << 20;

int Failure(std::string* err, const std::string& message) {
  *err += message + "\n";
  return kExitFailed;
}

// What the embedded store holds, read whole before anything is written.
struct Snapshot {
  std::vector<Account> accounts;
  std::vector<Folder> folders;
  std::vector<Document> documents;
};

bool ReadSnapshot(Store& store, Snapshot* snapshot) {
  if (!store.ListAccounts(&snapshot->accounts)) return false;
  for (const Account& account : snapshot->accounts) {
    std::vector<Folder> folders;
    if (!store.ListFolders(account.key, &folders)) return false;
    for (const Folder& folder : folders) {
      std::vector<Document> documents;
      if (!store.ListDocuments(folder.id, &documents)) return false;
      snapshot->documents.insert(snapshot->documents.end(), documents.begin(), documents.end());
    }
    snapshot->folders.insert(snapshot->folders.end(), folders.begin(), folders.end());
  }
  return true;
}

// Copies `from` to `to` through a temporary file beside it, unless `to` already holds a
// file of the same size (an earlier run copied it). Nothing on success; otherwise why.
std::string CopyFile(const std::string& from, const std::string& to, const BlobStore& target) {
  std::optional<int64_t> size = platform::FileSizeOf(from);
  if (!size) return "cannot read " + from;
  if (platform::FileSizeOf(to) == size) return {};
  platform::File source = platform::File::Open(from, platform::File::Access::kRead);
  std::string temporary = target.TemporaryPath();
  platform::File copy = platform::File::Open(temporary, platform::File::Access::kCreateNew);
  if (!source.is_open() || !copy.is_open()) return "cannot copy " + from;
  std::vector<char> piece(kCopyPieceSize);
  bool copied = true;
  for (int64_t left = *size; left > 0 && copied;) {
    size_t count = static_cast<size_t>(std::min<int64_t>(left, kCopyPieceSize));
    copied = source.ReadFully(piece.data(), count) == static_cast<int64_t>(count) &&
             copy.WriteAll(piece.data(), count);
    left -= static_cast<int64_t>(count);
  }
  copied = copied && copy.Sync();
  copy.Close();
  int error = 0;
  // A copy of equal size that appeared meanwhile is the same blob.
  if (copied && !platform::RenameFile(temporary, to, &error)) copied = false;
  if (!copied) {
    platform::RemoveFile(temporary);
    return "cannot copy " + from + " to " + to;
  }
  return {};
}

// Copies the blobs (and their signatures) the documents name; the bytes the embedded store
// keeps itself become files of the same names, which the shared store reads when it keeps
// nothing under an inline name. With `same_folder` (the target is the source's blob folder)
// only those are written. Nothing on success.
std::string CopyBlobs(const std::vector<Document>& documents, Store& store, const BlobStore& source,
                      const BlobStore& target, bool same_folder, int* copied) {
  for (const Document& document : documents) {
    if (same_folder && !IsInlineBlobName(document.blob)) continue;
    BlobBytes bytes(store, source, document.blob);
    std::string problem = CopyFile(bytes.path(), target.PathOf(document.blob), target);
    if (!problem.empty()) return problem;
    if (platform::IsRegularFile(source.SignaturePathOf(document.blob))) {
      problem = CopyFile(source.SignaturePathOf(document.blob),
                         target.SignaturePathOf(document.blob), target);
      if (!problem.empty()) return problem;
    }
    ++*copied;
  }
  platform::SyncDirectory(target.folder());
  return {};
}

// Copies the outbox's message files, and those the relay refused (with their answers)
// into the refused folder beside them, which the operator still has to see. Nothing on
// success.
std::string CopyOutbox(const std::string& from, const std::string& to, int* copied,
                       bool with_refused = true) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(from, error)) {
    std::string name = entry.path().filename().string();
    std::error_code entry_error;
    if (name.empty() || name[0] == '.') continue;
    if (with_refused && name == kOutboxRefusedFolder && entry.is_directory(entry_error)) {
      std::string refused = to + "/" + name;
      int code = 0;
      if (!platform::IsDirectory(refused) && !platform::MakeDirectory(refused, &code)) {
        return "cannot create " + refused + ": " + platform::ErrorText(code);
      }
      std::string problem = CopyOutbox(entry.path().string(), refused, copied, false);
      if (!problem.empty()) return problem;
      continue;
    }
    if (!entry.is_regular_file(entry_error)) continue;
    BlobStore staging(to);
    std::string problem = CopyFile(entry.path().string(), to + "/" + name, staging);
    if (!problem.empty()) return problem;
    if (IsMessageFileName(name)) ++*copied;
  }
  if (error) return "cannot read " + from + ": " + error.message();
  return {};
}

bool Inserted(PgConnection& db, const char* sql, const PgParams& params) {
  return db.Query(sql, params).ok();
}

// Writes the snapshot into the empty database, keys and ids kept, in the caller's
// transaction.
bool WriteSnapshot(PgConnection& db, const Snapshot& snapshot) {
  for (const Account& account : snapshot.accounts) {
    if (!Inserted(db,
                  "INSERT INTO accounts(key, id, id_key, password_digest, quota, used, encrypt,"
                  " state, email, admin_email) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
                  PgParams()
                      .Int(account.key)
                      .Bytes(account.id)
                      .Bytes(FoldedName(account.id))
                      .Bytes(account.password_digest.data(), account.password_digest.size())
                      .Int(account.quota)
                      .Int(account.used)
                      .Text(account.encrypt ? "true" : "false")
                      .Text(AccountStateName(account.state))
                      .Bytes(account.email)
                      .Bytes(account.admin_email))) {
      return false;
    }
  }
  // Parents come before their folders in the depth-first lists.
  for (const Folder& folder : snapshot.folders) {
    if (!Inserted(db,
                  "INSERT INTO folders(id, account, parent, name, name_key, access, compressed)"
                  " VALUES($1, $2, $3, $4, $5, $6, $7)",
                  PgParams()
                      .Int(folder.id)
                      .Int(folder.account)
                      .Int(folder.parent)
                      .Bytes(folder.name)
                      .Bytes(FoldedName(folder.name))
                      .Text(std::string_view(&folder.access, 1))
                      .Text(folder.compressed ? "true" : "false"))) {
      return false;
    }
  }
  for (const Document& document : snapshot.documents) {
    PgParams params;
    params.Int(document.vid);
    AddDocumentParams(params, document);
    if (!Inserted(db,
                  "INSERT INTO documents(vid, folder, name, size, full_size, date_stamp, digest,"
                  " complete, blob, digest_state) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
                  params)) {
      return false;
    }
  }
  // New keys and ids continue after the copied ones.
  for (const char* sql :
       {"SELECT setval('accounts_key_seq', (SELECT coalesce(max(key), 0) + 1 FROM accounts),"
        " false)",
        "SELECT setval('folders_id_seq', (SELECT coalesce(max(id), 0) + 1 FROM folders), false)",
        "SELECT setval('documents_vid_seq', (SELECT coalesce(max(vid), 0) + 1 FROM documents),"
        " false)"}) {
    if (!db.Query(sql).ok()) return false;
  }
  return true;
}

// True when the database holds no account (and so nothing else of a store).
std::optional<bool> TargetEmpty(PgConnection& db) {
  PgResult row = db.Query("SELECT NOT EXISTS (SELECT 1 FROM accounts)");
  if (row.rows() != 1) return std::nullopt;
  return row.Int(0, 0) != 0;
}

}  // namespace

int RunMigration(const CommandLine& command, std::string* out, std::string* err) {
  const StoreOptions& options = command.store;
  DataFolder source_folder;
  std::string error;
  if (!platform::IsRegularFile(options.migrate_from + "/nvx.db")) {
    return Failure(err, "no embedded store in " + options.migrate_from);
  }
  if (!PrepareDataFolder(options.migrate_from, &source_folder, &error)) {
    return Failure(err, error);
  }
  PgConnection db;
  if (!db.Open(options.database_url)) return Failure(err, "cannot connect: " + db.error_text());
  if (!MigratePgSchema(db, &error)) return Failure(err, "cannot prepare the database: " + error);
  std::optional<bool> empty = TargetEmpty(db);
  if (!empty) return Failure(err, db.error_text());
  if (!*empty) return Failure(err, "the database holds a store already; nothing was copied");

  SqliteStore source;
  if (!source.Open(source_folder.database, source_folder.outbox, &error)) {
    return Failure(err, "cannot open the embedded store: " + error);
  }
  Snapshot snapshot;
  if (!ReadSnapshot(source, &snapshot)) {
    return Failure(err, "cannot read the embedded store: " + source.error_text());
  }
  // Bytes first: the database names a copied blob only once the copy is whole.
  int blobs = 0;
  const bool same_folder = options.blobs_folder.empty();
  if (!same_folder) {
    int code = 0;
    if (!platform::IsDirectory(options.blobs_folder) &&
        !platform::MakeDirectory(options.blobs_folder, &code)) {
      return Failure(err,
                     "cannot create " + options.blobs_folder + ": " + platform::ErrorText(code));
    }
  }
  std::string blob_problem = CopyBlobs(
      snapshot.documents, source, BlobStore(source_folder.blobs),
      BlobStore(same_folder ? source_folder.blobs : options.blobs_folder), same_folder, &blobs);
  if (!blob_problem.empty()) return Failure(err, blob_problem);
  int messages = 0;
  if (!command.data_folder.empty()) {
    DataFolder target_folder;
    if (!PrepareDataFolder(command.data_folder, &target_folder, &error)) {
      return Failure(err, error);
    }
    std::error_code same;
    if (!std::filesystem::equivalent(target_folder.outbox, source_folder.outbox, same)) {
      std::string problem = CopyOutbox(source_folder.outbox, target_folder.outbox, &messages);
      if (!problem.empty()) return Failure(err, problem);
    }
  }
  PgTransaction transaction(db);
  // Checked again inside the transaction: another migration may have run meanwhile.
  empty = transaction.ok() ? TargetEmpty(db) : std::nullopt;
  if (!empty || !*empty) {
    return Failure(
        err, empty ? "the database holds a store already; nothing was copied" : db.error_text());
  }
  if (!WriteSnapshot(db, snapshot) || !transaction.Commit()) {
    return Failure(err, "cannot write the database (nothing was copied): " + db.error_text());
  }
  *out += StrFormat(
      "migrated %zu accounts, %zu folders, %zu documents; %d blobs and %d outbox"
      " messages copied\n",
      snapshot.accounts.size(), snapshot.folders.size(), snapshot.documents.size(), blobs,
      messages);
  return kExitOk;
}

}  // namespace nvx::service
