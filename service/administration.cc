#include "service/administration.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "codec/md5.h"
#include "platform/clock.h"
#include "platform/directory_sync.h"
#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "service/data_folder.h"
#include "service/store/blob_bytes.h"
#include "service/store/service_limits.h"
#include "service/store_opening.h"
#include "wire/date_stamp.h"

namespace nvx::service {
namespace {

constexpr size_t kCopyPieceSize = 65536;

Digest PasswordDigest(const std::string& password) {
  Md5Digest digest = Md5Of(password);
  Digest result{};
  std::copy(digest.begin(), digest.end(), result.begin());
  return result;
}

int Failure(std::string* err, const std::string& message) {
  *err += message + "\n";
  return kExitFailed;
}

std::string AccountLine(const Account& account) {
  return StrFormat("%s\t%lld\t%lld\t%s\t%s\t%s\t%s\n", account.id.c_str(),
                   static_cast<long long>(account.quota), static_cast<long long>(account.used),
                   account.encrypt ? "encrypt" : "plain",
                   std::string(AccountStateName(account.state)).c_str(), account.email.c_str(),
                   account.admin_email.c_str());
}

int AddAccount(Store& store, const CommandLine& command, std::string* out, std::string* err) {
  Account account;
  account.id = command.account_id;
  account.password_digest = PasswordDigest(command.password.value_or(""));
  account.quota = command.changes.quota.value_or(kDefaultQuota);
  account.encrypt = command.changes.encrypt.value_or(false);
  switch (store.AddAccount(account)) {
    case StoreStatus::kOk:
      *out += "account " + account.id + " added\n";
      return kExitOk;
    case StoreStatus::kExists:
      return Failure(err, "account " + account.id + " exists already");
    default:
      return Failure(err, "cannot add the account: " + store.error_text());
  }
}

int SetAccount(Store& store, const CommandLine& command, std::string* out, std::string* err) {
  AccountChanges changes = command.changes;
  if (command.password) changes.password_digest = PasswordDigest(*command.password);
  switch (store.UpdateAccount(command.account_id, changes)) {
    case StoreStatus::kOk:
      *out += "account " + command.account_id + " changed\n";
      return kExitOk;
    case StoreStatus::kNotFound:
      return Failure(err, "no account " + command.account_id);
    default:
      return Failure(err, "cannot change the account: " + store.error_text());
  }
}

int ListAccounts(Store& store, std::string* out, std::string* err) {
  std::vector<Account> accounts;
  if (!store.ListAccounts(&accounts)) return Failure(err, store.error_text());
  for (const Account& account : accounts) *out += AccountLine(account);
  return kExitOk;
}

int AddFolder(Store& store, const Account& account, const CommandLine& command, std::string* out,
              std::string* err) {
  Folder folder;
  switch (
      store.AddFolderPath(account.key, command.path, command.access, command.compressed, &folder)) {
    case StoreStatus::kOk:
      *out += FolderIdText(folder) + "\n";
      return kExitOk;
    case StoreStatus::kExists:
      return Failure(err, "the folder exists already");
    case StoreStatus::kTooDeep:
      return Failure(err, StrFormat("the folder would lie too deep (at most %d levels)",
                                    kServiceFolderLevelsMax));
    default:
      return Failure(err, "cannot add the folder: " + store.error_text());
  }
}

int ListFolders(Store& store, const Account& account, std::string* out, std::string* err) {
  std::vector<Folder> folders;
  if (!store.ListFolders(account.key, &folders)) return Failure(err, store.error_text());
  for (const Folder& folder : folders) {
    *out += StrFormat("%d\t%s\t%c\t%s\n", folder.level, folder.name.c_str(), folder.access,
                      FolderIdText(folder).c_str());
  }
  return kExitOk;
}

// The folder a job names with `path`, found as the library finds it: below "MyFiles"
// first ("\Backup\src" is "\MyFiles\Backup\src", and "\MyFiles\Backup" names the
// same folder), then once more from the root for the other top-level folders.
std::optional<Folder> FindJobFolder(Store& store, int64_t account,
                                    const std::vector<std::string>& path) {
  std::optional<Folder> my_files = store.FindMyFiles(account);
  std::vector<std::string> current;  // the folder reached, from the root; empty: the root
  std::optional<Folder> folder;
  if (my_files) {
    current.push_back(my_files->name);
    folder = my_files;
  }
  bool restarted = false;
  for (size_t i = 0; i < path.size();) {
    current.push_back(path[i]);
    if (std::optional<Folder> child = store.FindFolderByPath(account, current)) {
      folder = child;
      ++i;
      continue;
    }
    current.pop_back();
    if (folder && !current.empty() && EqualsIgnoreCase(folder->name, path[i])) {
      ++i;
    } else if (!restarted) {
      restarted = true;
      current.clear();
      folder.reset();
    } else {
      return std::nullopt;
    }
  }
  if (current.empty()) return std::nullopt;
  return folder;
}

std::string PathText(const std::vector<std::string>& path) {
  std::string text;
  for (const std::string& name : path) text += "\\" + name;
  return text;
}

std::string HexOf(const Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

// The administrator sees every folder of the account, hidden ones too.
int ListDocumentsIn(Store& store, const Account& account, const CommandLine& command,
                    std::string* out, std::string* err) {
  std::optional<Folder> folder = FindJobFolder(store, account.key, command.path);
  if (!folder) return Failure(err, "no folder " + PathText(command.path) + " in " + account.id);
  std::vector<Document> documents;
  if (!store.ListDocuments(folder->id, &documents)) return Failure(err, store.error_text());
  for (const Document& document : documents) {
    *out += StrFormat("%s\t%lld\t%s\t%s\t%s\t%lld\n", document.name.c_str(),
                      static_cast<long long>(document.size), document.date_stamp.c_str(),
                      HexOf(document.digest).c_str(), document.complete ? "complete" : "incomplete",
                      static_cast<long long>(document.vid));
  }
  return kExitOk;
}

using ByteSink = std::function<bool(const char* data, size_t size)>;

// Copies the stored bytes of `document` to `sink`, checking them against the size and MD5
// the store keeps, so a damaged blob is reported rather than handed out as the document.
// Nothing on success; otherwise why it failed.
std::string CopyStoredBytes(Store& store, const BlobStore& blobs, const Document& document,
                            const ByteSink& sink) {
  BlobBytes bytes(store, blobs, document.blob);
  platform::File& source = bytes.file();
  if (!source.is_open()) {
    return "cannot read the stored bytes: " + platform::ErrorText(source.error());
  }
  // A blob may hold more bytes than its document after a crash in mid-upload; only the
  // first `size` belong to the document.
  if (source.Size() < document.size) return "the stored bytes are damaged (wrong size)";
  Md5Context md5;
  Md5Init(md5);
  std::vector<char> piece(kCopyPieceSize);
  for (int64_t left = document.size; left > 0;) {
    size_t count = static_cast<size_t>(std::min<int64_t>(left, kCopyPieceSize));
    if (source.ReadFully(piece.data(), count) != static_cast<int64_t>(count)) {
      return "cannot read the stored bytes: " + platform::ErrorText(source.error());
    }
    Md5Update(md5, piece.data(), count);
    if (!sink(piece.data(), count)) return "cannot write the document";
    left -= static_cast<int64_t>(count);
  }
  Digest digest{};
  Md5Final(md5, digest.data());
  if (digest != document.digest) return "the stored bytes are damaged (MD5 differs)";
  return {};
}

// Writes the document to `path` through a temporary file beside it, renamed only once
// every byte is checked and flushed: a failed get leaves `path` as it was.
std::string WriteDocumentFile(Store& store, const BlobStore& blobs, const Document& document,
                              const std::string& path) {
  std::string temporary = path + "." + RandomFileName(".tmp");
  platform::File target = platform::File::Open(temporary, platform::File::Access::kCreateTruncate);
  if (!target.is_open()) {
    return "cannot write " + path + ": " + platform::ErrorText(target.error());
  }
  std::string problem = CopyStoredBytes(store, blobs, document, [&](const char* data, size_t size) {
    return target.WriteAll(data, size);
  });
  int error = 0;
  if (problem.empty() && !target.Sync()) problem = "cannot write " + path;
  target.Close();
  if (problem.empty() && !platform::RenameFile(temporary, path, &error)) {
    problem = "cannot write " + path + ": " + platform::ErrorText(error);
  }
  if (!problem.empty()) {
    platform::RemoveFile(temporary);
    return problem;
  }
  std::string folder = std::filesystem::path(path).parent_path().string();
  platform::SyncDirectory(folder.empty() ? "." : folder);
  return {};
}

std::string WriteDocumentToStandardOutput(Store& store, const BlobStore& blobs,
                                          const Document& document) {
  std::string problem = CopyStoredBytes(store, blobs, document, [](const char* data, size_t size) {
    return std::fwrite(data, 1, size, stdout) == size;
  });
  if (std::fflush(stdout) != 0 && problem.empty()) problem = "cannot write standard output";
  return problem;
}

int GetDocument(Store& store, const BlobStore& blobs, const Account& account,
                const CommandLine& command, std::string* err) {
  std::vector<std::string> folder_path(command.path.begin(), command.path.end() - 1);
  std::optional<Folder> folder = FindJobFolder(store, account.key, folder_path);
  if (!folder) return Failure(err, "no folder " + PathText(folder_path) + " in " + account.id);
  std::optional<Document> document = store.FindDocumentByName(folder->id, command.path.back());
  if (!document) return Failure(err, "no document " + PathText(command.path) + " in " + account.id);
  std::string problem = command.file.empty()
                            ? WriteDocumentToStandardOutput(store, blobs, *document)
                            : WriteDocumentFile(store, blobs, *document, command.file);
  if (!problem.empty()) return Failure(err, PathText(command.path) + ": " + problem);
  return kExitOk;
}

}  // namespace

int ImportDocument(Store& store, const BlobStore& blobs, const Account& account,
                   const CommandLine& command, int64_t* vid, std::string* err) {
  std::vector<std::string> folder_path(command.path.begin(), command.path.end() - 1);
  std::optional<Folder> folder = FindJobFolder(store, account.key, folder_path);
  if (!folder) return Failure(err, "no such folder");
  platform::File file = platform::File::Open(command.file, platform::File::Access::kRead);
  int64_t full_size = file.is_open() ? file.Size() : -1;
  if (full_size < 0) {
    return Failure(err, "cannot read " + command.file + ": " + platform::ErrorText(file.error()));
  }
  int64_t wanted = command.incomplete_bytes.value_or(full_size);
  if (wanted > full_size) {
    *err += "--incomplete is larger than the file\n";
    return kExitBadArguments;
  }
  BlobWriter writer(blobs);
  Md5Context md5;
  Md5Init(md5);
  std::vector<char> piece(kCopyPieceSize);
  for (int64_t left = wanted; left > 0 && writer.ok();) {
    size_t count = static_cast<size_t>(std::min<int64_t>(left, kCopyPieceSize));
    if (file.ReadFully(piece.data(), count) != static_cast<int64_t>(count)) {
      return Failure(err, "cannot read " + command.file);
    }
    Md5Update(md5, piece.data(), count);
    writer.Write(piece.data(), count);
    left -= static_cast<int64_t>(count);
  }
  Document document;
  Md5Final(md5, document.digest.data());
  document.folder = folder->id;
  document.name = command.path.back();
  document.size = wanted;
  document.full_size = full_size;
  document.complete = !command.incomplete_bytes;
  document.date_stamp = command.date_stamp.value_or(
      FormatDateStamp(platform::GetClock().NowSeconds()).value_or(std::string()));
  if (!writer.Finish(&document.blob)) {
    return Failure(err, "cannot write the document: " + platform::ErrorText(writer.error()));
  }
  Document stored;
  std::string replaced;
  if (store.PutDocument(account.key, document, false, &stored, &replaced) != StoreStatus::kOk) {
    blobs.Remove(document.blob);
    return Failure(err, "cannot store the document: " + store.error_text());
  }
  blobs.Remove(replaced);
  *vid = stored.vid;
  return kExitOk;
}

int RunAdministration(const CommandLine& command, std::string* out, std::string* err) {
  DataFolder folder;
  std::string error;
  if (!PrepareDataFolder(command.data_folder, &folder, &error)) return Failure(err, error);
  OpenedStore opened;
  if (!OpenStore(command.store, folder, &opened, &error)) {
    return Failure(err, "cannot open the store: " + error);
  }
  Store& store = *opened.store;
  BlobStore blobs(opened.blobs_folder, store.BlobNamePrefix());
  using Action = CommandLine::Action;
  switch (command.action) {
    case Action::kAccountAdd:
      return AddAccount(store, command, out, err);
    case Action::kAccountSet:
      return SetAccount(store, command, out, err);
    case Action::kAccountList:
      return ListAccounts(store, out, err);
    default:
      break;
  }
  std::optional<Account> account = store.FindAccount(command.account_id);
  if (!account) return Failure(err, "no account " + command.account_id);
  switch (command.action) {
    case Action::kFolderAdd:
      return AddFolder(store, *account, command, out, err);
    case Action::kFolderList:
      return ListFolders(store, *account, out, err);
    case Action::kDocumentAdd: {
      int64_t vid = 0;
      int code = ImportDocument(store, blobs, *account, command, &vid, err);
      if (code == kExitOk) *out += StrFormat("%lld\n", static_cast<long long>(vid));
      return code;
    }
    case Action::kDocumentList:
      return ListDocumentsIn(store, *account, command, out, err);
    case Action::kDocumentGet:
      return GetDocument(store, blobs, *account, command, err);
    default:
      return Failure(err, "not an administration command");
  }
}

}  // namespace nvx::service
