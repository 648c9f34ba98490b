// Uploads over HTTP: new documents, replacements, enciphered bodies, refusals of hostile
// requests, bodies that break off and their resumption, and a server killed in the middle
// of an upload. What was stored is read back through `doc list` and `doc get`.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "codec/transfer_cipher.h"
#include "tests/service/upload_fixture.h"
#include "tests/support/login_token.h"
#include "tests/support/raw_http_client.h"

namespace nvx::test {
namespace {

constexpr int64_t kCheckpoint = int64_t{4} << 20;

class UploadTest : public UploadFixture {
 protected:
  HeaderList Dated() const { return {{"X-NVX-BLACMANGE", docs_}, {"X-NVX-DINSDALE", kStamp}}; }
  static HeaderList With(HeaderList headers, const std::string& name, const std::string& value) {
    headers.insert(headers.begin(), {name, value});
    return headers;
  }
  // Sends the PUT's header block and the first `sent` bytes of `body` announced whole,
  // then closes the connection: a client that was cut off.
  void CutOff(const std::string& query, const HeaderList& headers, const std::string& body,
              size_t sent) {
    RawHttpConnection connection(port());
    ASSERT_TRUE(connection.connected());
    ASSERT_TRUE(connection.Send(
        PutRequest(query, headers, body.substr(0, sent), static_cast<int64_t>(body.size()))));
    connection.Close();
  }
};

TEST_F(UploadTest, NewReplacedAndEncipheredDocumentsReadBackWhole) {
  StartServer();
  const std::string first = Bytes(5000, 7);
  const std::string second = Bytes(2049, 8);

  RawHttpReply put = Put("My+File%281%29.txt", Dated(), first);
  EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(put.Header("X-NVX-LARCH"), "1000000,5000");
  ListedDocument listed = List()["My File(1).txt"];
  EXPECT_EQ(listed.size, 5000);
  EXPECT_EQ(listed.date_stamp, kStamp);
  EXPECT_EQ(listed.md5, HexMd5(first));
  EXPECT_EQ(listed.state, "complete");
  EXPECT_EQ(Get("\\MyFiles\\Docs\\My File(1).txt"), first);

  // A new upload of the same name replaces it: one document per name and folder.
  EXPECT_EQ(Put("My+File%281%29.txt", InDocs(), second).Header("X-NVX-LARCH"), "1000000,2049");
  ListedDocument renewed = List()["My File(1).txt"];
  EXPECT_NE(renewed.vid, listed.vid);
  EXPECT_EQ(renewed.md5, HexMd5(second));
  EXPECT_EQ(List().size(), 1u);

  // A replacement by version id gets a new one; the old id is gone.
  put = Put("My+File%281%29.txt", With(Dated(), "X-NVX-LUPIN", "0," + renewed.vid + ";"), first);
  EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful");
  ListedDocument replaced = List()["My File(1).txt"];
  EXPECT_NE(replaced.vid, renewed.vid);
  EXPECT_EQ(Get("\\MyFiles\\Docs\\My File(1).txt"), first);
  EXPECT_EQ(Put("x.txt", With(InDocs(), "X-NVX-LUPIN", "0," + renewed.vid + ";"), "x")
                .Header("X-NVX-CONCLUSION"),
            "Error - Document Not Found");

  // A body that is no delta is refused and changes nothing.
  put = Put("My+File%281%29.txt", With(InDocs(), "X-NVX-LUPIN", "1," + replaced.vid + ";"), "d");
  EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Error - Gen New From Diff Error");
  EXPECT_EQ(put.Header("X-NVX-LARCH"), "1000000,5000");
  EXPECT_EQ(List()["My File(1).txt"].vid, replaced.vid);
  EXPECT_EQ(BlobCount(), 1u);

  // Small documents: the store keeps their bytes itself, unless told to keep none.
  EXPECT_EQ(ListFolder(data() + "/blobs"), std::vector<std::string>{});
  server_.reset();
  StartServer({"--inline-max", "0"});
  EXPECT_EQ(Put("kept.txt", InDocs(), second).Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(ListFolder(data() + "/blobs").size(), 1u);
  EXPECT_EQ(Get("\\MyFiles\\Docs\\kept.txt"), second);
}

// A client that sends its next requests before reading the answers gets them in order,
// each once its document is stored; a replaced document's blob goes once the new one is.
TEST_F(UploadTest, PipelinedUploadsAreAnsweredInOrder) {
  StartServer();
  const std::string large = Bytes(100000, 3);
  EXPECT_EQ(Put("a.bin", InDocs(), large).Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(ListFolder(data() + "/blobs").size(), 1u);
  std::string pipeline;
  for (int i = 0; i < 20; ++i)
    pipeline += PutRequest(std::to_string(i) + ".txt", InDocs(), Bytes(100 + i, i));
  pipeline += PutRequest("a.bin", InDocs(), "small now");
  pipeline += ScriptRequest("GET", "FolderFileCount", {{"X-NVX-BLACMANGE", docs_}},
                            MakeLoginToken("alice", "secret"));
  RawHttpConnection connection(port());
  ASSERT_TRUE(connection.Send(pipeline));
  for (int i = 0; i < 21; ++i) {
    std::optional<RawHttpReply> reply = connection.ReadReply();
    ASSERT_TRUE(reply) << i;
    EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Successful") << i;
  }
  EXPECT_EQ(connection.ReadReply()->Header("X-NVX-CONCLUSION"), "OK,21");
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(Get("\\MyFiles\\Docs\\" + std::to_string(i) + ".txt"), Bytes(100 + i, i));
  EXPECT_EQ(Get("\\MyFiles\\Docs\\a.bin"), "small now");
  EXPECT_EQ(ListFolder(data() + "/blobs"), std::vector<std::string>{});
}

TEST_F(UploadTest, EncipheredBodiesLoseTheirPadding) {
  Admin({"account", "set", "alice", "--encrypt", "on"});
  StartServer();
  struct Case {
    size_t size;
    size_t key_index;
  };
  const Case cases[] = {{0, 0}, {1, 495}, {7, 300}, {8, 17}, {2048, 1}, {2049, 256}, {100003, 42}};
  for (const Case& c : cases) {
    std::string plain = Bytes(c.size, static_cast<unsigned>(c.size));
    std::string fang;
    std::string body = Encipher(plain, c.key_index, &fang);
    std::string name = "e" + std::to_string(c.size);
    RawHttpReply put = Put(name, With(Dated(), "X-NVX-FANG", fang), body);
    EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful") << c.size;
    EXPECT_EQ(List()[name].size, static_cast<int64_t>(c.size));
    EXPECT_EQ(Get("\\MyFiles\\Docs\\" + name), plain) << c.size;
  }
  // Fields that do not describe the 16 bytes of an enciphered 12-byte text store nothing.
  std::string fang;
  std::string body = Encipher("twelve bytes", 5, &fang);
  const std::string code = std::to_string(KeyCodeOf(5));
  for (const std::string& bad :
       {"17," + code + ",0,0,12", "8," + code + ",0,0,12", "-1," + code + ",0,0,12",
        std::string("12,70000,0,0,12"), std::string("12,65535,0,0,12"), std::string()}) {
    EXPECT_EQ(Put("e.txt", With(InDocs(), "X-NVX-FANG", bad), body).Header("X-NVX-CONCLUSION"),
              "Error - Invalid Transfer Fields")
        << bad;
  }
  EXPECT_EQ(List().count("e.txt"), 0u);
}

TEST_F(UploadTest, HostileRequestsStoreNothing) {
  Admin({"account", "add", "bob", "pw"});
  std::string bobs = AddDocument("bob", "\\MyFiles\\bob.txt", "bob's");
  std::string part =
      AddDocument("alice", "\\MyFiles\\Docs\\part.txt", "charlie", {"--incomplete", "3"});
  std::string whole = AddDocument("alice", "\\MyFiles\\Docs\\whole.txt", "whole");
  Admin({"folder", "add", "alice", "\\MyFiles\\View", "--access", "V"});
  std::string view = FolderId("alice", "View");
  StartServer();
  struct Case {
    const char* label;
    std::string query;
    HeaderList headers;
    std::string conclusion;
  };
  const Case cases[] = {
      {"dot dot", "..", InDocs(), "Error - Invalid Name"},
      {"slash", "a%2Fb", InDocs(), "Error - Invalid Name"},
      {"backslash", "a%5Cb", InDocs(), "Error - Invalid Name"},
      {"control", "a%0Ab", InDocs(), "Error - Invalid Name"},
      {"bad escape", "a%G1", InDocs(), "Error - Invalid Name"},
      {"unknown folder", "f.txt", {{"X-NVX-BLACMANGE", "999999"}}, "Error - Folder Not Found"},
      {"view-only folder", "f.txt", {{"X-NVX-BLACMANGE", view}}, "Error - Access Denied"},
      {"fang nonsense", "f.txt", With(InDocs(), "X-NVX-FANG", "a,b,c"),
       "Error - Invalid Transfer Fields"},
      {"fang too many", "f.txt", With(InDocs(), "X-NVX-FANG", "1,2,3,4,5,6"),
       "Error - Invalid Transfer Fields"},
      {"restart past the end", "part.txt", With(InDocs(), "X-NVX-RESTART", "4," + part + ";"),
       "Error - Invalid Restart"},
      {"restart negative", "part.txt", With(InDocs(), "X-NVX-RESTART", "-1," + part + ";"),
       "Error - Invalid Restart"},
      {"restart complete", "whole.txt", With(InDocs(), "X-NVX-RESTART", "2," + whole + ";"),
       "Error - Invalid Restart"},
      {"restart garbage", "part.txt", With(InDocs(), "X-NVX-RESTART", "3;" + part),
       "Error - Invalid Restart"},
      {"restart of another account", "bob.txt", With(InDocs(), "X-NVX-RESTART", "0," + bobs + ";"),
       "Error - Document Not Found"},
      {"replacement of another account", "bob.txt",
       With(InDocs(), "X-NVX-LUPIN", "0," + bobs + ";"), "Error - Document Not Found"},
      {"zip that is not one", "f.txt.zip", With(InDocs(), "X-NVX-FANG", "0,0,1,0,10"),
       "Error - Invalid Archive"},
  };
  std::map<std::string, ListedDocument> before = List();
  size_t blobs = BlobCount();
  for (const Case& c : cases) {
    RawHttpReply reply = Put(c.query, c.headers, "0123456789");
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), c.conclusion) << c.label;
    EXPECT_EQ(reply.Header("X-NVX-LARCH"), "1000000,8") << c.label;
  }
  std::map<std::string, ListedDocument> after = List();
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [name, document] : before) {
    EXPECT_EQ(after[name].vid, document.vid) << name;
    EXPECT_EQ(after[name].size, document.size) << name;
  }
  EXPECT_EQ(BlobCount(), blobs);
  EXPECT_EQ(Get("\\MyFiles\\Docs\\part.txt"), "cha");
}

TEST_F(UploadTest, QuotaIsCheckedBeforeTheBodyAndCountsTheReplacedDocument) {
  Admin({"account", "set", "alice", "--quota", "10000"});
  AddDocument("alice", "\\MyFiles\\Docs\\old.bin", Bytes(6000));
  StartServer();
  // 6000 used: a new 4001-byte document does not fit, a replacement of 6000 by 10000 does.
  RawHttpConnection connection(port());
  ASSERT_TRUE(connection.Send(PutRequest("new.bin", InDocs(), "", 4001)));
  std::optional<RawHttpReply> refused = connection.ReadReply();
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->Header("X-NVX-CONCLUSION"), "Error - Quota Exceeded");
  EXPECT_EQ(refused->Header("X-NVX-LARCH"), "10000,6000");
  // The body stays unread, so the connection ends.
  EXPECT_EQ(refused->Header("Connection"), "close");
  EXPECT_TRUE(connection.WaitForClose());
  EXPECT_EQ(Put("new.bin", InDocs(), Bytes(4000)).Header("X-NVX-LARCH"), "10000,10000");
  EXPECT_EQ(Put("new.bin", InDocs(), Bytes(4001)).Header("X-NVX-CONCLUSION"),
            "Error - Quota Exceeded");
  EXPECT_EQ(Put("old.bin", InDocs(), Bytes(6000, 9)).Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(List()["new.bin"].size, 4000);
  // Uploads in flight count too: of two that fit alone but not together, the second is
  // refused before its body while the first is on its way, and the first is stored.
  Admin({"account", "set", "alice", "--quota", "22000"});
  const std::string body = Bytes(7000, 3);
  RawHttpConnection first(port());
  ASSERT_TRUE(first.Send(PutRequest("a.bin", InDocs(), body.substr(0, 100), 7000)));
  for (int tries = 0; tries < 400 && TemporaryCount() == 0; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Put("b.bin", InDocs(), body).Header("X-NVX-CONCLUSION"), "Error - Quota Exceeded");
  ASSERT_TRUE(first.Send(body.substr(100)));
  std::optional<RawHttpReply> stored = first.ReadReply();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->Header("X-NVX-CONCLUSION"), "Successful");
}

TEST_F(UploadTest, ACutBodyIsKeptIncompleteAndAResumeCompletesIt) {
  StartServer();
  const std::string content = Bytes(10000, 4);
  CutOff("cut.bin", Dated(), content, 3000);
  ASSERT_TRUE(WaitForListed("cut.bin", 3000));
  ListedDocument partial = List()["cut.bin"];
  EXPECT_EQ(partial.state, "incomplete");
  EXPECT_EQ(partial.md5, HexMd5(content.substr(0, 3000)));

  RawHttpReply there =
      Head("cut.bin", {{"X-NVX-LUPIN", Base64Md5(content) + ",10000"}, {"X-NVX-BLACMANGE", docs_}});
  EXPECT_EQ(there.Header("X-NVX-CONCLUSION"), "Incomplete");
  EXPECT_EQ(there.Header("X-NVX-LUPIN"),
            Base64Md5(content.substr(0, 3000)) + ",3000," + partial.vid + ";");

  // Resumed, cut again, resumed to the end: each piece lands after the last.
  CutOff("cut.bin", With(Dated(), "X-NVX-RESTART", "3000," + partial.vid + ";"),
         content.substr(3000), 2500);
  ASSERT_TRUE(WaitForListed("cut.bin", 5500));
  RawHttpReply rest = Put("cut.bin", With(Dated(), "X-NVX-RESTART", "5500," + partial.vid + ";"),
                          content.substr(5500));
  EXPECT_EQ(rest.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(rest.Header("X-NVX-LARCH"), "1000000,10000");
  ListedDocument done = List()["cut.bin"];
  EXPECT_EQ(done.state, "complete");
  EXPECT_EQ(done.vid, partial.vid);
  EXPECT_EQ(done.md5, HexMd5(content));
  EXPECT_EQ(Get("\\MyFiles\\Docs\\cut.bin"), content);

  // A restart at 0 starts again; a replacement or a zip that breaks off is not kept.
  CutOff("cut.bin", With(Dated(), "X-NVX-LUPIN", "0," + done.vid + ";"), content, 4000);
  CutOff("z.bin.zip", With(Dated(), "X-NVX-FANG", "0,0,1,0,10000"), content, 4000);
  EXPECT_EQ(Head("z.bin", InDocs()).Header("X-NVX-CONCLUSION"), "NotHere");
  EXPECT_EQ(List()["cut.bin"].state, "complete");
  EXPECT_EQ(BlobCount(), 1u);
}

TEST_F(UploadTest, AnEncipheredCutKeepsWholeBlocksOnly) {
  Admin({"account", "set", "alice", "--encrypt", "on"});
  StartServer();
  const std::string content = Bytes(3001, 5);
  std::string fang;
  std::string body = Encipher(content, 77, &fang);
  CutOff("enc.bin", With(Dated(), "X-NVX-FANG", fang), body, 1003);
  ASSERT_TRUE(WaitForListed("enc.bin", 1000));
  ListedDocument partial = List()["enc.bin"];
  EXPECT_EQ(partial.md5, HexMd5(content.substr(0, 1000)));

  std::string rest_fang;
  std::string rest = Encipher(content.substr(1000), 300, &rest_fang);
  RawHttpReply put = Put("enc.bin",
                         {{"X-NVX-RESTART", "1000," + partial.vid + ";"},
                          {"X-NVX-FANG", rest_fang},
                          {"X-NVX-BLACMANGE", docs_}},
                         rest);
  EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(Get("\\MyFiles\\Docs\\enc.bin"), content);
}

TEST_F(UploadTest, AServerKilledMidUploadKeepsAConsistentStore) {
  Admin({"account", "set", "alice", "--quota", "100000000"});
  StartServer();
  const std::string content = Bytes(static_cast<size_t>(kCheckpoint + (2 << 20)), 6);
  auto wait_for = [](const std::function<bool()>& ready) {
    for (int tries = 0; tries < 200 && !ready(); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return ready();
  };
  {
    // Killed before the first checkpoint: the temporary file is all there is.
    RawHttpConnection connection(port());
    ASSERT_TRUE(connection.Send(PutRequest("big.bin", Dated(), content.substr(0, 1 << 20),
                                           static_cast<int64_t>(content.size()))));
    ASSERT_TRUE(wait_for([&] { return TemporaryCount() == 1; }));
    EXPECT_EQ(server_->Stop(SIGKILL), 128 + SIGKILL);
    server_.reset();
  }
  StartServer();
  EXPECT_EQ(TemporaryCount(), 0u);
  EXPECT_TRUE(List().empty());
  {
    // Killed after a checkpoint, in the middle of the next stretch.
    RawHttpConnection connection(port());
    ASSERT_TRUE(
        connection.Send(PutRequest("big.bin", Dated(), content.substr(0, kCheckpoint + (1 << 20)),
                                   static_cast<int64_t>(content.size()))));
    ASSERT_TRUE(WaitForListed("big.bin", kCheckpoint))
        << Admin({"doc", "list", "alice", "\\MyFiles\\Docs"}) << ReadFileText(log_file());
    EXPECT_EQ(server_->Stop(SIGKILL), 128 + SIGKILL);
    server_.reset();
  }
  StartServer();
  EXPECT_EQ(TemporaryCount(), 0u);
  ListedDocument partial = List()["big.bin"];
  EXPECT_EQ(partial.state, "incomplete");
  EXPECT_EQ(partial.size, kCheckpoint);
  EXPECT_EQ(partial.md5, HexMd5(content.substr(0, kCheckpoint)));
  EXPECT_EQ(Get("\\MyFiles\\Docs\\big.bin"), content.substr(0, kCheckpoint));
  RawHttpReply put =
      Put("big.bin",
          With(Dated(), "X-NVX-RESTART", std::to_string(kCheckpoint) + "," + partial.vid + ";"),
          content.substr(kCheckpoint));
  EXPECT_EQ(put.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(List()["big.bin"].md5, HexMd5(content));
  EXPECT_EQ(Get("\\MyFiles\\Docs\\big.bin"), content);
  EXPECT_EQ(BlobCount(), 1u);
}

}  // namespace
}  // namespace nvx::test
