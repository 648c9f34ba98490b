// Downloads over HTTP: what a DownLoad request gets for each state of the client's copy
// (none, whole, a true beginning, a different one), with and without transfer encryption
// and compression, and the refusals of documents that cannot be sent. Bodies are read
// back the way the client completes them: deciphered with the key the answer names, cut
// to the length it announces, unpacked when it says so.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "codec/transfer_cipher.h"
#include "codec/zip_archive.h"
#include "tests/service/upload_fixture.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

struct FangValue {
  int64_t length = -1;
  int64_t key = -1;
  bool zipped = false;
};

FangValue ParseFang(const std::string& text) {
  FangValue value;
  size_t first = text.find(',');
  size_t second = text.find(',', first + 1);
  if (first == std::string::npos || second == std::string::npos) return value;
  value.length = std::stoll(text.substr(0, first));
  value.key = std::stoll(text.substr(first + 1, second - first - 1));
  value.zipped = text.substr(second + 1) == "1";
  return value;
}

class DownloadTest : public UploadFixture {
 protected:
  // A DownLoad request as the client sends it: the document, the copy it offers (if any)
  // and X-NVX-FANG with fillers and field 4 telling whether it asks for compression.
  RawHttpReply Download(const std::string& vid, const std::string& offered, bool compress) {
    HeaderList headers = {{"X-NVX-LUPIN", "0," + vid + ";"}};
    if (!offered.empty()) headers.push_back({"X-NVX-RESTART2", offered});
    headers.push_back({"X-NVX-FANG", compress ? "17,300,0,1,0" : "17,300,0,0,0"});
    return Command("DownLoad", headers);
  }
  static std::string Restart2(const std::string& copy, const std::string& vid) {
    return Base64Md5(copy) + "," + std::to_string(copy.size()) + "," + vid + ";";
  }

  // The file the client ends up with from this answer, given the copy it offered.
  std::string Completed(const RawHttpReply& reply, const std::string& offered) {
    FangValue fang = ParseFang(reply.Header("X-NVX-Fang").value_or(""));
    std::string body = reply.body;
    if (fang.key >= 0 && body.size() % 8 == 0 && encrypt_) {
      CipherForDownload(fang.key).Decipher(body.data(), body.data(), body.size());
    }
    std::string file = (reply.Header("X-NVX-RESTART") ? offered : std::string()) + body;
    if (fang.length >= 0 && static_cast<size_t>(fang.length) < file.size()) {
      file.resize(static_cast<size_t>(fang.length));
    }
    if (!fang.zipped) return file;
    std::string archive = temp_.File("answer.zip");
    std::string target = temp_.File("answer");
    WriteFileText(archive, file);
    EXPECT_TRUE(UnzipFirstEntry(archive, target));
    return ReadFileText(target);
  }

  bool encrypt_ = false;
};

TEST_F(DownloadTest, TheAnswerFollowsTheClientsCopy) {
  const std::string content = Bytes(5001, 3);
  struct Case {
    const char* what;
    bool encrypt;
    std::string name;
    // The X-NVX-RESTART2 value, from the document's content and version id; empty: none.
    std::function<std::string(const std::string& vid)> offered;
    std::string copy;  // the copy the client holds
    bool compress;
    const char* conclusion;
    bool restart;
    bool zipped;
  };
  auto offer = [](const std::string& copy) {
    return [copy](const std::string& vid) { return Restart2(copy, vid); };
  };
  auto none = [](const std::string&) { return std::string(); };
  const std::string mid = content.substr(0, 3000);
  const std::string block = content.substr(0, 4096);
  const Case cases[] = {
      {"no copy", false, "a.txt", none, "", false, "Successful", false, false},
      {"the whole copy", false, "a.txt", offer(content), content, false, "UGOTIT", false, false},
      {"a beginning", false, "a.txt", offer(mid), mid, false, "Successful", true, false},
      {"an empty beginning", false, "a.txt", offer(""), "", false, "Successful", true, false},
      {"a different copy", false, "a.txt", offer(Bytes(3000, 9)), "", false, "Successful", false,
       false},
      {"a longer copy", false, "a.txt", offer(content + "x"), "", false, "Successful", false,
       false},
      {"a copy of another version", false, "a.txt",
       [&](const std::string&) { return Restart2(mid, "999"); }, "", false, "Successful", false,
       false},
      {"enciphered, no copy", true, "a.txt", none, "", false, "Successful", false, false},
      {"enciphered, whole blocks", true, "a.txt", offer(block), block, false, "Successful", true,
       false},
      {"enciphered, not whole blocks", true, "a.txt", offer(mid), "", false, "Successful", false,
       false},
      {"enciphered, the whole copy", true, "a.txt", offer(content), content, false, "UGOTIT", false,
       false},
      {"compressed", false, "a.txt", none, "", true, "Successful", false, true},
      {"compressed and enciphered", true, "a.txt", none, "", true, "Successful", false, true},
      {"compressed type", false, "photo.JPG", none, "", true, "Successful", false, false},
      {"compression asked with a beginning", false, "a.txt", offer(mid), mid, true, "Successful",
       true, false},
  };
  StartServer();
  // Each case on a document added from a file (its bytes a blob file) and on one uploaded
  // (a small one, whose bytes the store keeps itself).
  for (const bool uploaded : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (uploaded ? ", uploaded" : ", added"));
      std::string vid;
      if (uploaded) {
        Admin({"account", "set", "alice", "--encrypt", "off"});
        const size_t files = ListFolder(data() + "/blobs").size();
        ASSERT_EQ(Put(c.name, InDocs(), content).Header("X-NVX-CONCLUSION"), "Successful");
        vid = List()[c.name].vid;
        ASSERT_LE(ListFolder(data() + "/blobs").size(), files) << "a blob file was made";
      } else {
        vid = AddDocument("alice", "\\MyFiles\\Docs\\" + c.name, content);
      }
      Admin({"account", "set", "alice", "--encrypt", c.encrypt ? "on" : "off"});
      encrypt_ = c.encrypt;
      RawHttpReply reply = Download(vid, c.offered(vid), c.compress);
      EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), c.conclusion);
      EXPECT_EQ(reply.Header("X-NVX-RESTART").has_value(), c.restart);
      FangValue announced = ParseFang(reply.Header("X-NVX-Fang").value_or(""));
      EXPECT_EQ(announced.zipped, c.zipped);
      EXPECT_EQ(reply.Header("Content-Length"), std::to_string(reply.body.size()));
      if (std::string(c.conclusion) == "UGOTIT") {
        EXPECT_TRUE(reply.body.empty());
        continue;
      }
      if (c.encrypt) {
        EXPECT_EQ(reply.body.size() % 8, 0u);
        EXPECT_GE(announced.key, 0);
        EXPECT_LT(announced.key, kUploadKeyIndexCount);
      } else if (!c.zipped) {
        // Plain bytes travel as they are stored, from where the copy ends.
        EXPECT_EQ(reply.body, content.substr(c.restart ? c.copy.size() : 0));
      }
      EXPECT_EQ(Completed(reply, c.copy), content);
      // Archives are packed into temporary files that do not outlive the answer.
      EXPECT_EQ(TemporaryCount(), 0u);
    }
  }
}

TEST_F(DownloadTest, DocumentsThatCannotBeSentGetNoBody) {
  StartServer();
  std::string whole = AddDocument("alice", "\\MyFiles\\Docs\\whole.txt", "alpha");
  std::string part =
      AddDocument("alice", "\\MyFiles\\Docs\\part.txt", "charlie", {"--incomplete", "3"});
  Admin({"folder", "add", "alice", "\\Hidden", "--access", "N"});
  std::string hidden = AddDocument("alice", "\\Hidden\\h.txt", "secret");
  const struct {
    std::string lupin;
    const char* conclusion;
  } cases[] = {
      {"0," + whole + ";", "Successful"},
      {"0," + part + ";", "Error - Document Incomplete"},
      {"0," + hidden + ";", "Error - Document Not Found"},
      {"0,999999;", "Error - Document Not Found"},
      {"0,;", "Error - Document Not Found"},
      {"garbage", "Error - Document Not Found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lupin);
    RawHttpReply reply = Command("DownLoad", {{"X-NVX-LUPIN", c.lupin}});
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), c.conclusion);
    EXPECT_EQ(reply.body, std::string(c.conclusion) == "Successful" ? "alpha" : "");
    EXPECT_TRUE(reply.Header("X-NVX-LARCH").has_value());
  }
}

TEST_F(DownloadTest, LargeDocumentsTravelWholeInPieces) {
  // Larger than one piece of the file copy and many pieces of the cipher's buffer.
  const std::string content = Bytes((size_t{17} << 20) + 5, 4);
  Admin({"account", "set", "alice", "--quota", "100000000"});
  const std::string copy = content.substr(0, 2048 * 3000);
  // Over TLS the bytes go through the session's piece buffer (or kernel TLS), which must
  // neither lose nor repeat a piece when the client reads slower than the server sends.
  for (auto [tls, encrypt] :
       {std::pair{false, false}, {false, true}, {true, false}, {true, true}}) {
    SCOPED_TRACE(std::string(tls ? "TLS, " : "") + (encrypt ? "enciphered" : "plain"));
    if (!encrypt) tls ? StartTlsServer() : StartServer();
    Admin({"account", "set", "alice", "--encrypt", encrypt ? "on" : "off"});
    encrypt_ = encrypt;
    std::string vid = AddDocument("alice", "\\MyFiles\\Docs\\big.bin", content);
    if (tls && !encrypt) {
      // The same bytes uploaded over TLS arrive whole: a body of many TLS records.
      EXPECT_EQ(Put("big.bin", InDocs(), content).Header("X-NVX-CONCLUSION"), "Successful");
      ListedDocument uploaded = List()["big.bin"];
      EXPECT_EQ(uploaded.md5, HexMd5(content));
      vid = uploaded.vid;
    }
    RawHttpReply whole = Download(vid, "", false);
    EXPECT_EQ(whole.body.size(), encrypt ? RoundUpToBlock(content.size()) : content.size());
    EXPECT_TRUE(Completed(whole, "") == content);
    RawHttpReply rest = Download(vid, Restart2(copy, vid), false);
    EXPECT_TRUE(rest.Header("X-NVX-RESTART").has_value());
    EXPECT_TRUE(Completed(rest, copy) == content);
  }
}

}  // namespace
}  // namespace nvx::test
