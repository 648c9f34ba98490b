// The store as a serving nvxserver uses it: every call goes to the real store (the
// embedded one or another) and its duration counts in the metrics page's store latency;
// a message posted to the outbox is told to whoever delivers mail. Adds no state of its
// own, so it is as safe for concurrent use as the store it wraps. The claims an upload
// makes (ReserveUpload, ClaimWriter) are the real store's, handed through.
#ifndef NVX_SERVICE_MEASURED_STORE_H_
#define NVX_SERVICE_MEASURED_STORE_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/http/service_metrics.h"
#include "service/store/store.h"

namespace nvx::service {

class MeasuredStore final : public Store {
 public:
  // `store` and `latency` must outlive this object; `posted` (when set) is called after
  // each message the outbox took, on the posting thread.
  MeasuredStore(Store& store, LatencyHistogram& latency, std::function<void()> posted = nullptr)
      : store_(store), latency_(latency), posted_(std::move(posted)) {}

  std::string error_text() override;
  std::unique_ptr<HeldReads> HoldReads() override { return store_.HoldReads(); }
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
  bool KeepsInlineBlobs() override;
  std::optional<std::string> ReadInlineBlob(const std::string& blob) override;
  std::string BlobNamePrefix() override;
  bool RemoveClaimsOfEndedProcesses() override;
  OutboxResult PostMessage(const OutboxMessage& message, std::string* file_name) override;
  bool ListPendingMessages(size_t max, std::vector<PendingMessage>* messages) override;
  bool MarkMessageDelivered(std::string_view id) override;
  bool MarkMessageRefused(std::string_view id, std::string_view answer) override;
  std::optional<int64_t> CountPendingMessages() override;
  std::optional<SharedSyncCounts> CountSharedSyncs() override { return store_.CountSharedSyncs(); }

 private:
  // Runs `call` on the real store and counts its duration.
  template <typename Call>
  auto Timed(Call&& call) -> decltype(call());

  Store& store_;
  LatencyHistogram& latency_;
  const std::function<void()> posted_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_MEASURED_STORE_H_
