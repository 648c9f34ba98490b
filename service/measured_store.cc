#include "service/measured_store.h"

#include <chrono>

namespace nvx::service {

template <typename Call>
auto MeasuredStore::Timed(Call&& call) -> decltype(call()) {
  // Durations only: the steady clock of the standard library, never the replaceable
  // clock that tests move.
  auto start = std::chrono::steady_clock::now();
  struct Observer {
    LatencyHistogram& latency;
    std::chrono::steady_clock::time_point start;
    ~Observer() {
      latency.Observe(std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count());
    }
  } observer{latency_, start};
  return call();
}

std::string MeasuredStore::error_text() {
  return store_.error_text();
}

StoreStatus MeasuredStore::AddAccount(const Account& account) {
  return Timed([&] { return store_.AddAccount(account); });
}

StoreStatus MeasuredStore::UpdateAccount(std::string_view id, const AccountChanges& changes) {
  return Timed([&] { return store_.UpdateAccount(id, changes); });
}

std::optional<Account> MeasuredStore::FindAccount(std::string_view id) {
  return Timed([&] { return store_.FindAccount(id); });
}

bool MeasuredStore::ListAccounts(std::vector<Account>* accounts) {
  return Timed([&] { return store_.ListAccounts(accounts); });
}

StoreStatus MeasuredStore::RecomputeUsed(int64_t account, int64_t* used) {
  return Timed([&] { return store_.RecomputeUsed(account, used); });
}

bool MeasuredStore::ListFolders(int64_t account, std::vector<Folder>* folders) {
  return Timed([&] { return store_.ListFolders(account, folders); });
}

std::optional<Folder> MeasuredStore::FindFolder(int64_t account, int64_t id) {
  return Timed([&] { return store_.FindFolder(account, id); });
}

std::optional<Folder> MeasuredStore::FindMyFiles(int64_t account) {
  return Timed([&] { return store_.FindMyFiles(account); });
}

std::optional<Folder> MeasuredStore::FindFolderByPath(int64_t account,
                                                      const std::vector<std::string>& path) {
  return Timed([&] { return store_.FindFolderByPath(account, path); });
}

char MeasuredStore::EffectiveAccess(const Folder& folder) {
  return Timed([&] { return store_.EffectiveAccess(folder); });
}

StoreStatus MeasuredStore::CreateFolder(int64_t account, int64_t parent, std::string_view name,
                                        Folder* folder, bool* created) {
  return Timed([&] { return store_.CreateFolder(account, parent, name, folder, created); });
}

StoreStatus MeasuredStore::AddFolderPath(int64_t account, const std::vector<std::string>& path,
                                         char access, bool compressed, Folder* folder) {
  return Timed([&] { return store_.AddFolderPath(account, path, access, compressed, folder); });
}

StoreStatus MeasuredStore::DeleteEmptyFoldersBelow(int64_t account, int64_t id, int* deleted) {
  return Timed([&] { return store_.DeleteEmptyFoldersBelow(account, id, deleted); });
}

StoreStatus MeasuredStore::DeleteFolderTree(int64_t account, int64_t id,
                                            std::vector<std::string>* blobs) {
  return Timed([&] { return store_.DeleteFolderTree(account, id, blobs); });
}

bool MeasuredStore::ListDocuments(int64_t folder, std::vector<Document>* documents) {
  return Timed([&] { return store_.ListDocuments(folder, documents); });
}

bool MeasuredStore::ListBlobNames(std::vector<std::string>* blobs) {
  return Timed([&] { return store_.ListBlobNames(blobs); });
}

StoreStatus MeasuredStore::CountDocuments(int64_t folder, int64_t* count) {
  return Timed([&] { return store_.CountDocuments(folder, count); });
}

std::optional<Document> MeasuredStore::FindDocument(int64_t account, int64_t vid) {
  return Timed([&] { return store_.FindDocument(account, vid); });
}

std::optional<Document> MeasuredStore::FindDocumentByName(int64_t folder, std::string_view name) {
  return Timed([&] { return store_.FindDocumentByName(folder, name); });
}

StoreStatus MeasuredStore::PutDocument(int64_t account, const Document& document, bool check_quota,
                                       Document* stored, std::string* replaced_blob) {
  return Timed(
      [&] { return store_.PutDocument(account, document, check_quota, stored, replaced_blob); });
}

StoreStatus MeasuredStore::DeleteDocument(int64_t account, int64_t vid, std::string* blob) {
  return Timed([&] { return store_.DeleteDocument(account, vid, blob); });
}

StoreStatus MeasuredStore::CompleteDocument(int64_t account, int64_t vid, bool as_stored) {
  return Timed([&] { return store_.CompleteDocument(account, vid, as_stored); });
}

StoreStatus MeasuredStore::CommitUpload(int64_t account, const UploadCommit& commit,
                                        Document* stored, std::vector<std::string>* removed_blobs,
                                        UploadCommitted* committed) {
  return Timed(
      [&] { return store_.CommitUpload(account, commit, stored, removed_blobs, committed); });
}

std::unique_ptr<UploadClaim> MeasuredStore::ReserveUpload(const Account& account, int64_t change) {
  return Timed([&] { return store_.ReserveUpload(account, change); });
}

std::optional<int64_t> MeasuredStore::UploadRoom(const Account& account) {
  return Timed([&] { return store_.UploadRoom(account); });
}

StoreStatus MeasuredStore::ClaimWriter(int64_t vid, std::unique_ptr<WriterClaim>* claim) {
  return Timed([&] { return store_.ClaimWriter(vid, claim); });
}

bool MeasuredStore::KeepsInlineBlobs() {
  return store_.KeepsInlineBlobs();
}

std::optional<std::string> MeasuredStore::ReadInlineBlob(const std::string& blob) {
  return Timed([&] { return store_.ReadInlineBlob(blob); });
}

std::string MeasuredStore::BlobNamePrefix() {
  return store_.BlobNamePrefix();
}

bool MeasuredStore::RemoveClaimsOfEndedProcesses() {
  return Timed([&] { return store_.RemoveClaimsOfEndedProcesses(); });
}

OutboxResult MeasuredStore::PostMessage(const OutboxMessage& message, std::string* file_name) {
  OutboxResult result = Timed([&] { return store_.PostMessage(message, file_name); });
  if (result == OutboxResult::kWritten && posted_) posted_();
  return result;
}

bool MeasuredStore::ListPendingMessages(size_t max, std::vector<PendingMessage>* messages) {
  return Timed([&] { return store_.ListPendingMessages(max, messages); });
}

bool MeasuredStore::MarkMessageDelivered(std::string_view id) {
  return Timed([&] { return store_.MarkMessageDelivered(id); });
}

bool MeasuredStore::MarkMessageRefused(std::string_view id, std::string_view answer) {
  return Timed([&] { return store_.MarkMessageRefused(id, answer); });
}

std::optional<int64_t> MeasuredStore::CountPendingMessages() {
  return Timed([&] { return store_.CountPendingMessages(); });
}

}  // namespace nvx::service
