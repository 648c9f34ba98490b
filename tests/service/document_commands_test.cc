// The document commands over HTTP: file list and count, deleting and completing
// documents, and the file information of one document.
#include <gtest/gtest.h>

#include <string>

#include "codec/base64.h"
#include "codec/md5.h"
#include "codec/transfer_cipher.h"
#include "tests/service/service_fixture.h"
#include "tests/support/login_token.h"

namespace nvx::test {
namespace {

constexpr const char* kStamp = "07D403050E0709";

class DocumentCommandsTest : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    Admin({"folder", "add", "alice", "\\MyFiles\\Docs"});
    docs_ = FolderId("alice", "Docs");
    a_ = AddDocument("alice", "\\MyFiles\\Docs\\a.txt", "alpha", {"--date", kStamp});
    b_ = AddDocument("alice", "\\MyFiles\\Docs\\b.log", "bravo!", {"--date", kStamp});
    partial_ = AddDocument("alice", "\\MyFiles\\Docs\\c.txt", "charlie", {"--incomplete", "3"});
  }

  HeaderList Folder(const std::string& id) { return {{"X-NVX-BLACMANGE", id + ",0"}}; }
  HeaderList Document(const std::string& vid) { return {{"X-NVX-LUPIN", "0," + vid + ";"}}; }

  std::string docs_;
  std::string a_;
  std::string b_;
  std::string partial_;
};

TEST_F(DocumentCommandsTest, FileListFields) {
  StartServer();
  RawHttpReply reply = Command("FolderFileList", Folder(docs_));
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
  // An incomplete document is listed with the date " ".
  EXPECT_EQ(reply.body, a_ + "\ta.txt\t5\t" + kStamp + "\t0\t0\t" + b_ + "\tb.log\t6\t" + kStamp +
                            "\t0\t0\t" + partial_ + "\tc.txt\t3\t \t0\t0\t\r\n");
  EXPECT_EQ(Command("FolderFileList", Folder(FolderId("alice", "MyFiles"))).body, "\r\n");
}

TEST_F(DocumentCommandsTest, FileListFiltersOnlyWithAPattern) {
  StartServer();
  struct Case {
    const char* biggles;
    std::string names;
  };
  const Case cases[] = {
      {"*.txt", "a.txt c.txt"},
      {"?.LOG", "b.log"},
      {"[ab]*", "a.txt b.log"},
      {"Docs", "a.txt b.log c.txt"},
      {"sub\\b*", "b.log"},
      {"*.*", "a.txt b.log c.txt"},
      {"x*", ""},
  };
  for (const Case& c : cases) {
    HeaderList headers = Folder(docs_);
    headers.emplace_back("X-NVX-BIGGLES", c.biggles);
    std::string body = Command("FolderFileList", headers).body;
    std::string names;
    for (const char* name : {"a.txt", "b.log", "c.txt"}) {
      if (body.find(std::string("\t") + name + "\t") != std::string::npos) {
        names += names.empty() ? name : std::string(" ") + name;
      }
    }
    EXPECT_EQ(names, c.names) << c.biggles;
  }
}

TEST_F(DocumentCommandsTest, FileListIsEncipheredForEncryptingAccounts) {
  Admin({"account", "set", "alice", "--encrypt", "on"});
  StartServer();
  std::string body = Command("FolderFileList", Folder(docs_)).body;
  ASSERT_GT(body.size(), 2u);
  size_t key = ((static_cast<uint8_t>(body[0]) & 1u) << 8) | static_cast<uint8_t>(body[1]);
  std::string text = body.substr(2);
  TransferCipher(key).Decipher(text.data(), text.data(), text.size());
  EXPECT_EQ(text.substr(0, text.find('\0')).substr(0, a_.size() + 7), a_ + "\ta.txt\t");
}

TEST_F(DocumentCommandsTest, FileCountAndUnknownFolders) {
  Admin({"folder", "add", "alice", "\\MyFiles\\Closed", "--access", "N"});
  StartServer();
  EXPECT_EQ(Command("FolderFileCount", Folder(docs_)).Header("X-NVX-CONCLUSION"), "OK,3");
  EXPECT_EQ(Command("FolderFileCount", Folder("NO")).Header("X-NVX-CONCLUSION"), "OK,0");
  for (const std::string& id : {std::string("424242"), FolderId("alice", "Closed")}) {
    EXPECT_EQ(Command("FolderFileCount", Folder(id)).Header("X-NVX-CONCLUSION"),
              "Error - Folder Not Found");
    RawHttpReply list = Command("FolderFileList", Folder(id));
    EXPECT_EQ(list.Header("X-NVX-CONCLUSION"), "Error - Folder Not Found");
    EXPECT_TRUE(list.body.empty());
  }
}

TEST_F(DocumentCommandsTest, DeleteDoc) {
  Admin({"folder", "add", "alice", "\\MyFiles\\View", "--access", "V"});
  std::string viewed = AddDocument("alice", "\\MyFiles\\View\\v.txt", "v");
  StartServer();
  RawHttpReply reply = Command("DeleteDoc", Document(a_));
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(reply.Header("X-NVX-LARCH"), "1000000,10");
  EXPECT_EQ(Command("DeleteDoc", Document(a_)).Header("X-NVX-CONCLUSION"),
            "Error - Document Not Found");
  EXPECT_EQ(Command("DeleteDoc", Document("")).Header("X-NVX-CONCLUSION"),
            "Error - Document Not Found");
  EXPECT_EQ(Command("DeleteDoc").Header("X-NVX-CONCLUSION"), "Error - Document Not Found");
  EXPECT_EQ(Command("DeleteDoc", Document(viewed)).Header("X-NVX-CONCLUSION"),
            "Error - Access Denied");
  EXPECT_EQ(Command("FolderFileCount", Folder(docs_)).Header("X-NVX-CONCLUSION"), "OK,2");
  EXPECT_EQ(ListFolder(data() + "/blobs").size(), 3u);
}

TEST_F(DocumentCommandsTest, DocumentsOfOtherAccountsAreNotFound) {
  Admin({"account", "add", "bob", "pw"});
  std::string bobs = AddDocument("bob", "\\MyFiles\\bob.txt", "bob");
  StartServer();
  for (const char* command : {"DeleteDoc", "ResetIDoc"}) {
    EXPECT_EQ(Command(command, Document(bobs)).Header("X-NVX-CONCLUSION"),
              "Error - Document Not Found");
  }
}

TEST_F(DocumentCommandsTest, ResetIncompleteDocument) {
  std::string whole =
      AddDocument("alice", "\\MyFiles\\Docs\\d.txt", "delta", {"--incomplete", "5"});
  StartServer();
  EXPECT_EQ(Command("ResetIDoc", Document(partial_)).Header("X-NVX-CONCLUSION"),
            "Error - Document Incomplete");
  EXPECT_EQ(Command("ResetIDoc", Document(whole)).Header("X-NVX-CONCLUSION"), "Successful");
  // Asking again for a complete document does no harm.
  EXPECT_EQ(Command("ResetIDoc", Document(whole)).Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(Command("ResetIDoc", Document("987654")).Header("X-NVX-CONCLUSION"),
            "Error - Document Not Found");
  std::string listing = Command("FolderFileList", Folder(docs_)).body;
  EXPECT_NE(listing.find(whole + "\td.txt\t5\t"), std::string::npos);
  EXPECT_EQ(listing.find(whole + "\td.txt\t5\t \t"), std::string::npos);
}

TEST_F(DocumentCommandsTest, OneAccessRuleForEveryCommandHiddenAncestorsIncluded) {
  Admin({"folder", "add", "alice", "\\MyFiles\\Closed", "--access", "N"});
  Admin({"folder", "add", "alice", "\\MyFiles\\Closed\\Inner\\Empty"});
  Admin({"folder", "add", "alice", "\\MyFiles\\View", "--access", "V"});
  std::string hidden = AddDocument("alice", "\\MyFiles\\Closed\\Inner\\h.txt", "hidden");
  std::string hidden_whole =
      AddDocument("alice", "\\MyFiles\\Closed\\Inner\\w.txt", "whole", {"--incomplete", "5"});
  std::string viewed_whole =
      AddDocument("alice", "\\MyFiles\\View\\v.txt", "whole", {"--incomplete", "5"});
  std::string inner = FolderId("alice", "Inner");
  StartServer();
  struct Case {
    const char* command;
    HeaderList headers;
    const char* conclusion;
  };
  const Case cases[] = {
      {"DeleteDoc", Document(hidden), "Error - Document Not Found"},
      {"ResetIDoc", Document(hidden_whole), "Error - Document Not Found"},
      {"ResetIDoc", Document(viewed_whole), "Error - Access Denied"},
      {"FolderFileCount", Folder(inner), "Error - Folder Not Found"},
      {"FolderFileList", Folder(inner), "Error - Folder Not Found"},
      {"FolderCreate",
       {{"X-NVX-BLACMANGE", inner}, {"X-NVX-BIGGLES", "New"}},
       "Error - Folder Not Found"},
      {"DEMF", Folder(inner), "Error - Folder Not Found"},
      {"DMFT", Folder(inner), "Error - Folder Not Found"},
      // Empty folders inside the hidden subtree are not the caller's to delete.
      {"DEMF", Folder("NO"), "Successful"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Command(c.command, c.headers).Header("X-NVX-CONCLUSION"), c.conclusion) << c.command;
  }
  // Nothing was deleted or completed: the view-only document is still listed without a
  // date, and every blob is still there.
  EXPECT_NE(
      Command("FolderFileList", Folder(FolderId("alice", "View"))).body.find("\tv.txt\t5\t \t"),
      std::string::npos);
  EXPECT_EQ(ListFolder(data() + "/blobs").size(), 6u);
  EXPECT_NE(Admin({"folder", "list", "alice"}).find("\tEmpty\t"), std::string::npos);
}

TEST_F(DocumentCommandsTest, FileInfo) {
  StartServer();
  std::string token_request = ScriptRequest(
      "HEAD", "FileInfo", {{"X-NVX-BLACMANGE", "NO"}, {"X-NVX-LUPIN", "0," + a_ + ";"}}, "");
  // The login is checked first.
  EXPECT_EQ(Exchange(token_request, true).Header("X-NVX-CONCLUSION"), "ID Invalid");
  std::string request = ScriptRequest(
      "HEAD", "FileInfo", {{"X-NVX-BLACMANGE", docs_}, {"X-NVX-LUPIN", "0," + a_ + ";"}},
      MakeLoginToken("alice", "secret"));
  RawHttpReply reply = Exchange(request, true);
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
  Md5Digest digest = Md5Of("alpha");
  std::string base64 =
      Base64Encode(std::string_view(reinterpret_cast<const char*>(digest.data()), 16));
  EXPECT_EQ(reply.Header("X-NVX-LUPIN"), base64 + ",5," + a_ + "," + kStamp + ";a.txt");
  EXPECT_TRUE(reply.body.empty());

  RawHttpReply missing = Exchange(ScriptRequest("HEAD", "FileInfo", {{"X-NVX-LUPIN", "0,31337;"}},
                                                MakeLoginToken("alice", "secret")),
                                  true);
  EXPECT_EQ(missing.Header("X-NVX-CONCLUSION"), "Error - Document Not Found");
  EXPECT_FALSE(missing.Header("X-NVX-LUPIN"));
}

}  // namespace
}  // namespace nvx::test
