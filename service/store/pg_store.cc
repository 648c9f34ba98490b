// The shared store's accounts and its claims of uploads in flight and of document
// writers. Folders and documents are in pg_store_folders.cc and pg_store_documents.cc,
// the outbox in pg_store_outbox.cc.
#include "service/store/pg_store.h"

#include <algorithm>
#include <atomic>

#include "platform/text_format.h"
#include "service/store/pg_schema.h"
#include "service/store/service_limits.h"
#include "service/store/store_columns.h"

namespace nvx::service {
namespace {

Account AccountFromPgRow(const PgResult& rows, int row) {
  Account account;
  account.key = rows.Int(row, 0);
  account.id = rows.Bytes(row, 1);
  std::string digest = rows.Bytes(row, 2);
  std::copy_n(digest.begin(), std::min(digest.size(), account.password_digest.size()),
              account.password_digest.begin());
  account.quota = rows.Int(row, 3);
  account.used = rows.Int(row, 4);
  account.encrypt = rows.Int(row, 5) != 0;
  account.state = ParseAccountState(rows.Bytes(row, 6)).value_or(AccountState::kDisabled);
  account.email = rows.Bytes(row, 7);
  account.admin_email = rows.Bytes(row, 8);
  return account;
}

}  // namespace

// One upload's claim: a row of upload_claims, removed when the object ends.
class PgUploadClaim final : public UploadClaim {
 public:
  PgUploadClaim(PgStore& store, int64_t account, int64_t id, int64_t change)
      : store_(store), account_(account), id_(id), change_(change) {}
  ~PgUploadClaim() override {
    store_.DropClaim(id_);
    PgPool::Lease db = store_.pool_.Acquire();
    db->Query("SELECT claim_drop($1::int8)", PgParams().Int(id_));
  }
  PgUploadClaim(const PgUploadClaim&) = delete;
  PgUploadClaim& operator=(const PgUploadClaim&) = delete;

  bool Resize(int64_t change) override {
    if (change > change_) {
      if (!store_.ClaimRoom(account_, id_, change)) return false;
    } else {
      PgPool::Lease db = store_.pool_.Acquire();
      if (!db->Query("SELECT claim_update($1::int8, $2::int8, NULL)",
                     PgParams().Int(id_).Int(change))
               .ok()) {
        return false;
      }
    }
    change_ = change;
    return true;
  }

  void Settle(int64_t change) override {
    change_ -= change;
    PgPool::Lease db = store_.pool_.Acquire();
    // A failure leaves the claim larger than needed: it only holds room a while longer.
    db->Query("SELECT claim_update($1::int8, $2::int8, $3::int8)",
              PgParams().Int(id_).Int(change_).Int(kServiceClaimLeaseSeconds));
  }

 private:
  PgStore& store_;
  const int64_t account_;
  const int64_t id_;
  int64_t change_;
};

// One writer's claim on a document: a row of document_writers, removed when it ends.
class PgWriterClaim final : public WriterClaim {
 public:
  PgWriterClaim(PgStore& store, int64_t vid, int64_t token)
      : store_(store), vid_(vid), token_(token) {}
  ~PgWriterClaim() override {
    PgPool::Lease db = store_.pool_.Acquire();
    db->Query("DELETE FROM document_writers WHERE vid = $1 AND front_end = $2 AND token = $3",
              PgParams().Int(vid_).Int(store_.front_end_).Int(token_));
  }
  PgWriterClaim(const PgWriterClaim&) = delete;
  PgWriterClaim& operator=(const PgWriterClaim&) = delete;

 private:
  PgStore& store_;
  const int64_t vid_;
  const int64_t token_;
};

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return folded;
}

PgStore::~PgStore() {
  {
    platform::MutexLock lock(claims_mutex_);
    stopping_ = true;
    claims_changed_.NotifyAll();
  }
  if (renewer_.joinable()) renewer_.join();
}

bool PgStore::Open(const std::string& url, const std::string& outbox_folder, std::string* error) {
  outbox_ = std::make_unique<FolderOutbox>(outbox_folder);
  if (!pool_.Open(url, kServiceDatabaseConnectionsMax, error)) return false;
  {
    PgPool::Lease db = pool_.Acquire();
    if (!MigratePgSchema(*db, error)) return false;
  }
  // The front-end number and its lock, held on a connection of its own until the store
  // ends (or the process does).
  presence_ = std::make_unique<PgConnection>();
  PgResult number;
  if (presence_->Open(url)) number = presence_->Query("SELECT nextval('front_end_numbers')");
  if (!number.ok() || number.rows() != 1 ||
      !presence_
           ->Query("SELECT pg_advisory_lock($1, $2)",
                   PgParams().Int(kPgFrontEndLock).Int(number.Int(0, 0)))
           .ok()) {
    *error = "cannot take a front-end number: " + presence_->error_text();
    return false;
  }
  front_end_ = number.Int(0, 0);
  renewer_ = std::thread([this] { RenewClaims(); });
  return true;
}

std::string PgStore::error_text() {
  return pool_.last_error();
}

std::optional<std::pair<int64_t, int64_t>> PgStore::LockAccountIn(PgConnection& db,
                                                                  int64_t account) {
  PgResult row = db.Query("SELECT quota, used FROM accounts WHERE key = $1 FOR UPDATE",
                          PgParams().Int(account));
  if (row.rows() != 1) return std::nullopt;
  return std::make_pair(row.Int(0, 0), row.Int(0, 1));
}

StoreStatus PgStore::AddAccount(const Account& account) {
  PgPool::Lease db = pool_.Acquire();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  PgResult inserted = db->Query(
      "INSERT INTO accounts(id, id_key, password_digest, quota, used, encrypt, state, email,"
      " admin_email) VALUES($1, $2, $3, $4, 0, $5, $6, $7, $8)"
      " ON CONFLICT (id_key) DO NOTHING RETURNING key",
      PgParams()
          .Bytes(account.id)
          .Bytes(FoldedName(account.id))
          .Bytes(account.password_digest.data(), account.password_digest.size())
          .Int(account.quota)
          .Text(account.encrypt ? "true" : "false")
          .Text(AccountStateName(account.state))
          .Bytes(account.email)
          .Bytes(account.admin_email));
  if (!inserted.ok()) return StoreStatus::kFailed;
  if (inserted.rows() == 0) return StoreStatus::kExists;
  Folder my_files;
  my_files.account = inserted.Int(0, 0);
  my_files.name = "MyFiles";
  my_files.access = kAccessWrite;
  if (!InsertFolderIn(*db, &my_files)) return StoreStatus::kFailed;
  return transaction.Commit() ? StoreStatus::kOk : StoreStatus::kFailed;
}

StoreStatus PgStore::UpdateAccount(std::string_view id, const AccountChanges& changes) {
  PgParams params;
  if (changes.password_digest) {
    params.Bytes(changes.password_digest->data(), changes.password_digest->size());
  } else {
    params.Null();
  }
  changes.quota ? params.Int(*changes.quota) : params.Null();
  changes.encrypt ? params.Text(*changes.encrypt ? "true" : "false") : params.Null();
  changes.state ? params.Text(AccountStateName(*changes.state)) : params.Null();
  changes.email ? params.Bytes(*changes.email) : params.Null();
  changes.admin_email ? params.Bytes(*changes.admin_email) : params.Null();
  params.Bytes(FoldedName(id));
  PgPool::Lease db = pool_.Acquire();
  // One statement: each column is set to the new value when one is given, else to itself.
  PgResult update = db->Query(
      "UPDATE accounts SET password_digest = coalesce($1, password_digest),"
      " quota = coalesce($2, quota), encrypt = coalesce($3, encrypt),"
      " state = coalesce($4, state), email = coalesce($5, email),"
      " admin_email = coalesce($6, admin_email) WHERE id_key = $7",
      params);
  if (!update.ok()) return StoreStatus::kFailed;
  return update.changed() == 0 ? StoreStatus::kNotFound : StoreStatus::kOk;
}

std::optional<Account> PgStore::FindAccount(std::string_view id) {
  PgPool::Lease db = pool_.Acquire();
  PgResult row =
      db->Query(StrFormat("SELECT %s FROM accounts WHERE id_key = $1", kAccountColumns).c_str(),
                PgParams().Bytes(FoldedName(id)));
  if (row.rows() != 1) return std::nullopt;
  return AccountFromPgRow(row, 0);
}

bool PgStore::ListAccounts(std::vector<Account>* accounts) {
  PgPool::Lease db = pool_.Acquire();
  accounts->clear();
  PgResult rows =
      db->Query(StrFormat("SELECT %s FROM accounts ORDER BY id_key", kAccountColumns).c_str());
  for (int row = 0; row < rows.rows(); ++row) accounts->push_back(AccountFromPgRow(rows, row));
  return rows.ok();
}

StoreStatus PgStore::RecomputeUsed(int64_t account, int64_t* used) {
  PgPool::Lease db = pool_.Acquire();
  PgTransaction transaction(*db);
  if (!transaction.ok()) return StoreStatus::kFailed;
  if (!LockAccountIn(*db, account)) return StoreStatus::kNotFound;
  PgResult update = db->Query(
      "UPDATE accounts SET used = (SELECT coalesce(sum(d.size), 0)::int8 FROM documents d"
      " JOIN folders f ON d.folder = f.id WHERE f.account = $1) WHERE key = $1 RETURNING used",
      PgParams().Int(account));
  if (update.rows() != 1) return StoreStatus::kFailed;
  *used = update.Int(0, 0);
  return transaction.Commit() ? StoreStatus::kOk : StoreStatus::kFailed;
}

bool PgStore::AdjustUsedIn(PgConnection& db, int64_t account, int64_t change) {
  if (change == 0) return true;
  return db
      .Query("UPDATE accounts SET used = greatest(0, used + $1) WHERE key = $2",
             PgParams().Int(change).Int(account))
      .ok();
}

std::optional<int64_t> PgStore::ClaimRoom(int64_t account, int64_t id, int64_t change) {
  PgPool::Lease db = pool_.Acquire();
  // One statement, one transaction: the database's function claim_room (schema version 4).
  PgResult claimed = db->Query(
      "SELECT claim_room FROM claim_room($1::int8, $2::int8, $3::int8, $4::int8, $5::int8, "
      "$6::int4, $7::int4)",
      PgParams()
          .Int(account)
          .Int(id)
          .Int(change)
          .Int(front_end_)
          .Int(kServiceClaimLeaseSeconds)
          .Int(kPgFrontEndLock)
          .Int(kPgClaimLock));
  if (claimed.rows() != 1) return std::nullopt;
  return claimed.Int(0, 0);
}

std::unique_ptr<UploadClaim> PgStore::ReserveUpload(const Account& account, int64_t change) {
  std::optional<int64_t> id = ClaimRoom(account.key, 0, change);
  if (!id) return nullptr;
  KeepClaim(*id);
  return std::make_unique<PgUploadClaim>(*this, account.key, *id, change);
}

std::optional<int64_t> PgStore::UploadRoom(const Account& account) {
  PgPool::Lease db = pool_.Acquire();
  PgResult room =
      db->Query(StrFormat("SELECT a.quota - a.used - coalesce((SELECT sum(greatest(c.bytes, 0))"
                          " FROM upload_claims c WHERE c.account = a.key AND c.expires >= now()"
                          " AND %s), 0)::int8 FROM accounts a WHERE a.key = $1",
                          PgFrontEndLives("c.front_end").c_str())
                    .c_str(),
                PgParams().Int(account.key));
  if (room.rows() != 1) return std::nullopt;
  return room.Int(0, 0);
}

void PgStore::KeepClaim(int64_t id) {
  platform::MutexLock lock(claims_mutex_);
  claims_.insert(id);
}

void PgStore::DropClaim(int64_t id) {
  platform::MutexLock lock(claims_mutex_);
  claims_.erase(id);
}

bool PgStore::WaitForRenewal(std::string* ids) {
  platform::MutexLock lock(claims_mutex_);
  // A stop asked for before this thread came to wait has been told already: waiting
  // would hold the store's end (and a short administration command) for a whole period.
  if (!stopping_) claims_changed_.WaitFor(claims_mutex_, kServiceClaimLeaseSeconds * 1000 / 4);
  if (stopping_) return false;
  *ids = PgArray(std::vector<int64_t>(claims_.begin(), claims_.end()));
  return true;
}

void PgStore::RenewClaims() {
  std::string ids;
  while (WaitForRenewal(&ids)) {
    if (ids == "{}") continue;
    PgPool::Lease db = pool_.Acquire();
    db->Query(
        "UPDATE upload_claims SET expires = now() + make_interval(secs => $2)"
        " WHERE id = ANY($1::int8[])",
        PgParams().Text(ids).Int(kServiceClaimLeaseSeconds));
  }
}

bool PgStore::RemoveClaimsOfEndedProcesses() {
  PgPool::Lease db = pool_.Acquire();
  std::string dead_claims =
      StrFormat("DELETE FROM upload_claims c WHERE c.expires < now() OR NOT %s",
                PgFrontEndLives("c.front_end").c_str());
  std::string dead_writers = StrFormat("DELETE FROM document_writers w WHERE NOT %s",
                                       PgFrontEndLives("w.front_end").c_str());
  std::string dead_listings =
      StrFormat("DELETE FROM outbox_claims o WHERE NOT %s", PgFrontEndLives("o.front_end").c_str());
  bool claims = db->Query(dead_claims.c_str()).ok();
  bool listings = db->Query(dead_listings.c_str()).ok();
  return db->Query(dead_writers.c_str()).ok() && claims && listings;
}

StoreStatus PgStore::ClaimWriter(int64_t vid, std::unique_ptr<WriterClaim>* claim) {
  static std::atomic<int64_t> tokens{0};
  int64_t token = ++tokens;
  PgPool::Lease db = pool_.Acquire();
  // A row of a process that ended is taken over; a living writer's row stays.
  PgResult claimed = db->Query(
      StrFormat("INSERT INTO document_writers AS w(vid, front_end, token) VALUES($1, $2, $3)"
                " ON CONFLICT (vid) DO UPDATE SET front_end = EXCLUDED.front_end,"
                " token = EXCLUDED.token WHERE NOT %s RETURNING w.token",
                PgFrontEndLives("w.front_end").c_str())
          .c_str(),
      PgParams().Int(vid).Int(front_end_).Int(token));
  if (!claimed.ok()) return StoreStatus::kFailed;
  if (claimed.rows() != 1) return StoreStatus::kBusy;
  *claim = std::make_unique<PgWriterClaim>(*this, vid, token);
  return StoreStatus::kOk;
}

std::string PgStore::BlobNamePrefix() {
  return StrFormat("f%lld-", static_cast<long long>(front_end_));
}

}  // namespace nvx::service
