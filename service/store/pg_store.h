// The shared store: the service's metadata in a PostgreSQL database that any number of
// service processes (front ends) use at once, each through its own PgStore. Nothing that
// keeps a rule lives in one process:
// - every change is one transaction, and every change of an account's space, folders or
//   documents first takes the account's row lock (SELECT ... FOR UPDATE), so the changes
//   of one account are serialised across all processes while other accounts go on;
// - names are unique by constraints (an account id and a folder name without regard to
//   ASCII letter case, through a folded key column; a document name exactly), version
//   ids and folder ids come from the database's sequences;
// - the claims of uploads in flight are rows (upload_claims) with a lease that the
//   owning process renews; a claim counts while its lease runs and its process lives;
//   an account's claims are made one at a time under an advisory lock of the account,
//   not its row lock, and none of their changes waits for the log's flush (the table is
//   not logged);
// - the commits of uploads that end at the same time in one process go to the database
//   in one statement, one transaction, the accounts' row locks taken in key order;
// - one writer per document is a row (document_writers) that counts while its process
//   lives;
// - whether a process lives is told by a session lock it holds for its whole life (a
//   database advisory lock on its front-end number, which the server releases as soon as
//   the process's connection ends: a killed process holds nothing a moment later);
// - the outbox's bound is counted and extended under a transaction lock of the account,
//   and a waiting message is listed for delivery to one process at a time (a row of
//   outbox_claims with a lease, counting while its process lives).
// Names and e-mail addresses are kept as bytes (bytea), so they compare and sort exactly
// as the embedded store's do whatever the database's encoding and collation. The bytes of
// small documents are rows too (inline_blobs), written by the commit that records them,
// so every front end reads them and no file or sync of the blob folder is needed.
//
// The schema is versioned (pg_schema.h) and brought up to date when a store opens.
// Safe for concurrent use by all connection threads of a server.
#ifndef NVX_SERVICE_STORE_PG_STORE_H_
#define NVX_SERVICE_STORE_PG_STORE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "service/store/email_outbox.h"
#include "service/store/pg_pool.h"
#include "service/store/store.h"

namespace nvx::service {

// `name` with the ASCII capital letters made small: the key by which account ids and
// folder names are unique and found.
std::string FoldedName(std::string_view name);

class PgStore final : public Store {
 public:
  PgStore() = default;
  ~PgStore() override;

  // Connects to the database at `url` (postgresql://...), brings its schema up to date
  // and takes this process's front-end number; e-mail texts go to `outbox_folder`. False
  // with a message on failure.
  bool Open(const std::string& url, const std::string& outbox_folder, std::string* error);
  // This process's front-end number, unique among all that ever used the database.
  int64_t front_end() const { return front_end_; }

  // Store
  std::string error_text() override;
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
  bool KeepsInlineBlobs() override { return true; }
  std::optional<std::string> ReadInlineBlob(const std::string& blob) override;
  StoreStatus CommitUpload(int64_t account, const UploadCommit& commit, Document* stored,
                           std::vector<std::string>* removed_blobs,
                           UploadCommitted* committed = nullptr) override;
  std::unique_ptr<UploadClaim> ReserveUpload(const Account& account, int64_t change) override;
  std::optional<int64_t> UploadRoom(const Account& account) override;
  StoreStatus ClaimWriter(int64_t vid, std::unique_ptr<WriterClaim>* claim) override;
  std::string BlobNamePrefix() override;
  OutboxResult PostMessage(const OutboxMessage& message, std::string* file_name) override;
  bool ListPendingMessages(size_t max, std::vector<PendingMessage>* messages) override;
  bool MarkMessageDelivered(std::string_view id) override;
  bool MarkMessageRefused(std::string_view id, std::string_view answer) override;
  std::optional<int64_t> CountPendingMessages() override;

  bool RemoveClaimsOfEndedProcesses() override;

 private:
  friend class PgUploadClaim;
  friend class PgWriterClaim;

  struct Ancestry {
    bool hidden = false;
    int64_t level = 0;
  };
  // The account's quota and space used, its row locked until the transaction ends.
  static std::optional<std::pair<int64_t, int64_t>> LockAccountIn(PgConnection& db,
                                                                  int64_t account);
  static std::optional<Ancestry> AncestryIn(PgConnection& db, const Folder& folder);
  static std::optional<Folder> FindFolderIn(PgConnection& db, int64_t account, int64_t id);
  static std::optional<Folder> FindChildIn(PgConnection& db, int64_t account, int64_t parent,
                                           std::string_view name);
  static bool InsertFolderIn(PgConnection& db, Folder* folder);
  static bool LoadFoldersIn(PgConnection& db, int64_t account, std::vector<Folder>* folders);
  static bool AdjustUsedIn(PgConnection& db, int64_t account, int64_t change);
  static std::optional<Document> FindDocumentIn(PgConnection& db, int64_t account, int64_t vid);
  static std::optional<int64_t> InsertDocumentIn(PgConnection& db, const Document& document,
                                                 int64_t vid);
  // The folder must be visible and writable for an upload's commit or a change of one of
  // its documents.
  static StoreStatus FolderWritableIn(PgConnection& db, int64_t account, int64_t folder);
  // In an open transaction: locks the account and finds its document `vid` for a change,
  // which its folder must allow (FolderWritableIn). kOk with the document, else why not.
  static StoreStatus ChangeableDocumentIn(PgConnection& db, int64_t account, int64_t vid,
                                          Document* document);

  // The message left the outbox: its listing claim goes.
  void ForgetMessageClaim(std::string_view id);
  // The claims of this process, whose leases the renewing thread extends.
  void KeepClaim(int64_t id) EXCLUDES(claims_mutex_);
  void DropClaim(int64_t id) EXCLUDES(claims_mutex_);
  // Waits for the next renewal of the leases; false when the store ends. The claims to
  // renew go to `ids` as an array literal.
  bool WaitForRenewal(std::string* ids) EXCLUDES(claims_mutex_);
  void RenewClaims();
  // Claims `change` more for claim `id` of `account` (0: a new claim); the claim's id, or
  // nothing when it does not fit or the database failed.
  std::optional<int64_t> ClaimRoom(int64_t account, int64_t id, int64_t change);
  // An upload's commit waiting for its statement (pg_store_uploads.cc).
  struct QueuedCommit;
  // Sends the commits of `batch` in one statement; every one of them is then done.
  void RunBatch(std::vector<QueuedCommit*> batch) EXCLUDES(batch_mutex_);

  PgPool pool_;
  // Holds this process's front-end lock for the store's life.
  std::unique_ptr<PgConnection> presence_;
  int64_t front_end_ = 0;
  std::unique_ptr<FolderOutbox> outbox_;

  platform::Mutex claims_mutex_;
  platform::CondVar claims_changed_;
  std::set<int64_t> claims_ GUARDED_BY(claims_mutex_);
  bool stopping_ GUARDED_BY(claims_mutex_) = false;
  std::thread renewer_;

  // The uploads' commits waiting for the next statement, and whether one is on its way.
  platform::Mutex batch_mutex_;
  std::vector<QueuedCommit*> queued_ GUARDED_BY(batch_mutex_);
  bool batch_running_ GUARDED_BY(batch_mutex_) = false;
};

// Adds the document's columns after its vid (folder to digest_state, in the order of
// kDocumentColumns) to `params`. The digest state goes only with an incomplete document:
// a complete one is never continued.
void AddDocumentParams(PgParams& params, const Document& document);

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_PG_STORE_H_
