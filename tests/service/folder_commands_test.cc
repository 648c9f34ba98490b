// The folder commands over HTTP: the folder list (plain and enciphered), creating
// folders, and the two deletions.
#include <gtest/gtest.h>

#include <string>

#include "codec/transfer_cipher.h"
#include "tests/service/service_fixture.h"

namespace nvx::test {
namespace {

class FolderCommandsTest : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    Admin({"folder", "add", "alice", "\\MyFiles\\Docs"});
    Admin({"folder", "add", "alice", "\\MyFiles\\Docs\\Packed", "--compressed"});
    Admin({"folder", "add", "alice", "\\MyFiles\\View", "--access", "V"});
    Admin({"folder", "add", "alice", "\\MyFiles\\Closed", "--access", "N"});
    Admin({"folder", "add", "alice", "\\Shared", "--access", "V"});
    Admin({"account", "add", "bob", "pw"});
    my_files_ = FolderId("alice", "MyFiles");
    docs_ = FolderId("alice", "Docs");
  }

  RawHttpReply Create(const std::string& parent, const std::string& name) {
    return Command("FolderCreate", {{"X-NVX-BLACMANGE", parent + ",2"}, {"X-NVX-BIGGLES", name}});
  }

  std::string my_files_;
  std::string docs_;
};

std::string Decipher(const std::string& body) {
  if (body.size() < 2) return {};
  size_t key = ((static_cast<uint8_t>(body[0]) & 1u) << 8) | static_cast<uint8_t>(body[1]);
  std::string text = body.substr(2);
  TransferCipher(key).Decipher(text.data(), text.data(), text.size());
  return text;
}

TEST_F(FolderCommandsTest, FolderListIsTheTreeDepthFirst) {
  StartServer();
  RawHttpReply reply = Command("FolderList");
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(reply.body, "0\tMyFiles\tW\t" + my_files_ + "\n" + "1\tClosed\tN\t" +
                            FolderId("alice", "Closed") + "\n" + "1\tDocs\tW\t" + docs_ + "\n" +
                            "2\tPacked\tW\t" + FolderId("alice", "Packed") + "\n" + "1\tView\tV\t" +
                            FolderId("alice", "View") + "\n" + "0\tShared\tV\t" +
                            FolderId("alice", "Shared") + "\n");
}

TEST_F(FolderCommandsTest, FolderListIsEncipheredForEncryptingAccounts) {
  StartServer();
  std::string plain = Command("FolderList").body;
  StopServer();
  Admin({"account", "set", "alice", "--encrypt", "on"});
  StartServer();
  RawHttpReply reply = Command("FolderList");
  ASSERT_GT(reply.body.size(), 2u);
  EXPECT_EQ((reply.body.size() - 2) % 8, 0u);
  EXPECT_LT(((static_cast<uint8_t>(reply.body[0]) & 1) << 8) | static_cast<uint8_t>(reply.body[1]),
            496);
  std::string text = Decipher(reply.body);
  // The client reads the text up to its first zero byte; there always is one.
  ASSERT_NE(text.find('\0'), std::string::npos);
  EXPECT_EQ(text.substr(0, text.find('\0')), plain);
  EXPECT_EQ(reply.Header("Content-Length"), std::to_string(reply.body.size()));
}

TEST_F(FolderCommandsTest, FolderCreateCreatesOrFinds) {
  StartServer();
  RawHttpReply created = Create(my_files_, "New");
  EXPECT_EQ(created.Header("X-NVX-CONCLUSION"), "Successful");
  ASSERT_GE(created.body.size(), 3u);
  EXPECT_EQ(created.body.substr(created.body.size() - 2), "\r\n");
  std::string id = created.body.substr(0, created.body.size() - 2);
  EXPECT_EQ(Create(my_files_, "New").body, id + "\r\n");
  EXPECT_EQ(Create(my_files_, "NEW").body, id + "\r\n");
  // The library names "MyFiles" for the first folder of a path; "NO" and no id at all
  // mean "MyFiles" too.
  EXPECT_EQ(Create("NO", "New").body, id + "\r\n");
  EXPECT_EQ(Command("FolderCreate", {{"X-NVX-BIGGLES", "New"}}).body, id + "\r\n");
  EXPECT_EQ(Create("", "New").body, id + "\r\n");
  StopServer();
  EXPECT_EQ(FolderId("alice", "New"), id);
}

TEST_F(FolderCommandsTest, NamesArriveExactly) {
  StartServer();
  // The library sends the name as it is: "+" and "%" are part of it.
  for (const std::string name : {"C++ 100%41", "a+b", "%2e%2e", " lead"}) {
    RawHttpReply reply = Create(docs_, name);
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful") << name;
  }
  std::string tree = Command("FolderList").body;
  for (const std::string name : {"\tC++ 100%41\t", "\ta+b\t", "\t%2e%2e\t", "\t lead\t"}) {
    EXPECT_NE(tree.find(name), std::string::npos) << name;
  }
}

TEST_F(FolderCommandsTest, BelowACompressedFolderIdsKeepTheSuffix) {
  std::string packed = FolderId("alice", "Packed");
  ASSERT_EQ(packed.substr(packed.size() - 2), "-C");
  StartServer();
  RawHttpReply inner = Create(packed, "Inner");
  EXPECT_EQ(inner.body.substr(inner.body.size() - 4), "-C\r\n");
  // The suffix is ignored when an id is looked up.
  std::string bare = packed.substr(0, packed.size() - 2);
  EXPECT_EQ(Create(bare, "Inner").body, inner.body);
}

TEST_F(FolderCommandsTest, FolderCreateRefusals) {
  std::string bob_folder = FolderId("bob", "MyFiles");
  StartServer();
  struct Case {
    std::string parent;
    std::optional<std::string> name;
    const char* conclusion;
  };
  const Case cases[] = {
      {my_files_, "", "Error - Invalid Name"},
      {my_files_, ".", "Error - Invalid Name"},
      {my_files_, "..", "Error - Invalid Name"},
      {my_files_, "a/b", "Error - Invalid Name"},
      {my_files_, "a\\b", "Error - Invalid Name"},
      {my_files_, std::string(256, 'n'), "Error - Invalid Name"},
      {my_files_, std::nullopt, "Error - Invalid Name"},
      {FolderId("alice", "View"), "X", "Error - Access Denied"},
      {FolderId("alice", "Shared"), "X", "Error - Access Denied"},
      {FolderId("alice", "Closed"), "X", "Error - Folder Not Found"},
      {"99999", "X", "Error - Folder Not Found"},
      {"12abc", "X", "Error - Folder Not Found"},
      {bob_folder, "X", "Error - Folder Not Found"},
  };
  for (const Case& c : cases) {
    HeaderList headers = {{"X-NVX-BLACMANGE", c.parent + ",2"}};
    if (c.name) headers.emplace_back("X-NVX-BIGGLES", *c.name);
    RawHttpReply reply = Command("FolderCreate", headers);
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), c.conclusion) << c.parent << " " << *c.name;
    EXPECT_TRUE(reply.body.empty());
  }
  StopServer();
  EXPECT_EQ(Admin({"folder", "list", "bob"}).find("X"), std::string::npos);
}

TEST_F(FolderCommandsTest, FoldersDeeperThanTheLimitAreRefused) {
  // 255 levels below "MyFiles" (level 0) are the most an account may have.
  std::string deepest_path = "\\MyFiles";
  for (int level = 1; level <= 255; ++level) deepest_path += "\\L" + std::to_string(level);
  Admin({"folder", "add", "alice", deepest_path});
  RunResult too_deep = RunNvxServer(data(), {"folder", "add", "alice", deepest_path + "\\X"});
  EXPECT_EQ(too_deep.exit_code, 1);
  EXPECT_NE(too_deep.err.find("too deep"), std::string::npos) << too_deep.err;
  StartServer();
  std::string deepest = FolderId("alice", "L255");
  RawHttpReply refused =
      Command("FolderCreate", {{"X-NVX-BLACMANGE", deepest}, {"X-NVX-BIGGLES", "X"}});
  EXPECT_EQ(refused.Header("X-NVX-CONCLUSION"), "Error - Folder Too Deep");
  EXPECT_TRUE(refused.body.empty());
  RawHttpReply allowed = Command(
      "FolderCreate", {{"X-NVX-BLACMANGE", FolderId("alice", "L254")}, {"X-NVX-BIGGLES", "Y"}});
  EXPECT_EQ(allowed.Header("X-NVX-CONCLUSION"), "Successful");
  std::string tree = Command("FolderList").body;
  EXPECT_NE(tree.find("255\tY\t"), std::string::npos);
  EXPECT_EQ(tree.find("\tX\t"), std::string::npos);
}

TEST_F(FolderCommandsTest, DeleteEmptyFoldersBelowTheNamedFolder) {
  Admin({"folder", "add", "alice", "\\MyFiles\\Docs\\Empty\\Deeper"});
  Admin({"folder", "add", "alice", "\\MyFiles\\Docs\\Full"});
  AddDocument("alice", "\\MyFiles\\Docs\\Full\\a.txt", "a");
  StartServer();
  RawHttpReply reply = Command("DEMF", {{"X-NVX-BLACMANGE", docs_ + ",0"}});
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
  std::string tree = Command("FolderList").body;
  EXPECT_EQ(tree.find("Empty"), std::string::npos);
  EXPECT_EQ(tree.find("Deeper"), std::string::npos);
  EXPECT_EQ(tree.find("Packed"), std::string::npos);
  EXPECT_NE(tree.find("\tDocs\t"), std::string::npos);  // not the named folder itself
  EXPECT_NE(tree.find("\tFull\t"), std::string::npos);
  EXPECT_EQ(Command("DEMF", {{"X-NVX-BLACMANGE", "99999,0"}}).Header("X-NVX-CONCLUSION"),
            "Error - Folder Not Found");
}

TEST_F(FolderCommandsTest, DeleteFolderTree) {
  std::string vid = AddDocument("alice", "\\MyFiles\\Docs\\Packed\\a.txt", std::string(50, 'a'));
  StartServer();
  EXPECT_EQ(Command("DMFT", {{"X-NVX-BLACMANGE", my_files_ + ",0"}}).Header("X-NVX-CONCLUSION"),
            "Error - Top Level Folder");
  EXPECT_EQ(Command("DMFT", {{"X-NVX-BLACMANGE", FolderId("alice", "View") + ",0"}})
                .Header("X-NVX-CONCLUSION"),
            "Error - Access Denied");
  RawHttpReply reply = Command("DMFT", {{"X-NVX-BLACMANGE", docs_ + ",0"}});
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(reply.Header("X-NVX-LARCH"), "1000000,0");
  EXPECT_EQ(Command("FolderList").body.find("Docs"), std::string::npos);
  EXPECT_EQ(Command("DeleteDoc", {{"X-NVX-LUPIN", "0," + vid + ";"}}).Header("X-NVX-CONCLUSION"),
            "Error - Document Not Found");
  EXPECT_EQ(StoredBlobCount(data()), 0u);
}

}  // namespace
}  // namespace nvx::test
