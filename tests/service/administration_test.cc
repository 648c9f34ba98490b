// The administration commands of nvxserver, run as an operator runs them: exit codes,
// what they print, and that a refused command changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/service/service_fixture.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

class AdministrationTest : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    Admin({"folder", "add", "alice", "\\MyFiles\\Docs"});
    WriteFileText(temp_.File("small.txt"), "hello");
  }

  // Everything the commands can change, as the operator sees it.
  std::string Snapshot() { return Admin({"account", "list"}) + Admin({"folder", "list", "alice"}); }
};

TEST_F(AdministrationTest, BadArgumentsExitTwoAndChangeNothing) {
  std::string small = temp_.File("small.txt");
  const std::vector<std::vector<std::string>> cases = {
      {"account", "add", "bob"},
      {"account", "add", "bob", "pw", "--quota", "-5"},
      {"account", "add", "bob", "pw", "--quota", "12x"},
      {"account", "add", "bob", "pw", "--quota"},
      {"account", "add", "bob", "pw", "--bogus"},
      {"account", "add", "bob", std::string(33, 'p')},
      {"account", "add", "bob pw", "pw"},
      {"account", "add", "bob", "pw", "--state", "active"},
      {"account", "set", "alice", "--state", "sleeping"},
      {"account", "set", "alice", "--encrypt", "maybe"},
      {"account", "set", "alice", "--email", "not-an-address"},
      {"account", "set", "alice", "--password", ""},
      {"account", "list", "extra"},
      {"folder", "add", "alice", "Docs"},
      {"folder", "add", "alice", "\\MyFiles\\..\\x"},
      {"folder", "add", "alice", "\\MyFiles\\New", "--access", "X"},
      {"folder", "add", "alice", "\\"},
      {"folder", "list"},
      {"doc", "add", "alice", "\\MyFiles", small},
      {"doc", "add", "alice", "\\MyFiles\\Docs\\a.txt", small, "--date", "2004"},
      {"doc", "add", "alice", "\\MyFiles\\Docs\\a.txt", small, "--incomplete", "6"},
      {"doc", "add", "alice", "\\MyFiles\\Docs\\a.txt"},
      {"doc", "list", "alice"},
      {"doc", "list", "alice", "MyFiles"},
      {"doc", "list", "alice", "\\MyFiles", "extra"},
      {"doc", "get", "alice"},
      {"doc", "get", "alice", "\\MyFiles"},
      {"doc", "get", "alice", "\\MyFiles\\Docs\\a.txt", small, "extra"},
      {"doc", "get", "alice", "\\MyFiles\\Docs\\a.txt", "--date", "07D403050E0709"},
      {"account", "remove", "alice"},
      {"bogus"},
      {"--listen", "127.0.0.1:1", "account", "list"},
      {"--inline-max", "-1"},
      {"--inline-max", "1048577"},
      {"--inline-max", "64k"},
  };
  std::string before = Snapshot();
  for (const auto& arguments : cases) {
    RunResult result = RunNvxServer(data(), arguments);
    std::string shown;
    for (const std::string& argument : arguments) shown += argument + " ";
    EXPECT_EQ(result.exit_code, 2) << shown << result.err;
    EXPECT_NE(result.err.find("usage:"), std::string::npos) << shown;
    EXPECT_EQ(Snapshot(), before) << shown;
  }
  EXPECT_TRUE(ListFolder(data() + "/blobs").empty());
}

TEST_F(AdministrationTest, BadArgumentsTouchNoFolder) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--data"},
      {"--listen", "127.0.0.1", "--data", temp_.File("fresh")},
      {"--listen", "127.0.0.1:70000", "--data", temp_.File("fresh")},
      // TLS needs both files; a second listener serves only beside TLS.
      {"--tls-cert", temp_.File("a.pem"), "--data", temp_.File("fresh")},
      {"--listen", "127.0.0.1:0", "--listen", "127.0.0.1:0", "--data", temp_.File("fresh")},
      {"--data", temp_.File("fresh"), "account", "add", "x"},
  };
  for (const auto& arguments : cases) {
    RunResult result =
        RunProgram(NvxServerProgram(), {.args = arguments, .env = {}, .working_directory = {}});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find("usage:"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(temp_.File("fresh")));
}

TEST_F(AdministrationTest, HelpPrintsTheUsage) {
  RunResult result =
      RunProgram(NvxServerProgram(), {.args = {"--help"}, .env = {}, .working_directory = {}});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out.rfind("usage:", 0), 0u);
}

TEST_F(AdministrationTest, RefusedCommandsExitOne) {
  const std::vector<std::vector<std::string>> cases = {
      {"account", "add", "ALICE", "other"},
      {"account", "set", "bob", "--quota", "5"},
      {"folder", "add", "bob", "\\MyFiles\\X"},
      {"folder", "add", "alice", "\\MyFiles\\docs"},
      {"folder", "list", "bob"},
      {"doc", "add", "alice", "\\MyFiles\\Missing\\a.txt", temp_.File("small.txt")},
      {"doc", "add", "alice", "\\MyFiles\\Docs\\a.txt", temp_.File("no-such-file")},
      {"doc", "list", "bob", "\\MyFiles"},
      {"doc", "list", "alice", "\\MyFiles\\Missing"},
      {"doc", "get", "bob", "\\MyFiles\\a.txt", temp_.File("got")},
      {"doc", "get", "alice", "\\MyFiles\\Missing\\a.txt", temp_.File("got")},
      {"doc", "get", "alice", "\\MyFiles\\Docs\\a.txt", temp_.File("got")},
      {"doc", "get", "alice", "\\MyFiles\\Docs\\a.txt"},
  };
  std::string before = Snapshot();
  for (const auto& arguments : cases) {
    RunResult result = RunNvxServer(data(), arguments);
    EXPECT_EQ(result.exit_code, 1) << arguments[0] << " " << arguments[1] << result.err;
    EXPECT_FALSE(result.err.empty());
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(Snapshot(), before);
  }
  EXPECT_FALSE(std::filesystem::exists(temp_.File("got")));
}

TEST_F(AdministrationTest, AccountsAreAddedChangedAndListed) {
  Admin({"account", "add", "bob", "pw", "--quota", "5368709120", "--encrypt"});
  Admin({"account", "set", "ALICE", "--state", "expired", "--email", "a@example.org",
         "--admin-email", "boss@example.org", "--encrypt", "on", "--quota", "77"});
  EXPECT_EQ(Admin({"account", "list"}),
            "alice\t77\t0\tencrypt\texpired\ta@example.org\tboss@example.org\n"
            "bob\t5368709120\t0\tencrypt\tactive\t\t\n");
  Admin({"account", "set", "alice", "--email", ""});
  EXPECT_EQ(Admin({"account", "list"}).rfind("alice\t77\t0\tencrypt\texpired\t\tboss@", 0), 0u);
}

TEST_F(AdministrationTest, FoldersAreAddedWithAccessAndCompression) {
  std::string packed = Admin({"folder", "add", "alice", "\\MyFiles\\Packed\\Deep", "--compressed"});
  Admin({"folder", "add", "alice", "\\Shared", "--access", "V"});
  Admin({"folder", "add", "alice", "\\MyFiles\\Closed", "--access", "N"});
  std::string listing = Admin({"folder", "list", "alice"});
  std::string my_files = FolderId("alice", "MyFiles");
  std::string docs = FolderId("alice", "Docs");
  std::string closed = FolderId("alice", "Closed");
  std::string packed_parent = FolderId("alice", "Packed");
  std::string deep = FolderId("alice", "Deep");
  std::string shared = FolderId("alice", "Shared");
  EXPECT_EQ(packed, deep + "\n");
  EXPECT_EQ(deep.substr(deep.size() - 2), "-C");
  EXPECT_EQ(listing, "0\tMyFiles\tW\t" + my_files + "\n1\tClosed\tN\t" + closed + "\n1\tDocs\tW\t" +
                         docs + "\n1\tPacked\tW\t" + packed_parent + "\n2\tDeep\tW\t" + deep +
                         "\n0\tShared\tV\t" + shared + "\n");
}

TEST_F(AdministrationTest, DocumentsAreAddedWholeOrIncomplete) {
  std::string first =
      AddDocument("alice", "\\MyFiles\\Docs\\a.txt", "hello", {"--date", "07D403050E0709"});
  std::string second =
      AddDocument("alice", "\\MyFiles\\Docs\\b.txt", "0123456789", {"--incomplete", "4"});
  EXPECT_NE(first, second);
  EXPECT_EQ(ListFolder(data() + "/blobs").size(), 2u);
  // Space used counts the bytes stored.
  EXPECT_NE(Admin({"account", "list"}).find("alice\t1000000\t9\t"), std::string::npos);
  // Replacing a document frees its old blob.
  AddDocument("alice", "\\MyFiles\\Docs\\a.txt", "hello again");
  EXPECT_EQ(ListFolder(data() + "/blobs").size(), 2u);
}

// Every byte value, over several copy pieces.
std::string BinaryContent(size_t size) {
  std::string content(size, '\0');
  for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return content;
}

TEST_F(AdministrationTest, DocumentsAreListedAndFetchedFromEveryFolder) {
  StartServer();  // the commands work beside a running server
  Admin({"folder", "add", "alice", "\\MyFiles\\Closed", "--access", "N"});
  std::string whole =
      AddDocument("alice", "\\MyFiles\\Docs\\a.txt", "hello", {"--date", "07D403050E0709"});
  std::string part = AddDocument("alice", "\\MyFiles\\Docs\\b.txt", "0123456789",
                                 {"--date", "07D50A1F000000", "--incomplete", "4"});
  std::string binary = BinaryContent(200003);
  AddDocument("alice", "\\MyFiles\\Closed\\c.bin", binary);
  // A top-level folder beside MyFiles, reached by a job's path when MyFiles has none.
  Admin({"folder", "add", "alice", "\\Archive"});
  AddDocument("alice", "\\Archive\\r.txt", "beside");

  // Paths are found as a job finds them: below MyFiles first, then from the top.
  EXPECT_EQ(Admin({"doc", "list", "alice", "\\Docs"}),
            Admin({"doc", "list", "alice", "\\MyFiles\\Docs"}));
  EXPECT_EQ(Admin({"doc", "list", "ALICE", "\\myfiles\\docs"}),
            "a.txt\t5\t07D403050E0709\t5d41402abc4b2a76b9719d911017c592\tcomplete\t" + whole +
                "\nb.txt\t4\t07D50A1F000000\teb62f6b9306db575c2d596b1279627a4\tincomplete\t" +
                part + "\n");
  EXPECT_EQ(Admin({"doc", "list", "alice", "\\MyFiles"}), "");
  // The administrator sees hidden folders too.
  EXPECT_EQ(Admin({"doc", "list", "alice", "\\MyFiles\\Closed"}).rfind("c.bin\t200003\t", 0), 0u);

  struct Case {
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"\\MyFiles\\Docs\\a.txt", "hello"},  {"\\MyFiles\\Docs\\b.txt", "0123"},
      {"\\MyFiles\\Closed\\c.bin", binary}, {"\\Docs\\a.txt", "hello"},
      {"\\Closed\\c.bin", binary},          {"\\Archive\\r.txt", "beside"},
  };
  std::string file = temp_.File("out/got");
  std::filesystem::create_directory(temp_.File("out"));
  WriteFileText(file, "an older file of the same name");
  for (const Case& c : cases) {
    EXPECT_EQ(Admin({"doc", "get", "alice", c.path}), c.expected) << c.path;
    EXPECT_EQ(Admin({"doc", "get", "alice", c.path, file}), "") << c.path;
    EXPECT_EQ(ReadFileText(file), c.expected) << c.path;
    EXPECT_EQ(ListFolder(temp_.File("out")).size(), 1u) << c.path;
  }
  StopServer();
}

TEST_F(AdministrationTest, DamagedStoredBytesFailAndLeaveTheFileAsItWas) {
  struct Case {
    std::string name;
    std::string blob;     // what the blob file then holds; empty: it is gone
    std::string message;  // empty: the document's bytes come out whole
  };
  const std::vector<Case> cases = {
      {"shorter", "hell", "wrong size"},
      // Bytes past the document's size (an upload cut off by a crash wrote them) are no
      // part of it.
      {"longer", "hello!", ""},
      {"changed", "jello", "MD5"},
      {"missing", "", "cannot read"},
  };
  std::filesystem::create_directory(temp_.File("out"));
  std::string file = temp_.File("out/got");
  for (const Case& c : cases) {
    std::string path = "\\MyFiles\\Docs\\" + c.name;
    AddDocument("alice", path, "hello");
    std::string blob;
    for (const std::string& name : ListFolder(data() + "/blobs")) {
      if (ReadFileText(data() + "/blobs/" + name) == "hello") blob = data() + "/blobs/" + name;
    }
    ASSERT_FALSE(blob.empty()) << c.name;
    if (c.blob.empty()) {
      std::filesystem::remove(blob);
    } else {
      WriteFileText(blob, c.blob);
    }
    WriteFileText(file, "kept");
    RunResult to_file = RunNvxServer(data(), {"doc", "get", "alice", path, file});
    if (c.message.empty()) {
      EXPECT_EQ(to_file.exit_code, 0) << c.name;
      EXPECT_EQ(ReadFileText(file), "hello") << c.name;
      EXPECT_EQ(RunNvxServer(data(), {"doc", "get", "alice", path}).out, "hello") << c.name;
      continue;
    }
    EXPECT_EQ(to_file.exit_code, 1) << c.name;
    EXPECT_NE(to_file.err.find(c.message), std::string::npos) << c.name << ": " << to_file.err;
    EXPECT_EQ(ReadFileText(file), "kept") << c.name;
    EXPECT_EQ(ListFolder(temp_.File("out")).size(), 1u) << c.name;
    EXPECT_EQ(RunNvxServer(data(), {"doc", "get", "alice", path}).exit_code, 1) << c.name;
  }
}

}  // namespace
}  // namespace nvx::test
