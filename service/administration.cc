#include "service/administration.h"

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/text_format.h"
#include "service/data_folder.h"
#include "service/date_stamp.h"
#include "service/service_limits.h"
#include "transfer/md5.h"

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

}  // namespace

int ImportDocument(Store& store, const BlobStore& blobs, const Account& account,
                   const CommandLine& command, int64_t* vid, std::string* err) {
  std::vector<std::string> folder_path(command.path.begin(), command.path.end() - 1);
  std::optional<Folder> folder = store.FindFolderByPath(account.key, folder_path);
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
  document.date_stamp = command.date_stamp.value_or(DateStampOf(platform::GetClock().NowSeconds()));
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
  Store store;
  if (!store.Open(folder.database, &error)) return Failure(err, "cannot open the store: " + error);
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
      BlobStore blobs(folder.blobs);
      int64_t vid = 0;
      int code = ImportDocument(store, blobs, *account, command, &vid, err);
      if (code == kExitOk) *out += StrFormat("%lld\n", static_cast<long long>(vid));
      return code;
    }
    default:
      return Failure(err, "not an administration command");
  }
}

}  // namespace nvx::service
