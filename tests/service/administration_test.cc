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
      {"account", "remove", "alice"},
      {"bogus"},
      {"--listen", "127.0.0.1:1", "account", "list"},
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
  };
  std::string before = Snapshot();
  for (const auto& arguments : cases) {
    RunResult result = RunNvxServer(data(), arguments);
    EXPECT_EQ(result.exit_code, 1) << arguments[0] << " " << arguments[1] << result.err;
    EXPECT_FALSE(result.err.empty());
    EXPECT_EQ(Snapshot(), before);
  }
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

}  // namespace
}  // namespace nvx::test
