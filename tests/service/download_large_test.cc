// A document of more than 4 GiB downloads from a restart offset past the 4 GiB mark:
// the offset, the digest of the client's copy, the rest's length and the announced
// length all hold 64-bit values, plain and enciphered. The document is mostly a hole
// with random bytes after the mark; it is placed in the blob folder and recorded through
// the store directly, as copying it in would write 4 GiB. Built in the normal build only.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "codec/md5.h"
#include "codec/transfer_cipher.h"
#include "platform/file.h"
#include "service/store/sqlite_store.h"
#include "tests/service/upload_fixture.h"
#include "tests/support/login_token.h"
#include "tests/support/raw_http_client.h"

namespace nvx::test {
namespace {

constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr int64_t kTail = 5000;
constexpr int64_t kSize = kFourGiB + kTail;
// The client's copy ends on a 2048-byte block past the mark.
constexpr int64_t kCopy = kFourGiB + 2048;

class DownloadLargeTest : public UploadFixture {
 protected:
  // The MD5 of the document's first `count` bytes: zeros up to the mark, then the tail.
  static Md5Digest PrefixMd5(const std::string& tail, int64_t count) {
    // The zeros are digested once; each prefix goes on from a copy of that state.
    static const Md5Context zeros_digested = [] {
      Md5Context md5;
      Md5Init(md5);
      std::string zeros(1 << 20, '\0');
      for (int64_t left = kFourGiB; left > 0; left -= static_cast<int64_t>(zeros.size())) {
        Md5Update(md5, zeros.data(), zeros.size());
      }
      return md5;
    }();
    Md5Context md5 = zeros_digested;
    Md5Update(md5, tail.data(), static_cast<size_t>(count - kFourGiB));
    Md5Digest digest;
    Md5Final(md5, digest.data());
    return digest;
  }
  static std::string PrefixDigest(const std::string& tail, int64_t count) {
    Md5Digest digest = PrefixMd5(tail, count);
    return Base64Encode(std::string_view(reinterpret_cast<const char*>(digest.data()), 16));
  }

  // Records the sparse document in alice's \MyFiles\Docs; its version id.
  std::string PlaceDocument(const std::string& tail) {
    const std::string blob = "0000000000000000large.blob";
    std::filesystem::create_directories(data() + "/blobs");
    platform::File file =
        platform::File::Open(data() + "/blobs/" + blob, platform::File::Access::kCreateTruncate);
    EXPECT_TRUE(file.Truncate(kFourGiB) && file.Seek(kFourGiB) && file.Write(tail));
    service::SqliteStore store;
    std::string error;
    EXPECT_TRUE(store.Open(data() + "/nvx.db", data() + "/outbox", &error)) << error;
    std::optional<service::Account> account = store.FindAccount("alice");
    std::optional<service::Folder> folder =
        account ? store.FindFolderByPath(account->key, {"MyFiles", "Docs"}) : std::nullopt;
    if (!folder) return "";
    service::Store::UploadCommit commit;
    commit.document.folder = folder->id;
    commit.document.name = "large.bin";
    commit.document.size = commit.document.full_size = kSize;
    commit.document.date_stamp = "07D403050E0709";
    Md5Digest digest = PrefixMd5(tail, kSize);
    std::copy(digest.begin(), digest.end(), commit.document.digest.begin());
    commit.document.blob = blob;
    commit.check_quota = false;
    service::Document stored;
    std::vector<std::string> removed;
    EXPECT_EQ(store.CommitUpload(account->key, commit, &stored, &removed),
              service::StoreStatus::kOk);
    return std::to_string(stored.vid);
  }

  RawHttpReply Download(const std::string& vid, const std::string& restart2) {
    RawHttpConnection connection(port());
    EXPECT_TRUE(connection.Send(ScriptRequest(
        "GET", "DownLoad", {{"X-NVX-LUPIN", "0," + vid + ";"}, {"X-NVX-RESTART2", restart2}},
        MakeLoginToken("alice", "secret"))));
    // The service reads the whole copy's length to compare digests.
    return connection.ReadReply(false, 300000).value_or(RawHttpReply{});
  }
};

TEST_F(DownloadLargeTest, ARestartPastFourGiBSendsTheRest) {
  const std::string tail = Bytes(kTail, 5);
  Admin({"account", "set", "alice", "--quota", std::to_string(kSize * 2)});
  std::string vid = PlaceDocument(tail);
  ASSERT_FALSE(vid.empty());
  StartServer();
  const std::string copy_digest = PrefixDigest(tail, kCopy);
  const std::string restart2 = copy_digest + "," + std::to_string(kCopy) + "," + vid + ";";

  for (bool encrypt : {false, true}) {
    SCOPED_TRACE(encrypt ? "enciphered" : "plain");
    Admin({"account", "set", "alice", "--encrypt", encrypt ? "on" : "off"});
    RawHttpReply reply = Download(vid, restart2);
    EXPECT_TRUE(reply.Header("X-NVX-RESTART").has_value());
    std::string fang = reply.Header("X-NVX-Fang").value_or("");
    EXPECT_EQ(fang.substr(0, fang.find(',')), std::to_string(kSize));
    std::string body = reply.body;
    if (encrypt) {
      int64_t key = std::stoll(fang.substr(fang.find(',') + 1));
      CipherForDownload(key).Decipher(body.data(), body.data(), body.size());
      body.resize(static_cast<size_t>(kSize - kCopy));
    }
    EXPECT_TRUE(body == tail.substr(kCopy - kFourGiB));
  }
  // The whole copy is current.
  std::string whole = PrefixDigest(tail, kSize) + "," + std::to_string(kSize) + "," + vid + ";";
  EXPECT_EQ(Download(vid, whole).Header("X-NVX-CONCLUSION"), "UGOTIT");
}

}  // namespace
}  // namespace nvx::test
