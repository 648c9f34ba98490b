// The service's metadata store: accounts, their folder trees and the documents in them,
// kept in DIR/nvx.db (SQLite, write-ahead log). Every change is one transaction, so a
// crash loses at most the change in flight; the documents' bytes live in DIR/blobs
// (BlobStore) and are named by the `blob` field.
//
// One Store is shared by all connection threads of a server. Each call leases a database
// connection of its own, so readers never wait for each other or for the writer; calls
// that change the store are serialised among themselves, and every call is short (bytes
// never move inside a call, and no call walks the tree with a query per folder). Other
// processes (administration commands) may use the same database at the same time.
//
// Folder access is one rule for every command: a folder is hidden when it or any folder
// above it has no access (N); a hidden folder and everything in it behaves as if it did
// not exist. Otherwise a folder's own access says whether it may be changed (W) or only
// read (V).
#ifndef NVX_SERVICE_STORE_STORE_H_
#define NVX_SERVICE_STORE_STORE_H_

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/store/database_pool.h"
#include "service/store/sqlite_db.h"

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
  kFailed,   // the database failed; error_text() tells why
};

class Store {
 public:
  Store() = default;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Opens or creates the database file `path`. False with a message on failure.
  bool Open(const std::string& path, std::string* error);
  std::string error_text();

  // Accounts. AddAccount also creates the account's "MyFiles" folder.
  StoreStatus AddAccount(const Account& account);
  StoreStatus UpdateAccount(std::string_view id, const AccountChanges& changes);
  std::optional<Account> FindAccount(std::string_view id);
  bool ListAccounts(std::vector<Account>* accounts);
  // Sets the space used to the sum of the stored documents' sizes.
  StoreStatus RecomputeUsed(int64_t account, int64_t* used);

  // Folders. ListFolders gives the tree depth first: "MyFiles", then the other top-level
  // folders, siblings by name.
  bool ListFolders(int64_t account, std::vector<Folder>* folders);
  std::optional<Folder> FindFolder(int64_t account, int64_t id);
  std::optional<Folder> FindMyFiles(int64_t account);
  // A folder path from the top level, one name per component.
  std::optional<Folder> FindFolderByPath(int64_t account, const std::vector<std::string>& path);
  // The access that applies to the folder: kAccessNone when it or a folder above it has
  // none, else its own. One query, however deep the folder lies.
  char EffectiveAccess(const Folder& folder);
  bool IsHidden(const Folder& folder) { return EffectiveAccess(folder) == kAccessNone; }
  // Creates `name` below `parent`, or finds it (any letter case); the parent must be
  // visible (else kNotFound) and allow writing, and the new folder may not lie deeper
  // than the limit. `created` tells which happened.
  StoreStatus CreateFolder(int64_t account, int64_t parent, std::string_view name, Folder* folder,
                           bool* created);
  // Creates every missing folder of `path`; the last one gets `access` and is compressed
  // when asked or when its parent is. kExists when the last one exists already;
  // kTooDeep for a path over the limit.
  StoreStatus AddFolderPath(int64_t account, const std::vector<std::string>& path, char access,
                            bool compressed, Folder* folder);
  // Deletes the empty writable folders in writable parents below `id`, deepest first,
  // not `id` itself; hidden subtrees are left alone.
  StoreStatus DeleteEmptyFoldersBelow(int64_t account, int64_t id, int* deleted);
  // Deletes the folder with its documents and everything below it. The blobs that are no
  // longer referenced are returned for removal.
  StoreStatus DeleteFolderTree(int64_t account, int64_t id, std::vector<std::string>* blobs);

  // Documents.
  bool ListDocuments(int64_t folder, std::vector<Document>* documents);
  // The blob names that documents name, of every account.
  bool ListBlobNames(std::vector<std::string>* blobs);
  StoreStatus CountDocuments(int64_t folder, int64_t* count);
  std::optional<Document> FindDocument(int64_t account, int64_t vid);
  std::optional<Document> FindDocumentByName(int64_t folder, std::string_view name);
  // Stores `document` under a new version id, replacing the document of the same name in
  // its folder (whose blob is returned in `replaced_blob`). With `check_quota` the space
  // used may not rise above the quota.
  StoreStatus PutDocument(int64_t account, const Document& document, bool check_quota,
                          Document* stored, std::string* replaced_blob);
  // Documents in a hidden folder are kNotFound; in a view-only folder kAccessDenied.
  StoreStatus DeleteDocument(int64_t account, int64_t vid, std::string* blob);
  // Marks an incomplete document complete when it holds all its bytes (kIncomplete when
  // it does not); a complete document stays as it is. With `as_stored` the stored bytes
  // are the whole document whatever size was announced (the client showed that its file
  // equals them). Folder access as for deletion.
  StoreStatus CompleteDocument(int64_t account, int64_t vid, bool as_stored = false);
  // Takes in what an upload wrote (see UploadCommit) in one transaction: the document
  // goes into its folder, replacing the document it continues or replaces and any other
  // of the same name there. The folder must be visible and writable. kChanged when the
  // document it takes the place of is gone or has other bytes by now; kQuotaExceeded when
  // `check_quota` and the space used would rise above the quota. The blobs no document
  // names any more go to `removed_blobs`, for the caller to remove; `used_change`, when
  // given, receives how far the space used moved.
  struct UploadCommit {
    Document document;         // vid is ignored unless keep_vid
    int64_t replaces_vid = 0;  // 0: none
    std::string replaces_blob;
    bool keep_vid = false;  // a continuation keeps the version id it continues
    bool check_quota = true;
  };
  StoreStatus CommitUpload(int64_t account, const UploadCommit& commit, Document* stored,
                           std::vector<std::string>* removed_blobs, int64_t* used_change = nullptr);

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
  // kOk when the document's folder may be changed (see DeleteDocument).
  static StoreStatus DocumentChangeAllowed(Database& db, int64_t account, const Document& document);

  DatabasePool pool_;
  // Held by every call that changes the store, for the length of its transaction.
  std::mutex write_mutex_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_STORE_H_
