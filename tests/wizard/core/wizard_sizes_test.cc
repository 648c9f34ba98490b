// Sizes the pages show: the number formats with their rounding and "0" rule, the texts
// built from them, wildcard patterns, and the folder scans over a real tree.
#include <QDir>
#include <QFile>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/directory_size.h"
#include "wizard/core/size_text.h"

namespace nvx::test {
namespace {

constexpr double kMegabyte = 1048576.0;

TEST(SizeTextTest, NumberFormats) {
  struct Case {
    double megabytes;
    std::string list_text;   // "#,###,##0.###" after rounding to 4 decimals
    std::string total_text;  // "#,###,##0.#" with "0" appended after a bare "."
  } cases[] = {
      {0, "0.", "0.0"},
      {12, "12.", "12.0"},
      {0.5, "0.5", "0.5"},
      {0.04, "0.04", "0.0"},
      {0.05, "0.05", "0.1"},  // halves round away from zero
      {1.23456, "1.235", "1.2"},
      {1.99999, "2.", "2.0"},
      {1234.5, "1,234.5", "1,234.5"},
      {1234567.25, "1,234,567.25", "1,234,567.3"},
      {999.96, "999.96", "1,000.0"},
  };
  for (const Case& c : cases) {
    const double bytes = c.megabytes * kMegabyte;
    EXPECT_EQ(Std(wizard::MegabytesText(bytes)), c.list_text) << c.megabytes;
    EXPECT_EQ(Std(wizard::TotalMegabytesText(bytes)), c.total_text) << c.megabytes;
  }
  EXPECT_EQ(Std(wizard::TotalSpaceText(12 * kMegabyte)),
            "Total space required for backup: 12.0 Megabytes");
  EXPECT_EQ(Std(wizard::SizeCountText(12 * kMegabyte, true)), "12.0 Megabytes");
  EXPECT_EQ(Std(wizard::SizeCountText(12 * kMegabyte, false)), "0 Megabytes");
}

TEST(SizeTextTest, ListEntriesAndHeadings) {
  const QString entry = wizard::SizeListEntry("My Music", 1.5 * kMegabyte);
  EXPECT_EQ(Std(entry), "My Music      (1.5 Megabytes)");
  EXPECT_EQ(Std(wizard::ListEntryName(entry)), "My Music");
  EXPECT_EQ(Std(wizard::ListEntryName("a (b)")), "a (b)");
  struct Case {
    int files, folders;
    std::string heading;
  } cases[] = {
      {1, 1, "The Wizard found 1 file and 1 folder on the Desktop"},
      {0, 2, "The Wizard found 0 files and 2 folders on the Desktop"},
      {12, 0, "The Wizard found 12 files and 0 folders on the Desktop"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Std(wizard::DesktopHeading(c.files, c.folders)), c.heading);
  }
}

TEST(DirectorySizeTest, Wildcards) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "noextension", true},  {"*", ".hidden", true},  {"*.exe", "setup.exe", true},
      {"*.exe", "setup.EXE", false}, {"*.exe", "exe", false}, {"*.exe", "a.exe.txt", false},
      {"a?c", "abc", true},          {"a?c", "ac", false},    {"*a*b", "xaxxb", true},
      {"*a*b", "xaxxbc", false},     {"", "", true},          {"", "a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wizard::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  }
}

TEST(DirectorySizeTest, ScansOfARealTree) {
  TempDir temp;
  const std::string docs = temp.File("Documents");
  MakeFileOfSize(docs + "/letter.doc", 1000);
  MakeFileOfSize(docs + "/.hidden", 24);
  MakeFileOfSize(docs + "/My Music/song.mp3", 3 * 1048576);
  MakeFileOfSize(docs + "/My Music/live/set.mp3", 1048576);
  MakeFileOfSize(docs + "/Work/plan.txt", 500);
  QDir().mkpath(Q(docs + "/Empty"));
  // A link to a folder is never descended, so nothing is counted twice.
  QFile::link(Q(docs + "/My Music"), Q(docs + "/Music link"));

  const wizard::DirectorySizeResult flat = wizard::DirectorySize(Q(docs), "*.*", false);
  EXPECT_EQ(flat.bytes, 1024);
  EXPECT_EQ(flat.files, 2);
  const wizard::DirectorySizeResult deep = wizard::DirectorySize(Q(docs), "*.*", true);
  EXPECT_EQ(deep.bytes, 1024 + 4 * 1048576 + 500);
  EXPECT_EQ(deep.files, 5);
  EXPECT_EQ(deep.folders, 4);
  EXPECT_EQ(wizard::DirectorySize(Q(docs), "*.mp3", true).bytes, 4 * 1048576);
  EXPECT_EQ(wizard::DirectorySize(Q(temp.File("missing")), "*", true).files, 0);

  const wizard::MyDocumentsScan scan = wizard::ScanMyDocuments(Q(docs));
  EXPECT_EQ(scan.direct_bytes, 1024);
  std::vector<std::string> entries;
  for (const wizard::SubfolderEntry& entry : scan.subfolders) {
    entries.push_back(Std(wizard::SizeListEntry(entry.name, entry.bytes)));
  }
  EXPECT_EQ(entries,
            (std::vector<std::string>{"Empty      (0. Megabytes)", "My Music      (4. Megabytes)",
                                      "Work      (0.001 Megabytes)"}));
}

TEST(DirectorySizeTest, DesktopAndFavorites) {
  TempDir temp;
  const std::string desktop = temp.File("Desktop");
  MakeFileOfSize(desktop + "/notes.txt", 100);
  MakeFileOfSize(desktop + "/setup.exe", 5000);
  MakeFileOfSize(desktop + "/Browser.lnk", 700);
  MakeFileOfSize(desktop + "/Projects/a.txt", 40);
  const wizard::DesktopScan scan = wizard::ScanDesktop(Q(desktop));
  EXPECT_EQ(scan.file_bytes, 100);
  EXPECT_EQ(scan.file_count, 3);
  ASSERT_EQ(scan.folders.size(), 1);
  EXPECT_EQ(Std(scan.folders[0].name), "Projects");
  EXPECT_EQ(scan.folders[0].bytes, 40);
  EXPECT_FALSE(scan.Empty());
  EXPECT_TRUE(wizard::ScanDesktop(Q(temp.File("nothing"))).Empty());

  const std::string favorites = temp.File("Favorites");
  MakeFileOfSize(favorites + "/Links/site.url", 10);
  EXPECT_FALSE(wizard::HasFilesDirectly(Q(favorites)));  // subfolders do not count
  MakeFileOfSize(favorites + "/.desktop", 10);
  EXPECT_TRUE(wizard::HasFilesDirectly(Q(favorites)));  // hidden files do
}

}  // namespace
}  // namespace nvx::test
