// The folder list reply turned into a tree, path lookups, folder paths, and the local
// folders of a download.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/activity_log.h"
#include "api/block_reporter.h"
#include "api/results_report.h"
#include "api/shared_block.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "protocol/folder_paths.h"
#include "protocol/folder_tree.h"
#include "protocol/library_limits.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

const char kSixLines[] =
    "0\tMyFiles\tW\t100\n"
    "1\tDocs\tW\t101\n"
    "2\tA\tV\t102\n"
    "1\tPrivate\tN\t103\n"
    "2\tInner\tW\t104\n"
    "0\tShared\tV\t105\n";

std::vector<std::string> ChildNames(const FolderRecord& folder) {
  std::vector<std::string> names;
  for (const FolderRecord* child = folder.first_child; child != nullptr;
       child = child->next_sibling) {
    names.push_back(child->name);
  }
  return names;
}

TEST(ParseFolderList, BuildsTheTreeAndHidesWhatHasNoAccess) {
  FolderListParse parsed = ParseFolderList(kSixLines);
  ASSERT_TRUE(parsed.tree);
  EXPECT_EQ(parsed.message, "");
  const FolderRecord& root = *parsed.tree->root();
  EXPECT_EQ(root.level, -1);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"MyFiles", "Shared"}));
  const FolderRecord& my_files = *root.first_child;
  EXPECT_EQ(ChildNames(my_files), (std::vector<std::string>{"Docs", "Private"}));
  const FolderRecord* a = FindFolder("Docs\\A", root);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->folder_id, "102");
  EXPECT_FALSE(a->write_access);
  EXPECT_FALSE(a->no_access);
  EXPECT_FALSE(a->no_show);
  const FolderRecord* private_folder = FindFolder("Private", root);
  ASSERT_NE(private_folder, nullptr);
  EXPECT_TRUE(private_folder->no_access);
  EXPECT_TRUE(private_folder->no_show);
  EXPECT_TRUE(private_folder->first_child->no_show);
  EXPECT_EQ(private_folder->first_child->name, "Inner");
  EXPECT_TRUE(FindFolder("Docs", root)->write_access);
  // Every record is chained in reply order.
  std::vector<std::string> order;
  for (const FolderRecord* r = root.next_in_reply_order; r != nullptr; r = r->next_in_reply_order) {
    order.push_back(r->name);
  }
  EXPECT_EQ(order,
            (std::vector<std::string>{"MyFiles", "Docs", "A", "Private", "Inner", "Shared"}));
}

TEST(ParseFolderList, FieldsAndLevels) {
  FolderListParse parsed = ParseFolderList(
      "0\tMyFiles\n"            // no access field: write access, no id
      "3junk\tDeep\tX\t7\n"     // a jump of levels is taken as one
      "1\tBack\tV\n"            // up again: below the folder of level 0
      "-4\tNegative\tW\t9\n");  // a negative level counts as 0
  ASSERT_TRUE(parsed.tree);
  const FolderRecord& root = *parsed.tree->root();
  const FolderRecord& my_files = *root.first_child;
  EXPECT_TRUE(my_files.write_access);
  EXPECT_EQ(my_files.folder_id, "");
  EXPECT_EQ(ChildNames(my_files), (std::vector<std::string>{"Deep", "Back"}));
  EXPECT_EQ(my_files.first_child->level, 3);
  EXPECT_TRUE(my_files.first_child->write_access);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"MyFiles", "Negative"}));
}

TEST(ParseFolderList, BrokenReplies) {
  // The last line has no LF: the whole tree is discarded.
  FolderListParse cut = ParseFolderList("0\tMyFiles\tW\t100\n1\tDocs\tW\t101");
  EXPECT_FALSE(cut.tree);
  EXPECT_EQ(cut.message, "System Error - Invalid data from server");
  // A line without a tab ends the parse with what was made so far.
  FolderListParse no_tab = ParseFolderList("0\tMyFiles\tN\t100\n3\n1\tDocs\tW\t101\n");
  ASSERT_TRUE(no_tab.tree);
  EXPECT_EQ(no_tab.message, "System Error - Data invalid from Norrvault");
  EXPECT_EQ(ChildNames(*no_tab.tree->root()), (std::vector<std::string>{"MyFiles"}));
  EXPECT_FALSE(no_tab.tree->root()->first_child->no_show);  // not spread after a stop
  // An empty reply is an empty tree; the text ends at a zero byte.
  FolderListParse empty = ParseFolderList("");
  ASSERT_TRUE(empty.tree);
  EXPECT_EQ(empty.tree->root()->first_child, nullptr);
  FolderListParse zero = ParseFolderList(std::string("0\tMyFiles\n\0garbage", 19));
  ASSERT_TRUE(zero.tree);
  EXPECT_EQ(ChildNames(*zero.tree->root()), (std::vector<std::string>{"MyFiles"}));
  // Names and ids are cut to their widths.
  FolderListParse wide =
      ParseFolderList("0\t" + std::string(300, 'n') + "\tW\t" + std::string(40, '9') + "\n");
  ASSERT_TRUE(wide.tree);
  EXPECT_EQ(wide.tree->root()->first_child->name.size(), kFolderNameMax);
  EXPECT_EQ(wide.tree->root()->first_child->folder_id.size(), kFolderIdMax);
}

// A reply of many tiny lines must not cost memory out of proportion to its bytes: a
// list up to the bound is a tree, one folder more is refused as a whole.
TEST(ParseFolderList, HoldsAtMostTheBoundNumberOfFolders) {
  // Chains a thousand levels deep, one after the other under the root.
  std::string text;
  for (size_t i = 0; i < kFolderListMaxFolders; ++i) {
    text += std::to_string(i % 1000) + "\tf\n";
  }
  FolderListParse at_bound = ParseFolderList(text);
  ASSERT_TRUE(at_bound.tree);
  EXPECT_EQ(at_bound.message, "");
  EXPECT_EQ(at_bound.tree->records.size(), kFolderListMaxFolders + 1);
  size_t chains = 0;
  for (const FolderRecord* top = at_bound.tree->root()->first_child; top != nullptr;
       top = top->next_sibling) {
    ++chains;
  }
  EXPECT_EQ(chains, kFolderListMaxFolders / 1000);
  EXPECT_EQ(at_bound.tree->records.back().level, 999);
  EXPECT_EQ(at_bound.tree->records.back().parent->level, 998);

  FolderListParse beyond = ParseFolderList(text + "0\tone too many\n");
  EXPECT_FALSE(beyond.tree);
  EXPECT_EQ(beyond.message, "System Error - Folder list longer than 500000 folders");
}

TEST(FindFolder, LooksBelowMyFilesFirstThenFromTheRoot) {
  FolderListParse parsed = ParseFolderList(kSixLines);
  const FolderRecord& root = *parsed.tree->root();
  const FolderRecord* a = FindFolder("Docs\\A", root);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(FindFolder("\\MyFiles\\Docs\\A", root), a);
  EXPECT_EQ(FindFolder("myfiles\\\\docs\\a", root), a);
  EXPECT_EQ(FindFolder("", root), root.first_child);
  EXPECT_EQ(FindFolder("\\", root), root.first_child);
  ASSERT_NE(FindFolder("Shared", root), nullptr);
  EXPECT_EQ(FindFolder("Shared", root)->folder_id, "105");
  EXPECT_EQ(FindFolder("Docs\\Missing", root), nullptr);
  EXPECT_EQ(FindFolder("Missing", root), nullptr);
  FolderListParse without_my_files = ParseFolderList("0\tShared\tV\t105\n");
  EXPECT_EQ(FindFolder("", *without_my_files.tree->root()), nullptr);
  EXPECT_EQ(FindFolder("Shared", *without_my_files.tree->root())->folder_id, "105");
}

TEST(FolderPath, NamesBelowTheTopLevelFolder) {
  FolderListParse parsed = ParseFolderList(kSixLines);
  FolderRecord& root = *parsed.tree->root();
  EXPECT_EQ(FolderPath(*FindFolder("Docs\\A", root)), "Docs\\A\\");
  EXPECT_EQ(FolderPath(*FindFolder("Docs", root)), "Docs\\");
  EXPECT_EQ(FolderPath(*root.first_child), "");
  EXPECT_EQ(FolderPath(root), "");
  // LinkNewFolder puts a created folder in front of its parent's children.
  FolderRecord* created = parsed.tree->NewRecord();
  created->name = "New";
  EXPECT_TRUE(LinkNewFolder(*created, FindFolder("Docs", root)));
  EXPECT_EQ(FindFolder("Docs\\New", root), created);
  EXPECT_EQ(created->level, 2);
  EXPECT_EQ(FolderPath(*created), "Docs\\New\\");
  EXPECT_FALSE(LinkNewFolder(*parsed.tree->NewRecord(), nullptr));
}

class LocalFolderForTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block_.log_directory = logs_.path();
    ReopenActivityLog(block_, kLogActivity);
    parsed_ = ParseFolderList(kSixLines);
  }
  void TearDown() override {
    nvx::platform::MutexLock lock(block_.trace_lock);
    CloseActivityLog(block_.logs.activity_log);
  }
  FolderRecord& Folder(const char* path) { return *FindFolder(path, *parsed_.tree->root()); }

  test::TempDir logs_;
  test::TempDir local_;
  SharedBlock block_;
  BlockReporter report_{block_};
  FolderListParse parsed_;
};

TEST_F(LocalFolderForTest, DownloadBaseFolderAndItsSubfolders) {
  FolderRecord& docs = Folder("Docs");
  docs.download_base_mark = true;
  std::string out;
  std::string backup = local_.File("Backup");
  EXPECT_EQ(LocalFolderFor(report_, docs, backup, "", &out), 0);
  EXPECT_EQ(out, backup + "/Docs/");
  EXPECT_TRUE(platform::IsDirectory(backup + "/Docs"));
  EXPECT_EQ(LocalFolderFor(report_, Folder("Docs\\A"), backup, "", &out), 0);
  EXPECT_EQ(out, backup + "/Docs/A/");
  EXPECT_TRUE(platform::IsDirectory(backup + "/Docs/A"));
  // A local folder already named like the base folder gets nothing appended.
  EXPECT_EQ(LocalFolderFor(report_, docs, local_.File("docs"), "", &out), 0);
  EXPECT_EQ(out, local_.File("docs") + "/");
  // With a file pattern the base folder's name is not appended, then or later.
  std::string other = local_.File("Other");
  EXPECT_EQ(LocalFolderFor(report_, docs, other, "*.txt", &out), 0);
  EXPECT_EQ(out, other + "/");
  EXPECT_TRUE(docs.base_name_given_mark);
  EXPECT_EQ(LocalFolderFor(report_, Folder("Docs\\A"), other, "*.txt", &out), 0);
  EXPECT_EQ(out, other + "/A/");
}

TEST_F(LocalFolderForTest, AFileInTheWayIsReported) {
  FolderRecord& docs = Folder("Docs");
  docs.download_base_mark = true;
  test::WriteFileText(local_.File("Docs"), "not a folder");
  std::string out = "unchanged";
  EXPECT_NE(LocalFolderFor(report_, docs, local_.path(), "", &out), 0);
  EXPECT_EQ(out, "unchanged");
}

TEST_F(LocalFolderForTest, ServerNamesThatCannotBeLocalNamesAreRefused) {
  const std::string bad_names[] = {"..", ".", "", "a/b", std::string("x\0y", 3)};
  for (const std::string& bad : bad_names) {
    FolderRecord& docs = Folder("Docs");
    docs.name = bad;
    docs.download_base_mark = true;
    std::string out;
    EXPECT_EQ(LocalFolderFor(report_, docs, local_.path(), "", &out), platform::kErrorInvalidName)
        << bad;
    EXPECT_EQ(out, "");
    docs.name = "Docs";
  }
  // A bad name further up is refused too, and nothing is created.
  FolderListParse parsed =
      ParseFolderList("0\tMyFiles\tW\t1\n1\tTop\tW\t2\n2\t..\tW\t3\n3\tLeaf\tW\t4\n");
  FolderRecord& top = *FindFolder("Top", *parsed.tree->root());
  top.download_base_mark = true;
  FolderRecord& leaf = *top.first_child->first_child;
  std::string out;
  EXPECT_EQ(LocalFolderFor(report_, leaf, local_.path(), "", &out), platform::kErrorInvalidName);
  EXPECT_EQ(test::ListFolder(local_.path()), std::vector<std::string>{});
  std::string log = test::ReadFileText(block_.log_file_name);
  EXPECT_NE(log.find(" Err - LocalFolderFor - Folder name not usable locally: '..'"),
            std::string::npos);
  std::string pending = test::ReadFileText(PendingResultsName(block_));
  EXPECT_NE(
      pending.find("was not transfered because the folder name cannot be a local folder name"),
      std::string::npos);
}

TEST(IsUsableLocalName, Table) {
  EXPECT_TRUE(IsUsableLocalName("Docs"));
  EXPECT_TRUE(IsUsableLocalName("..."));
  EXPECT_TRUE(IsUsableLocalName("a\\b"));
  EXPECT_FALSE(IsUsableLocalName(""));
  EXPECT_FALSE(IsUsableLocalName("."));
  EXPECT_FALSE(IsUsableLocalName(".."));
  EXPECT_FALSE(IsUsableLocalName("a/b"));
  EXPECT_FALSE(IsUsableLocalName(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace nvx
