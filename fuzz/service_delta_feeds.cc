#include "fuzz/service_delta_feeds.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "codec/md5.h"
#include "platform/file.h"
#include "service/commands/delta_upload.h"
#include "service/store/blob_store.h"
#include "service/store/sqlite_store.h"

namespace nvx::fuzz {
namespace {

using service::Account;
using service::BlobStore;
using service::Document;
using service::SqliteStore;
using service::Store;

constexpr size_t kKeyIndex = 77;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "service delta feed invariant broken: %s\n", what);
    abort();
  }
}

// The store, blob folder and account of the feeds, in a temporary folder removed with
// what it holds when the process ends.
struct FeedService {
  FeedService() {
    const char* tmp = getenv("TMPDIR");
    folder =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/nvx-service-feeds-XXXXXX";
    Check(mkdtemp(folder.data()) != nullptr, "temporary folder");
    std::filesystem::create_directory(folder + "/blobs");
    blobs = std::make_unique<BlobStore>(folder + "/blobs");
    std::string error;
    Check(store.Open(folder + "/nvx.db", folder + "/outbox", &error), "store");
    Account added;
    added.id = "fuzz";
    added.quota = int64_t{1} << 30;
    Check(store.AddAccount(added) == service::StoreStatus::kOk, "account");
    account = *store.FindAccount("fuzz");
    base = StoreBase();
  }
  ~FeedService() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  // Stores the base document (again), replacing what a feed made of it.
  Document StoreBase() {
    service::BlobWriter writer(*blobs);
    const std::string& bytes = ServiceDeltaBase();
    Document document;
    Check(writer.Write(bytes.data(), bytes.size()) && writer.Finish(&document.blob), "base blob");
    document.folder = store.FindMyFiles(account.key)->id;
    document.name = "base.bin";
    document.size = document.full_size = static_cast<int64_t>(bytes.size());
    document.date_stamp = "07D403050E0709";
    Md5Digest digest = Md5Of(bytes);
    std::copy(digest.begin(), digest.end(), document.digest.begin());
    Store::UploadCommit commit;
    commit.document = document;
    if (std::optional<Document> old = store.FindDocumentByName(document.folder, document.name)) {
      commit.replaces_vid = old->vid;
      commit.replaces_blob = old->blob;
    }
    Document stored;
    std::vector<std::string> removed;
    Check(store.CommitUpload(account.key, commit, &stored, &removed) == service::StoreStatus::kOk,
          "base document");
    for (const std::string& blob : removed) blobs->Remove(blob);
    return stored;
  }

  std::vector<std::string> BlobFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(blobs->folder())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string folder;
  SqliteStore store;
  std::unique_ptr<BlobStore> blobs;
  Account account;
  Document base;
};

FeedService& Service() {
  static FeedService service;
  return service;
}

std::string ReadWhole(const std::string& path) {
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  int64_t size = file.Size();
  Check(size >= 0, "stored blob");
  std::string bytes(static_cast<size_t>(size), '\0');
  Check(file.ReadFully(bytes.data(), bytes.size()) == size, "stored blob read");
  return bytes;
}

}  // namespace

const std::string& ServiceDeltaBase() {
  static const std::string base = [] {
    std::string text(5000, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>((i * 167) ^ (i >> 3));
    return text;
  }();
  return base;
}

std::string FeedServiceDelta(const uint8_t* data, size_t size) {
  FeedService& feed = Service();
  uint8_t mode = size > 0 ? data[0] : 0;
  size_t piece = size > 1 ? std::max<size_t>(data[1], 1) : 1;
  std::string_view body(reinterpret_cast<const char*>(data) + std::min<size_t>(size, 2),
                        size - std::min<size_t>(size, 2));
  service::DeltaBody delta;
  delta.archive = (mode & 1) != 0;
  delta.plain_length = static_cast<int64_t>(body.size());
  if ((mode & 2) != 0) {
    // The bytes are taken as the ciphertext of whole blocks.
    body = body.substr(0, body.size() / 8 * 8);
    delta.plain_length = static_cast<int64_t>(body.size()) - (mode >> 5);
    delta.plain_length = std::max<int64_t>(delta.plain_length, 0);
    delta.key_index = kKeyIndex;
  }

  service::IncomingRequest request;
  request.method = "PUT";
  request.read_body = [body, piece](const service::BodyPieceSink& sink) {
    for (size_t at = 0; at < body.size(); at += piece) {
      if (!sink(body.data() + at, std::min(piece, body.size() - at))) return false;
    }
    return true;
  };
  service::Reply reply;
  service::ServiceEnvironment environment{feed.store, *feed.blobs, feed.folder + "/web"};
  service::CommandContext context{environment, feed.account, request, reply};
  const std::vector<std::string> before = feed.BlobFolder();
  service::ApplyDeltaUpload(context, feed.base, delta, "07D403050E0709");
  std::string conclusion(reply.conclusion());

  if (conclusion != service::kSuccessful) {
    std::optional<Document> kept = feed.store.FindDocument(feed.account.key, feed.base.vid);
    Check(kept && kept->blob == feed.base.blob, "a refused delta changed the document");
    Check(feed.BlobFolder() == before, "a refused delta left a file in the blob folder");
    return conclusion;
  }
  std::optional<Document> made = feed.store.FindDocumentByName(feed.base.folder, feed.base.name);
  Check(made && made->vid != feed.base.vid, "an applied delta made no new version");
  std::string bytes = ReadWhole(feed.blobs->PathOf(made->blob));
  Md5Digest digest = Md5Of(bytes);
  Check(static_cast<int64_t>(bytes.size()) == made->size &&
            std::equal(digest.begin(), digest.end(), made->digest.begin()),
        "an applied delta stored other bytes than it recorded");
  Check(feed.store.FindDocument(feed.account.key, feed.base.vid) == std::nullopt,
        "the base version outlived its patch");
  feed.base = feed.StoreBase();
  return conclusion;
}

}  // namespace nvx::fuzz
