#include "service/store/sqlite_store.h"
#include "service/store/store_columns.h"

#include <cstring>
#include <iterator>

#include "platform/text_format.h"

namespace nvx::service {
namespace {

// How long a write waits for another process (an administration command) to finish.
constexpr int kBusyWaitMillis = 10000;

// The schema in versions, each applied once, in order, in one transaction with the
// version it brings (PRAGMA user_version). A store of version 1 (written before versions
// were counted this way) goes on from there.
constexpr const char* kEmbeddedMigrations[] = {
    // 1: accounts, their folders and documents.
    R"sql(
CREATE TABLE IF NOT EXISTS accounts(
  key INTEGER PRIMARY KEY,
  id TEXT NOT NULL UNIQUE COLLATE NOCASE,
  password_digest BLOB NOT NULL,
  quota INTEGER NOT NULL,
  used INTEGER NOT NULL DEFAULT 0,
  encrypt INTEGER NOT NULL DEFAULT 0,
  state TEXT NOT NULL DEFAULT 'active',
  email TEXT NOT NULL DEFAULT '',
  admin_email TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS folders(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  account INTEGER NOT NULL REFERENCES accounts(key),
  parent INTEGER NOT NULL,
  name TEXT NOT NULL COLLATE NOCASE,
  access TEXT NOT NULL,
  compressed INTEGER NOT NULL DEFAULT 0,
  UNIQUE(account, parent, name));
CREATE TABLE IF NOT EXISTS documents(
  vid INTEGER PRIMARY KEY AUTOINCREMENT,
  folder INTEGER NOT NULL REFERENCES folders(id),
  name TEXT NOT NULL,
  size INTEGER NOT NULL,
  full_size INTEGER NOT NULL,
  date_stamp TEXT NOT NULL,
  digest BLOB NOT NULL,
  complete INTEGER NOT NULL,
  blob TEXT NOT NULL,
  UNIQUE(folder, name));
)sql",
    // 2: the digest state of an incomplete document, so that its upload goes on without
    // reading its bytes again.
    "ALTER TABLE documents ADD COLUMN digest_state BLOB;",
    // 3: the bytes of small documents, kept here instead of a blob file each; they go
    // with the document that names them.
    R"sql(
CREATE TABLE inline_blobs(
  name TEXT PRIMARY KEY,
  bytes BLOB NOT NULL);
CREATE TRIGGER inline_blob_gone AFTER DELETE ON documents
  WHEN old.blob LIKE '%.inline'
  BEGIN DELETE FROM inline_blobs WHERE name = old.blob; END;
)sql",
};
constexpr int kEmbeddedSchemaVersion = static_cast<int>(std::size(kEmbeddedMigrations));

Digest DigestOf(const std::string& bytes) {
  Digest digest{};
  std::memcpy(digest.data(), bytes.data(), bytes.size() < digest.size() ? bytes.size() : 16);
  return digest;
}

Account AccountFromRow(const Statement& row) {
  Account account;
  account.key = row.Int(0);
  account.id = row.Text(1);
  account.password_digest = DigestOf(row.Blob(2));
  account.quota = row.Int(3);
  account.used = row.Int(4);
  account.encrypt = row.Int(5) != 0;
  account.state = ParseAccountState(row.Text(6)).value_or(AccountState::kDisabled);
  account.email = row.Text(7);
  account.admin_email = row.Text(8);
  return account;
}

}  // namespace

bool SqliteStore::Open(const std::string& database_path, const std::string& outbox_folder,
                       std::string* error) {
  outbox_ = std::make_unique<FolderOutbox>(outbox_folder);
  group_sync_ =
      std::make_unique<GroupSync>([database_path] { return SyncDatabaseLog(database_path); });
  if (!pool_.Open(database_path, kBusyWaitMillis, error)) return false;
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  for (;;) {
    // Read again inside each transaction: another process may be migrating too.
    Transaction transaction(*db);
    Statement version(*db, "PRAGMA user_version");
    if (!transaction.ok() || version.Next() != Statement::Step::kRow) {
      *error = db->error_text();
      return false;
    }
    int64_t current = version.Int(0);
    if (current > kEmbeddedSchemaVersion) {
      *error = StrFormat("the store has schema version %lld; this nvxserver knows up to %d",
                         static_cast<long long>(current), kEmbeddedSchemaVersion);
      return false;
    }
    if (current == kEmbeddedSchemaVersion) return true;
    std::string step = kEmbeddedMigrations[current];
    step += StrFormat("\nPRAGMA user_version = %lld;", static_cast<long long>(current + 1));
    if (!db->Execute(step.c_str()) || !transaction.Commit()) {
      *error = db->error_text();
      return false;
    }
  }
}

std::string SqliteStore::error_text() {
  return pool_.last_error();
}

StoreStatus SqliteStore::AddAccount(const Account& account) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  {
    Statement exists(*db, "SELECT 1 FROM accounts WHERE id = ?");
    if (exists.Bind(1, account.id).Next() == Statement::Step::kRow) return StoreStatus::kExists;
  }
  Statement insert(*db,
                   "INSERT INTO accounts(id, password_digest, quota, used, encrypt, state, email,"
                   " admin_email) VALUES(?, ?, ?, 0, ?, ?, ?, ?)");
  insert.Bind(1, account.id)
      .BindBlob(2, account.password_digest.data(), account.password_digest.size())
      .Bind(3, account.quota)
      .Bind(4, int64_t{account.encrypt ? 1 : 0})
      .Bind(5, AccountStateName(account.state))
      .Bind(6, account.email)
      .Bind(7, account.admin_email);
  if (!insert.Run()) return StoreStatus::kFailed;
  Folder my_files;
  my_files.account = db->LastInsertRowId();
  my_files.name = "MyFiles";
  my_files.access = kAccessWrite;
  if (!InsertFolderIn(*db, &my_files)) return StoreStatus::kFailed;
  return transaction.Commit() ? StoreStatus::kOk : StoreStatus::kFailed;
}

StoreStatus SqliteStore::UpdateAccount(std::string_view id, const AccountChanges& changes) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  {
    Statement exists(*db, "SELECT 1 FROM accounts WHERE id = ?");
    if (exists.Bind(1, id).Next() != Statement::Step::kRow) return StoreStatus::kNotFound;
  }
  // Each column is set to the new value when one is given, else to itself.
  Statement update(*db,
                   "UPDATE accounts SET"
                   " password_digest = coalesce(?1, password_digest),"
                   " quota = coalesce(?2, quota), encrypt = coalesce(?3, encrypt),"
                   " state = coalesce(?4, state), email = coalesce(?5, email),"
                   " admin_email = coalesce(?6, admin_email) WHERE id = ?7");
  if (changes.password_digest) {
    update.BindBlob(1, changes.password_digest->data(), changes.password_digest->size());
  }
  if (changes.quota) update.Bind(2, *changes.quota);
  if (changes.encrypt) update.Bind(3, int64_t{*changes.encrypt ? 1 : 0});
  if (changes.state) update.Bind(4, AccountStateName(*changes.state));
  if (changes.email) update.Bind(5, *changes.email);
  if (changes.admin_email) update.Bind(6, *changes.admin_email);
  update.Bind(7, id);
  if (!update.Run()) return StoreStatus::kFailed;
  return transaction.Commit() ? StoreStatus::kOk : StoreStatus::kFailed;
}

namespace {

class PinnedHold final : public Store::HeldReads {
 public:
  explicit PinnedHold(DatabasePool& pool) : pinned_(pool) {}

 private:
  DatabasePool::PinnedReads pinned_;
};

}  // namespace

std::unique_ptr<Store::HeldReads> SqliteStore::HoldReads() {
  return std::make_unique<PinnedHold>(pool_);
}

std::optional<Account> SqliteStore::FindAccount(std::string_view id) {
  DatabasePool::Lease db = pool_.Acquire();
  Statement select(*db, StrFormat("SELECT %s FROM accounts WHERE id = ?", kAccountColumns).c_str());
  if (select.Bind(1, id).Next() != Statement::Step::kRow) return std::nullopt;
  return AccountFromRow(select);
}

bool SqliteStore::ListAccounts(std::vector<Account>* accounts) {
  DatabasePool::Lease db = pool_.Acquire();
  accounts->clear();
  Statement select(*db, StrFormat("SELECT %s FROM accounts ORDER BY id", kAccountColumns).c_str());
  return CollectRows(select, accounts, AccountFromRow);
}

StoreStatus SqliteStore::RecomputeUsed(int64_t account, int64_t* used) {
  platform::MutexLock writing(write_mutex_);
  DatabasePool::Lease db = pool_.AcquireWriter();
  Transaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  Statement update(*db,
                   "UPDATE accounts SET used = (SELECT coalesce(sum(d.size), 0) FROM documents d"
                   " JOIN folders f ON d.folder = f.id WHERE f.account = ?1) WHERE key = ?1");
  if (!update.Bind(1, account).Run()) return StoreStatus::kFailed;
  if (db->Changes() == 0) return StoreStatus::kNotFound;
  Statement select(*db, "SELECT used FROM accounts WHERE key = ?");
  if (select.Bind(1, account).Next() != Statement::Step::kRow) return StoreStatus::kFailed;
  *used = select.Int(0);
  return transaction.Commit() ? StoreStatus::kOk : StoreStatus::kFailed;
}

bool SqliteStore::AdjustUsedIn(Database& db, int64_t account, int64_t change) {
  if (change == 0) return true;
  Statement update(db, "UPDATE accounts SET used = max(0, used + ?) WHERE key = ?");
  return update.Bind(1, change).Bind(2, account).Run();
}

std::unique_ptr<UploadClaim> SqliteStore::ReserveUpload(const Account& account, int64_t change) {
  return reservations_.Reserve(*this, account, change);
}

std::optional<int64_t> SqliteStore::UploadRoom(const Account& account) {
  return reservations_.Room(*this, account);
}

// A writer's claim in this process: the embedded store has one serving process.
class SqliteWriterClaim final : public WriterClaim {
 public:
  SqliteWriterClaim(platform::Mutex& mutex, std::set<int64_t>& writers, int64_t vid)
      : mutex_(mutex), writers_(writers), vid_(vid) {}
  ~SqliteWriterClaim() override {
    platform::MutexLock lock(mutex_);
    writers_.erase(vid_);
  }
  SqliteWriterClaim(const SqliteWriterClaim&) = delete;
  SqliteWriterClaim& operator=(const SqliteWriterClaim&) = delete;

 private:
  platform::Mutex& mutex_;
  std::set<int64_t>& writers_;
  const int64_t vid_;
};

StoreStatus SqliteStore::ClaimWriter(int64_t vid, std::unique_ptr<WriterClaim>* claim) {
  platform::MutexLock lock(writers_mutex_);
  if (!writers_.insert(vid).second) return StoreStatus::kBusy;
  *claim = std::make_unique<SqliteWriterClaim>(writers_mutex_, writers_, vid);
  return StoreStatus::kOk;
}

std::string SqliteStore::BlobNamePrefix() {
  return {};
}

OutboxResult SqliteStore::PostMessage(const OutboxMessage& message, std::string* file_name) {
  if (!outbox_) return OutboxResult::kFailed;
  return outbox_->Write(message, file_name);
}

bool SqliteStore::ListPendingMessages(size_t max, std::vector<PendingMessage>* messages) {
  return outbox_ && outbox_->ListPending(max, messages);
}

bool SqliteStore::MarkMessageDelivered(std::string_view id) {
  return outbox_ && outbox_->MarkDelivered(id);
}

bool SqliteStore::MarkMessageRefused(std::string_view id, std::string_view answer) {
  return outbox_ && outbox_->MarkRefused(id, answer);
}

std::optional<Store::SharedSyncCounts> SqliteStore::CountSharedSyncs() {
  if (group_sync_ == nullptr) return std::nullopt;
  GroupSync::Counts counts = group_sync_->counts();
  return SharedSyncCounts{counts.commits, counts.syncs};
}

std::optional<int64_t> SqliteStore::CountPendingMessages() {
  if (!outbox_) return std::nullopt;
  return outbox_->CountPending();
}

}  // namespace nvx::service
