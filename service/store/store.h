// The service's store: accounts, their folder trees, the documents in them, the claims of
// uploads in flight and the outbox of e-mail texts. The commands see only this interface;
// SqliteStore (sqlite_store.h) fills it with an embedded database in the data folder,
// and another implementation may fill it with a database that several service processes
// share. Nothing here assumes one process: every operation is one step of the store
// (one transaction where it changes anything), and every rule that spans requests (the
// quota with the uploads in flight, unique names and version ids, the outbox's bound) is
// kept by the implementation behind these calls, not by the callers. The documents' bytes
// live in the blob folder (BlobStore) and are named by the `blob` field; a store may keep
// the bytes of small documents itself, in the same step that records the document, under
// a blob name of their own (kInlineBlobEnding).
//
// Folder access is one rule for every command: a folder is hidden when it or any folder
// above it has no access (N); a hidden folder and everything in it behaves as if it did
// not exist. Otherwise a folder's own access says whether it may be changed (W) or only
// read (V).
//
// Implementations are safe for concurrent use by all connection threads of a server.
#ifndef NVX_SERVICE_STORE_STORE_H_
#define NVX_SERVICE_STORE_STORE_H_

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/store/email_outbox.h"

namespace nvx::service {

using Digest = std::array<uint8_t, 16>;

enum class AccountState { kActive, kDisabled, kExpired };
std::string_view AccountStateName(AccountState state);
std::optional<AccountState> ParseAccountState(std::string_view name);

struct Account {
  int64_t key = 0;           // the store's own number of the account
  std::string id;            // the login id; compared without regard to letter case
  Digest password_digest{};  // MD5 of the password: what a login token proves
  int64_t quota = 0;
  int64_t used = 0;
  bool encrypt = false;  // transfer encryption on
  AccountState state = AccountState::kActive;
  std::string email;
  std::string admin_email;
};

struct AccountChanges {
  std::optional<Digest> password_digest;
  std::optional<int64_t> quota;
  std::optional<bool> encrypt;
  std::optional<AccountState> state;
  std::optional<std::string> email;
  std::optional<std::string> admin_email;
};

// Folder access as the folder list shows it: write, view only, no access.
inline constexpr char kAccessWrite = 'W';
inline constexpr char kAccessView = 'V';
inline constexpr char kAccessNone = 'N';

struct Folder {
  int64_t id = 0;  // unique in the server
  int64_t account = 0;
  int64_t parent = 0;  // 0 for a top-level folder
  std::string name;
  char access = kAccessWrite;
  bool compressed = false;  // its id travels with the suffix "-C"
  int level = 0;            // depth below the top level; filled by ListFolders
};

// The id as it travels: decimal, with "-C" for a compressed folder.
std::string FolderIdText(const Folder& folder);

struct Document {
  int64_t vid = 0;  // version id; a replaced document gets a new one
  int64_t folder = 0;
  std::string name;
  int64_t size = 0;       // bytes stored
  int64_t full_size = 0;  // bytes the document has when complete
  std::string date_stamp;
  Digest digest{};  // MD5 of the bytes stored
  bool complete = true;
  std::string blob;  // file name in the blob folder
  // For an incomplete document: the MD5 state after exactly its `size` bytes
  // (Md5SaveState), so that whichever process continues it goes on from there without
  // reading the bytes again. Empty when not kept; it then is read from the blob.
  std::string digest_state;
};

enum class StoreStatus {
  kOk,
  kNotFound,
  kExists,
  kAccessDenied,
  kTopLevel,
  kIncomplete,
  kQuotaExceeded,
  kTooDeep,  // the folder would lie deeper than kServiceFolderLevelsMax allows
  kChanged,  // the document an upload continues or replaces changed meanwhile
  kBusy,     // another upload writes the document
  kFailed,   // the database failed; error_text() tells why
};

// One upload's claim on the room its account has left (see Store::ReserveUpload): the
// rise of the space used that the rest of the upload makes. While it lasts it counts
// against the quota of every other upload of the account, until the store counts the
// bytes (a checkpoint, the final commit) or the claim ends with its object. Used by the
// thread of its request.
class UploadClaim {
 public:
  virtual ~UploadClaim() = default;
  // Sets the claim to `change`. A larger claim must fit the room left beside the other
  // claims; false, and the claim as it was, when it does not. A smaller one always
  // succeeds.
  [[nodiscard]] virtual bool Resize(int64_t change) = 0;
  // The store has counted `change` of the claim (a checkpoint recorded it).
  virtual void Settle(int64_t change) = 0;
};

// One upload's right to write the bytes of a document where they are (see
// Store::ClaimWriter); given up when the object ends. Used by the thread of its request.
class WriterClaim {
 public:
  virtual ~WriterClaim() = default;
};

class Store {
 public:
  Store() = default;
  virtual ~Store() = default;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Why the last failing call failed.
  virtual std::string error_text() = 0;

  // While the returned object lives, the calls of this store that only read, on this
  // thread, see one state of the store, in one read transaction where the store has them:
  // a request's few lookups then cost one. Nothing that writes or waits may run meanwhile.
  // A hold taken inside another joins it. Null where the store keeps no such state.
  class HeldReads {
   public:
    virtual ~HeldReads() = default;
  };
  [[nodiscard]] virtual std::unique_ptr<HeldReads> HoldReads() { return nullptr; }
  // Runs `lookups` inside a hold of the reads (above).
  void ReadTogether(const std::function<void()>& lookups) {
    std::unique_ptr<HeldReads> held = HoldReads();
    lookups();
  }

  // Accounts. AddAccount also creates the account's "MyFiles" folder.
  virtual StoreStatus AddAccount(const Account& account) = 0;
  virtual StoreStatus UpdateAccount(std::string_view id, const AccountChanges& changes) = 0;
  virtual std::optional<Account> FindAccount(std::string_view id) = 0;
  virtual bool ListAccounts(std::vector<Account>* accounts) = 0;
  // Sets the space used to the sum of the stored documents' sizes.
  virtual StoreStatus RecomputeUsed(int64_t account, int64_t* used) = 0;

  // Folders. ListFolders gives the tree depth first: "MyFiles", then the other top-level
  // folders, siblings by name.
  virtual bool ListFolders(int64_t account, std::vector<Folder>* folders) = 0;
  virtual std::optional<Folder> FindFolder(int64_t account, int64_t id) = 0;
  virtual std::optional<Folder> FindMyFiles(int64_t account) = 0;
  // A folder path from the top level, one name per component.
  virtual std::optional<Folder> FindFolderByPath(int64_t account,
                                                 const std::vector<std::string>& path) = 0;
  // The access that applies to the folder: kAccessNone when it or a folder above it has
  // none (or the store cannot place it), else its own.
  virtual char EffectiveAccess(const Folder& folder) = 0;
  bool IsHidden(const Folder& folder) { return EffectiveAccess(folder) == kAccessNone; }
  // Creates `name` below `parent`, or finds it (any letter case); the parent must be
  // visible (else kNotFound) and allow writing, and the new folder may not lie deeper
  // than the limit. `created` tells which happened.
  virtual StoreStatus CreateFolder(int64_t account, int64_t parent, std::string_view name,
                                   Folder* folder, bool* created) = 0;
  // Creates every missing folder of `path`; the last one gets `access` and is compressed
  // when asked or when its parent is. kExists when the last one exists already;
  // kTooDeep for a path over the limit.
  virtual StoreStatus AddFolderPath(int64_t account, const std::vector<std::string>& path,
                                    char access, bool compressed, Folder* folder) = 0;
  // Deletes the empty writable folders in writable parents below `id`, deepest first,
  // not `id` itself; hidden subtrees are left alone.
  virtual StoreStatus DeleteEmptyFoldersBelow(int64_t account, int64_t id, int* deleted) = 0;
  // Deletes the folder with its documents and everything below it. The blobs that are no
  // longer referenced are returned for removal.
  virtual StoreStatus DeleteFolderTree(int64_t account, int64_t id,
                                       std::vector<std::string>* blobs) = 0;

  // Documents.
  virtual bool ListDocuments(int64_t folder, std::vector<Document>* documents) = 0;
  // The blob names that documents name, of every account.
  virtual bool ListBlobNames(std::vector<std::string>* blobs) = 0;
  virtual StoreStatus CountDocuments(int64_t folder, int64_t* count) = 0;
  virtual std::optional<Document> FindDocument(int64_t account, int64_t vid) = 0;
  virtual std::optional<Document> FindDocumentByName(int64_t folder, std::string_view name) = 0;
  // Stores `document` under a new version id, replacing the document of the same name in
  // its folder (whose blob is returned in `replaced_blob`). With `check_quota` the space
  // used may not rise above the quota.
  virtual StoreStatus PutDocument(int64_t account, const Document& document, bool check_quota,
                                  Document* stored, std::string* replaced_blob) = 0;
  // Documents in a hidden folder are kNotFound; in a view-only folder kAccessDenied.
  virtual StoreStatus DeleteDocument(int64_t account, int64_t vid, std::string* blob) = 0;
  // Marks an incomplete document complete when it holds all its bytes (kIncomplete when
  // it does not); a complete document stays as it is. With `as_stored` the stored bytes
  // are the whole document whatever size was announced (the client showed that its file
  // equals them). Folder access as for deletion.
  virtual StoreStatus CompleteDocument(int64_t account, int64_t vid, bool as_stored = false) = 0;
  // Takes in what an upload wrote (see UploadCommit) in one step: the document goes into
  // its folder, replacing the document it continues or replaces and any other of the
  // same name there. The folder must be visible and writable. kChanged when the document
  // it takes the place of is gone or has other bytes by now; kQuotaExceeded when
  // `check_quota` and the space used would rise above the quota. The blobs no document
  // names any more go to `removed_blobs`, for the caller to remove; `committed`, when
  // given, receives how the space used moved.
  struct UploadCommit {
    Document document;         // vid is ignored unless keep_vid
    int64_t replaces_vid = 0;  // 0: none
    std::string replaces_blob;
    bool keep_vid = false;  // a continuation keeps the version id it continues
    bool check_quota = true;
    // The document's bytes, for the store to keep under its blob name (an inline name);
    // only for a store that keeps inline blobs, only for a complete document.
    std::optional<std::string> inline_bytes;
    // The caller answers only after UploadCommitted::durable returned true, when the store
    // sets it: the commit then returns before its sync instead of waiting for it.
    bool may_defer_durability = false;
  };
  struct UploadCommitted {
    int64_t used_change = 0;  // how far the space used moved (below 0: it fell)
    // The account's space used right after the commit, where the store tells it.
    std::optional<int64_t> used_after;
    // Set for a commit that may defer its durability and is made durable in a group: it
    // returns once the commit is on the disk, false when its sync failed.
    std::function<bool()> durable;
  };
  virtual StoreStatus CommitUpload(int64_t account, const UploadCommit& commit, Document* stored,
                                   std::vector<std::string>* removed_blobs,
                                   UploadCommitted* committed = nullptr) = 0;

  // Uploads in flight. Claims `change` bytes (the rise of the space used once the upload
  // is done; below 0 when it frees space) for an upload of `account`. It fits when it is
  // no more than the quota less the space used less what the account's other uploads
  // claim. Null when it does not fit or the account cannot be read. `account` must
  // outlive the claim.
  virtual std::unique_ptr<UploadClaim> ReserveUpload(const Account& account, int64_t change) = 0;
  // The room left to the account: quota less space used less all claims. Nothing when
  // the account cannot be read.
  virtual std::optional<int64_t> UploadRoom(const Account& account) = 0;

  // One writer per document: claims the right to write the bytes of document `vid` in
  // place, for as long as the claim lives. kBusy while another upload (of any process
  // that uses the store) holds it; a process that ended holds none.
  virtual StoreStatus ClaimWriter(int64_t vid, std::unique_ptr<WriterClaim>* claim) = 0;
  // Whether the store keeps the bytes of small documents itself (UploadCommit's
  // inline_bytes); and the bytes kept under an inline blob name, nothing when it keeps
  // none under that name. Kept bytes go with the document that names them.
  virtual bool KeepsInlineBlobs() { return false; }
  virtual std::optional<std::string> ReadInlineBlob(const std::string& /*blob*/) {
    return std::nullopt;
  }
  // The beginning of the names this process gives new blobs: no other process that uses
  // the same store and blob folder has it (empty when one process serves the store).
  virtual std::string BlobNamePrefix() = 0;
  // Removes the claims (of uploads and writers) that processes which ended left behind.
  // Any process may call it at any time; nothing to do when one process serves the store.
  virtual bool RemoveClaimsOfEndedProcesses() = 0;

  // The outbox: takes the message unless the account's waiting messages would then pass
  // a bound (kFull); the name it is kept under goes to `file_name`.
  virtual OutboxResult PostMessage(const OutboxMessage& message, std::string* file_name) = 0;

  // Mail delivery (service/mail_delivery.h) takes the outbox's messages through these
  // four calls and nothing else. The messages waiting, oldest first, at most `max`
  // (PendingMessage in email_outbox.h); false when the outbox cannot be read. A store
  // that several service processes share lists each message to one process at a time:
  // listing claims the listed messages for this store object for
  // kServiceOutboxClaimSeconds (a later listing by the same object renews the claim), and
  // no other process's listing shows a claimed message until its claim lapses, so a
  // process that dies leaves its messages to the others.
  virtual bool ListPendingMessages(size_t max, std::vector<PendingMessage>* messages) = 0;
  // The relay accepted the message: it leaves the outbox. False when it is not waiting.
  virtual bool MarkMessageDelivered(std::string_view id) = 0;
  // The relay refused the message (or some of its recipients) for good: it stops waiting
  // and is kept for the operator with the relay's `answer`. It still counts against the
  // account's outbox bound until the operator removes it. False when it is not waiting
  // or could not be moved (it stays waiting then).
  virtual bool MarkMessageRefused(std::string_view id, std::string_view answer) = 0;
  // The number of messages waiting, of every account (the refused ones not counted);
  // nothing when the outbox cannot be read.
  virtual std::optional<int64_t> CountPendingMessages() = 0;

  // Commits made durable by syncs of the store's log shared between them, and those
  // syncs, since the store opened; nothing for a store that does not group them so.
  struct SharedSyncCounts {
    uint64_t commits = 0;
    uint64_t syncs = 0;
  };
  virtual std::optional<SharedSyncCounts> CountSharedSyncs() { return std::nullopt; }
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_STORE_H_
