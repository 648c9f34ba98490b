// The embedded store: the service's metadata in DIR/nvx.db (SQLite, write-ahead log), the
// claims of uploads in flight in this process, and the outbox folder DIR/outbox. Every
// change is one transaction, so a crash loses at most the change in flight.
//
// One SqliteStore is shared by all connection threads of a server. Each call leases a
// database connection of its own, so readers never wait for each other or for the
// writer; calls that change the store are serialised among themselves, and every call is
// short (bytes never move inside a call, and no call walks the tree with a query per
// folder). Other processes (administration commands) may use the same database at the
// same time; only one process serves it, so the claims of uploads in flight and of
// document writers are kept in this process (UploadReservations, writers_).
#ifndef NVX_SERVICE_STORE_SQLITE_STORE_H_
#define NVX_SERVICE_STORE_SQLITE_STORE_H_

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "service/store/database_pool.h"
#include "service/store/email_outbox.h"
#include "service/store/group_sync.h"
#include "service/store/sqlite_db.h"
#include "service/store/store.h"
#include "service/store/upload_reservations.h"

namespace nvx::service {

class SqliteStore final : public Store {
 public:
  SqliteStore() = default;

  // Opens or creates the database file `database_path`; e-mail texts go to
  // `outbox_folder`. False with a message on failure.
  bool Open(const std::string& database_path, const std::string& outbox_folder, std::string* error);

  // Store
  std::string error_text() override;
  std::unique_ptr<HeldReads> HoldReads() override;
  StoreStatus AddAccount(const Account& account) override;
  StoreStatus UpdateAccount(std::string_view id, const AccountChanges& changes) override;
  std::optional<Account> FindAccount(std::string_view id) override;
  bool ListAccounts(std::vector<Account>* accounts) override;
  StoreStatus RecomputeUsed(int64_t account, int64_t* used) override;
  bool ListFolders(int64_t account, std::vector<Folder>* folders) override;
  std::optional<Folder> FindFolder(int64_t account, int64_t id) override;
  std::optional<Folder> FindMyFiles(int64_t account) override;
  std::optional<Folder> FindFolderByPath(int64_t account,
                                         const std::vector<std::string>& path) override;
  char EffectiveAccess(const Folder& folder) override;
  StoreStatus CreateFolder(int64_t account, int64_t parent, std::string_view name, Folder* folder,
                           bool* created) override;
  StoreStatus AddFolderPath(int64_t account, const std::vector<std::string>& path, char access,
                            bool compressed, Folder* folder) override;
  StoreStatus DeleteEmptyFoldersBelow(int64_t account, int64_t id, int* deleted) override;
  StoreStatus DeleteFolderTree(int64_t account, int64_t id,
                               std::vector<std::string>* blobs) override;
  bool ListDocuments(int64_t folder, std::vector<Document>* documents) override;
  bool ListBlobNames(std::vector<std::string>* blobs) override;
  StoreStatus CountDocuments(int64_t folder, int64_t* count) override;
  std::optional<Document> FindDocument(int64_t account, int64_t vid) override;
  std::optional<Document> FindDocumentByName(int64_t folder, std::string_view name) override;
  StoreStatus PutDocument(int64_t account, const Document& document, bool check_quota,
                          Document* stored, std::string* replaced_blob) override;
  StoreStatus DeleteDocument(int64_t account, int64_t vid, std::string* blob) override;
  StoreStatus CompleteDocument(int64_t account, int64_t vid, bool as_stored = false) override;
  StoreStatus CommitUpload(int64_t account, const UploadCommit& commit, Document* stored,
                           std::vector<std::string>* removed_blobs,
                           UploadCommitted* committed = nullptr) override;
  std::unique_ptr<UploadClaim> ReserveUpload(const Account& account, int64_t change) override;
  std::optional<int64_t> UploadRoom(const Account& account) override;
  StoreStatus ClaimWriter(int64_t vid, std::unique_ptr<WriterClaim>* claim) override;
  bool KeepsInlineBlobs() override { return true; }
  std::optional<std::string> ReadInlineBlob(const std::string& blob) override;
  std::string BlobNamePrefix() override;
  bool RemoveClaimsOfEndedProcesses() override { return true; }
  OutboxResult PostMessage(const OutboxMessage& message, std::string* file_name) override;
  // The outbox folder has one serving process: listing claims nothing.
  bool ListPendingMessages(size_t max, std::vector<PendingMessage>* messages) override;
  bool MarkMessageDelivered(std::string_view id) override;
  bool MarkMessageRefused(std::string_view id, std::string_view answer) override;
  std::optional<int64_t> CountPendingMessages() override;
  std::optional<SharedSyncCounts> CountSharedSyncs() override;

 private:
  // Where a folder lies: whether it is hidden and its level. Nothing when the database
  // failed.
  struct Ancestry {
    bool hidden = false;
    int64_t level = 0;
  };
  static std::optional<Ancestry> AncestryIn(Database& db, const Folder& folder);
  static std::optional<Folder> FindFolderIn(Database& db, int64_t account, int64_t id);
  static std::optional<Folder> FindChildIn(Database& db, int64_t account, int64_t parent,
                                           std::string_view name);
  static bool InsertFolderIn(Database& db, Folder* folder);
  static bool LoadFoldersIn(Database& db, int64_t account, std::vector<Folder>* folders);
  static bool AdjustUsedIn(Database& db, int64_t account, int64_t change);
  static std::optional<Document> FindDocumentIn(Database& db, int64_t account, int64_t vid);
  // Inserts `document` under `vid`, or under a new version id when `vid` is 0; the id
  // it got, or nothing when the database failed.
  static std::optional<int64_t> InsertDocumentIn(Database& db, const Document& document,
                                                 int64_t vid);
  // kOk when raising the account's space used by `change` keeps it within the quota.
  static StoreStatus QuotaAllowsIn(Database& db, int64_t account, int64_t change);
  // In an open transaction: the account's document `vid` for a change, which its folder
  // must allow (visible and writable). kOk with the document, else why not.
  static StoreStatus ChangeableDocumentIn(Database& db, int64_t account, int64_t vid,
                                          Document* document);

  // CommitUpload's steps under the write lock; with `ticket` (a document whose bytes go
  // into the store) the commit leaves its sync to group_sync_ and takes a ticket.
  StoreStatus CommitUploadLocked(int64_t account, const UploadCommit& commit, Document* stored,
                                 std::vector<std::string>* removed_blobs,
                                 UploadCommitted* committed, uint64_t* ticket);

  DatabasePool pool_;
  std::unique_ptr<GroupSync> group_sync_;
  // Held by every call that changes the store, for the length of its transaction: the
  // database connections it guards belong to the writer while it holds it.
  platform::Mutex write_mutex_;
  UploadReservations reservations_;
  // The documents whose bytes an upload of this process writes in place.
  platform::Mutex writers_mutex_;
  std::set<int64_t> writers_ GUARDED_BY(writers_mutex_);
  std::unique_ptr<FolderOutbox> outbox_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_SQLITE_STORE_H_
