// Block signatures and delta uploads over HTTP: DownLoadX serves the signature the delta
// writer makes of the same bytes, made once and gone with its document; a delta PUT made
// from it rebuilds the new content under a new version id, plain, enciphered or packed;
// and a delta the service must not apply (bad records, wrong sizes or digest, a cut
// body, another document's) changes nothing in the store or the blob folder.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_file.h"
#include "codec/transfer_cipher.h"
#include "codec/zip_archive.h"
#include "tests/service/upload_fixture.h"
#include "tests/support/raw_http_client.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

constexpr const char* kPath = "\\MyFiles\\Docs\\big.bin";

class DeltaTest : public UploadFixture {
 protected:
  RawHttpReply Signature(const std::string& vid) {
    return Command("DownLoadX", {{"X-NVX-LUPIN", "0," + vid + ";"}, {"X-NVX-FANG", "1,2,0,0,0"}});
  }
  // The signature body as the client keeps it: deciphered and cut to the announced length.
  std::string SignatureText(const RawHttpReply& reply) const {
    std::string fang = reply.Header("X-NVX-Fang").value_or("0,0,0");
    int64_t length = std::stoll(fang.substr(0, fang.find(',')));
    int64_t key = std::stoll(fang.substr(fang.find(',') + 1));
    std::string body = reply.body;
    if (encrypt_) {
      CipherForDownload(key).Decipher(body.data(), body.data(), body.size());
    }
    return body.substr(0, static_cast<size_t>(length));
  }
  std::string LocalSignature(const std::string& content) {
    std::string file = temp_.File("local");
    WriteFileText(file, content);
    std::string text;
    std::string error;
    EXPECT_TRUE(MakeSignature(file, kServiceSignatureBlockSize, &text, &error)) << error;
    return text;
  }
  // The delta of `content` against the document `vid` as the client makes it.
  std::string MakeDeltaFor(const std::string& vid, const std::string& content) {
    std::string local = temp_.File("new");
    std::string delta = temp_.File("diff.crc");
    WriteFileText(local, content);
    std::string message;
    EXPECT_TRUE(MakeDelta(SignatureText(Signature(vid)), local, delta, &message)) << message;
    return ReadFileText(delta);
  }
  HeaderList DeltaFor(const std::string& vid) const {
    return {{"X-NVX-LUPIN", "1," + vid + ";"}, {"X-NVX-BLACMANGE", docs_}};
  }
  std::vector<std::string> Blobs() { return ListFolder(data() + "/blobs"); }
  void SetEncrypt(bool on) {
    Admin({"account", "set", "alice", "--encrypt", on ? "on" : "off"});
    encrypt_ = on;
  }

  bool encrypt_ = false;
};

TEST_F(DeltaTest, TheSignatureIsMadeOnceAndGoesWithItsDocument) {
  const std::string content = Bytes(5000, 11);
  std::string vid = AddDocument("alice", kPath, content);
  std::string part =
      AddDocument("alice", "\\MyFiles\\Docs\\part.bin", "charlie", {"--incomplete", "3"});
  std::string empty = AddDocument("alice", "\\MyFiles\\Docs\\empty.bin", "");
  StartServer();
  for (bool encrypt : {false, true}) {
    SetEncrypt(encrypt);
    RawHttpReply reply = Signature(vid);
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
    EXPECT_EQ(SignatureText(reply), LocalSignature(content)) << encrypt;
  }
  // Served from the file kept beside the blob, not made again.
  std::string kept;
  for (const std::string& name : Blobs()) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".sig") == 0) kept = name;
  }
  ASSERT_FALSE(kept.empty());
  WriteFileText(data() + "/blobs/" + kept, "kept");
  SetEncrypt(false);
  EXPECT_EQ(Signature(vid).body, "kept");

  EXPECT_EQ(Signature(part).Header("X-NVX-CONCLUSION"), "Error - Document Incomplete");
  EXPECT_EQ(Signature(empty).Header("X-NVX-CONCLUSION"), "Error - No Signature");
  EXPECT_EQ(Signature("424242").Header("X-NVX-CONCLUSION"), "Error - Document Not Found");
  EXPECT_EQ(Command("DeleteDoc", {{"X-NVX-LUPIN", "0," + vid + ";"}}).Header("X-NVX-CONCLUSION"),
            "Successful");
  for (const std::string& name : Blobs()) EXPECT_NE(name, kept);
}

TEST_F(DeltaTest, ADeltaRebuildsTheNewVersion) {
  const std::string base = Bytes(10000, 12);
  std::string grown = base + Bytes(3000, 13);
  grown[4100] ^= 0x5A;  // one changed block in the middle
  const std::string shrunk = base.substr(0, 4096);
  const std::string small = "tiny";
  struct Case {
    const char* what;
    std::string content;
    bool encrypt;
    bool zipped;
    bool base_uploaded = false;  // the store keeps the base's bytes itself, not a file
  };
  const Case cases[] = {
      {"grown with a changed block", grown, false, false},
      {"cut to whole blocks", shrunk, false, false},
      {"smaller than a block", small, false, false},
      {"enciphered", grown, true, false},
      {"packed", grown, false, true},
      {"packed and enciphered", grown, true, true},
      {"against bytes the store keeps", grown, false, false, true},
  };
  StartServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetEncrypt(c.encrypt);
    std::string vid;
    if (c.base_uploaded) {
      ASSERT_EQ(Put("big.bin", InDocs(), base).Header("X-NVX-CONCLUSION"), "Successful");
      vid = List()["big.bin"].vid;
      EXPECT_EQ(InlineBlobs(data()).size(), 1u);
    } else {
      vid = AddDocument("alice", kPath, base);
    }
    std::string delta = MakeDeltaFor(vid, c.content);
    std::string query = "diff.crc";
    HeaderList headers = DeltaFor(vid);
    if (c.zipped) {
      std::string archive = temp_.File("diff.crc.zip");
      int error = 0;
      ASSERT_TRUE(ZipOneFile(temp_.File("diff.crc"), archive, &error));
      delta = ReadFileText(archive);
      query = "diff.crc.zip";
    }
    std::string fang = "1,2," + std::string(c.zipped ? "1" : "0") + ",0,0";
    if (c.encrypt) delta = Encipher(delta, 77, &fang);
    if (c.zipped && c.encrypt) fang.replace(fang.find(",0,0,"), 5, ",1,0,");
    headers.push_back({"X-NVX-FANG", fang});
    RawHttpReply put = Put(query, headers, delta);
    EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful");
    EXPECT_EQ(put.Header("X-NVX-LARCH"), "1000000," + std::to_string(c.content.size()));
    ListedDocument listed = List()["big.bin"];
    EXPECT_NE(listed.vid, vid);
    EXPECT_EQ(listed.md5, HexMd5(c.content));
    EXPECT_TRUE(Get(kPath) == c.content);
    EXPECT_EQ(List().count("diff.crc"), 0u);
    // The new version's blob only, and its signature once asked for.
    EXPECT_EQ(Blobs().size(), 1u);
    EXPECT_EQ(InlineBlobs(data()).size(), 0u);
    EXPECT_EQ(SignatureText(Signature(listed.vid)), LocalSignature(c.content));
  }
}

TEST_F(DeltaTest, ARefusedDeltaChangesNothing) {
  const std::string base = Bytes(5000, 14);
  std::string changed = base;
  changed[10] ^= 1;
  std::string vid = AddDocument("alice", kPath, base);
  std::string part =
      AddDocument("alice", "\\MyFiles\\Docs\\part.bin", "charlie", {"--incomplete", "3"});
  StartServer();
  const std::string good = MakeDeltaFor(vid, changed);
  const std::string header = good.substr(0, good.find(",0,", 40));
  auto block = [](size_t size) { return std::string(size, 'b'); };
  struct Case {
    const char* what;
    std::string body;
    std::string vid;
    std::string conclusion;
  };
  std::string wrong_digest = good;
  wrong_digest[header.size() - 1] = wrong_digest[header.size() - 1] == '0' ? '1' : '0';
  std::string other_base = "4999" + good.substr(4);
  const Case cases[] = {
      {"index past the new size", header + ",3," + block(2048) + "$", vid,
       "Error - Gen New From Diff Error"},
      {"tail record longer than the partial block", header + ",2," + block(2048) + "$", vid,
       "Error - Gen New From Diff Error"},
      {"record cut short", header + ",0," + block(100) + "$", vid,
       "Error - Gen New From Diff Error"},
      {"no end marker", good.substr(0, good.size() - 1), vid, "Error - Gen New From Diff Error"},
      {"wrong digest", wrong_digest, vid, "Error - Gen New From Diff Error"},
      {"made against another size", other_base, vid, "Error - Gen New From Diff Error"},
      {"not a delta", "d", vid, "Error - Gen New From Diff Error"},
      {"empty", "", vid, "Error - Gen New From Diff Error"},
      {"for an incomplete document", good, part, "Error - Gen New From Diff Error"},
      {"for an unknown document", good, "424242", "Error - Document Not Found"},
      {"larger than the quota allows", good + block(2000000), vid, "Error - Quota Exceeded"},
      {"rebuilding beyond the quota", "5000,2048000,2048,1000,0," + std::string(32, 'a') + "$", vid,
       "Error - Quota Exceeded"},
  };
  const std::vector<std::string> blobs = Blobs();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Put("diff.crc", DeltaFor(c.vid), c.body).Header("X-NVX-CONCLUSION"), c.conclusion);
    EXPECT_EQ(List()["big.bin"].vid, vid);
    EXPECT_EQ(Blobs(), blobs);
  }
  // A body that breaks off is never applied, and leaves no temporary file.
  {
    RawHttpConnection connection(port());
    ASSERT_TRUE(
        connection.Send(PutRequest("diff.crc", DeltaFor(vid), good.substr(0, good.size() / 2),
                                   static_cast<int64_t>(good.size()))));
  }
  for (int tries = 0; tries < 100 && Blobs() != blobs; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(Blobs(), blobs);
  EXPECT_TRUE(Get(kPath) == base);
  // The same delta whole is taken.
  EXPECT_EQ(Put("diff.crc", DeltaFor(vid), good).Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_TRUE(Get(kPath) == changed);
}

}  // namespace
}  // namespace nvx::test
