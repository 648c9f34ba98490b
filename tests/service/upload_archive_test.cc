// Uploads whose body is a one-entry ZIP archive: the document is the entry, under the
// file name without ".zip"; an archive that is broken stores nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "codec/zip_archive.h"
#include "tests/service/upload_fixture.h"

namespace nvx::test {
namespace {

class UploadArchiveTest : public UploadFixture {
 protected:
  // `content` packed as the client packs a file before it travels.
  std::string Zipped(const std::string& content) {
    std::string source = temp_.File("source");
    std::string archive = temp_.File("source.zip");
    WriteFileText(source, content);
    int error = 0;
    EXPECT_TRUE(ZipOneFile(source, archive, &error)) << error;
    return ReadFileText(archive);
  }
  static std::string Fang(const std::string& body, size_t unpacked) {
    return std::to_string(body.size()) + ",0,1,1," + std::to_string(unpacked);
  }
};

TEST_F(UploadArchiveTest, TheFirstEntryIsStoredUnderTheNameWithoutZip) {
  Admin({"account", "set", "alice", "--quota", "100000000"});
  StartServer();
  std::string text;
  for (int line = 0; text.size() < 300000; ++line) text += "line " + std::to_string(line) + "\n";
  const std::string random = Bytes(70000, 11);
  struct Case {
    std::string query;
    std::string stored;
    std::string content;
  };
  const Case cases[] = {
      {"report.txt.zip", "report.txt", text},
      {"Report.TXT.ZIP", "Report.TXT", random},
      {"plain", "plain", "short"},
      {"empty.zip", "empty", ""},
  };
  for (const Case& c : cases) {
    std::string body = Zipped(c.content);
    RawHttpReply put = Put(c.query,
                           {{"X-NVX-FANG", Fang(body, c.content.size())},
                            {"X-NVX-BLACMANGE", docs_},
                            {"X-NVX-DINSDALE", "07D403050E0709"}},
                           body);
    EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful") << c.query;
    ListedDocument listed = List()[c.stored];
    EXPECT_EQ(listed.size, static_cast<int64_t>(c.content.size())) << c.query;
    EXPECT_EQ(listed.md5, HexMd5(c.content)) << c.query;
    EXPECT_EQ(listed.date_stamp, "07D403050E0709");
    EXPECT_EQ(Get("\\MyFiles\\Docs\\" + c.stored), c.content) << c.query;
  }
  EXPECT_EQ(List().size(), 4u);
  EXPECT_EQ(TemporaryCount(), 0u);
  EXPECT_EQ(BlobCount(), 4u);

  // A replacement by version id, enciphered this time.
  Admin({"account", "set", "alice", "--encrypt", "on"});
  std::string vid = List()["report.txt"].vid;
  std::string zipped = Zipped(random);
  std::string fang;
  std::string body = Encipher(zipped, 123, &fang);
  fang =
      fang.substr(0, fang.find(',', fang.find(',') + 1)) + ",1,1," + std::to_string(random.size());
  RawHttpReply put = Put(
      "report.txt.zip",
      {{"X-NVX-LUPIN", "0," + vid + ";"}, {"X-NVX-FANG", fang}, {"X-NVX-BLACMANGE", docs_}}, body);
  EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_NE(List()["report.txt"].vid, vid);
  EXPECT_EQ(Get("\\MyFiles\\Docs\\report.txt"), random);
  EXPECT_EQ(BlobCount(), 4u);
}

TEST_F(UploadArchiveTest, BrokenArchivesStoreNothing) {
  std::string kept = AddDocument("alice", "\\MyFiles\\Docs\\data.bin", "kept");
  StartServer();
  const std::string content = Bytes(20000, 12);
  std::string good = Zipped(content);
  std::string flipped = good;
  flipped[good.size() / 2] = static_cast<char>(flipped[good.size() / 2] ^ 0x55);
  struct Case {
    const char* label;
    std::string body;
  };
  const Case cases[] = {
      {"not an archive", "PK\x03\x04 but nothing after"},
      {"a byte flipped in the entry", flipped},
      {"cut short", good.substr(0, good.size() - 30)},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    RawHttpReply put = Put(
        "data.bin.zip", {{"X-NVX-FANG", Fang(c.body, 20000)}, {"X-NVX-BLACMANGE", docs_}}, c.body);
    EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Error - Invalid Archive") << c.label;
    EXPECT_EQ(put.Header("X-NVX-LARCH"), "1000000,4") << c.label;
    EXPECT_EQ(List()["data.bin"].vid, kept) << c.label;
  }
  EXPECT_EQ(Get("\\MyFiles\\Docs\\data.bin"), "kept");
  EXPECT_EQ(ListFolder(data() + "/blobs").size(), 1u);
}

TEST_F(UploadArchiveTest, AnArchiveNeverUnpacksBeyondTheQuota) {
  StartServer();  // a quota of 1,000,000 bytes
  // 64 MiB of zeros pack into about 64 KB; the client announces 1000 bytes in X-NVX-FANG.
  std::string zeros = temp_.File("zeros");
  WriteFileText(zeros, "");
  std::filesystem::resize_file(zeros, 64 << 20);
  int error = 0;
  ASSERT_TRUE(ZipOneFile(zeros, zeros + ".zip", &error)) << error;
  const std::string honest = ReadFileText(zeros + ".zip");
  // The same entry announcing 1000 bytes in its local and central headers.
  std::string lying = honest;
  for (size_t at : {size_t{22}, lying.rfind("PK\x01\x02") + 24})
    lying.replace(at, 4, "\xe8\x03\0\0", 4);
  const struct {
    const char* label;
    std::string body;
    const char* conclusion;
  } cases[] = {{"announcing its size", honest, "Error - Quota Exceeded"},
               {"announcing less than it holds", lying, "Error - Invalid Archive"}};
  for (const auto& c : cases) {
    // The largest file in the blob folder while the request runs.
    std::atomic<bool> done{false};
    std::uintmax_t largest = 0;
    std::thread watch([&] {
      while (!done.load()) {
        std::error_code failed;
        for (std::filesystem::directory_iterator it(data() + "/blobs", failed), end;
             !failed && it != end; it.increment(failed)) {
          std::uintmax_t size = it->file_size(failed);
          if (!failed) largest = std::max(largest, size);
          failed.clear();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    RawHttpReply put =
        Put("zeros.zip", {{"X-NVX-FANG", Fang(c.body, 1000)}, {"X-NVX-BLACMANGE", docs_}}, c.body);
    done = true;
    watch.join();
    EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), c.conclusion) << c.label;
    EXPECT_LE(largest, 1000000u + 10240u + 65536u) << c.label;
    EXPECT_EQ(BlobCount(), 0u) << c.label;
  }
}

}  // namespace
}  // namespace nvx::test
