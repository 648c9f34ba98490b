// Local and server paths in the job configuration file: splitting at "/", the root as
// the bare disk, the tidying each verb does, and the check of server file patterns.
#include <gtest/gtest.h>

#include "runner/config_paths.h"
#include "tests/runner/config_test_support.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::ParseWithCredentials;

class ConfigLocalPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = temp_.File("Data");
    test::MakeFolder(data_);
    test::WriteFileText(data_ + "/report.doc", "text");
  }

  const JobEntry& OnlyJob(const test::Parsed& parsed) {
    EXPECT_EQ(parsed.result, kConfigValid) << parsed.errors;
    EXPECT_EQ(parsed.config.jobs.size(), 1u);
    return parsed.config.jobs.front();
  }

  test::TempDir temp_;
  std::string data_;
};

TEST_F(ConfigLocalPaths, SendVerbsTidyTheLocalPath) {
  struct Case {
    std::string lines;
    std::string local_path;
    std::string local_file;
  };
  const Case cases[] = {
      // The root is the bare disk: every file in it.
      {"LocalPath /\n", "", "*.*"},
      // An existing file: its folder and its name.
      {"LocalPath " + data_ + "/report.doc\n", data_, "report.doc"},
      // An existing folder keeps its path, without the trailing "/".
      {"LocalPath " + data_ + "/\n", data_, ""},
      {"LocalPath " + data_ + "\n", data_, ""},
      // What is not a folder is split: a pattern, or a name that does not exist yet.
      {"LocalPath " + data_ + "/*.doc\n", data_, "*.doc"},
      {"LocalPath " + data_ + "/missing/\n", data_ + "/missing", ""},
      // A name directly in the root: the root tidies to the empty text.
      {"LocalPath /nvx-no-such-file.txt\n", "", "nvx-no-such-file.txt"},
      {"LocalFile " + data_ + "/*.txt\n", data_, "*.txt"},
      {"LocalFile /nvx-no-such-file.txt\n", "", "nvx-no-such-file.txt"},
      {"LocalFile " + data_ + "/report.doc\n", data_, "report.doc"},
  };
  for (const Case& c : cases) {
    for (const char* verb : {"SendToNVX", "MoveToNVX"}) {
      test::Parsed parsed = ParseWithCredentials(c.lines + verb + "\n");
      const JobEntry& job = OnlyJob(parsed);
      EXPECT_EQ(job.local_path, c.local_path) << c.lines << verb;
      EXPECT_EQ(job.local_file, c.local_file) << c.lines << verb;
    }
  }
}

TEST_F(ConfigLocalPaths, OtherVerbsRemoveOneTrailingSeparator) {
  struct Case {
    const char* verb;
    const char* local_path;
    const char* server_path;
  };
  // The file holds "/restore/here//" and "\Backup\Docs\\": one separator goes.
  const Case cases[] = {
      {"CopyFromNVX", "/restore/here/", "\\Backup\\Docs\\"},
      {"MoveFromNVX", "/restore/here/", "\\Backup\\Docs\\"},
      {"DeleteEmptyNVXFolders", "/restore/here/", "\\Backup\\Docs\\"},
      {"CleanNVX", "/restore/here/", "\\Backup\\Docs\\"},
      {"VerifyNVXFolders", "/restore/here//", "\\Backup\\Docs\\\\"},
      {"SendLog", "/restore/here//", "\\Backup\\Docs\\"},
  };
  for (const Case& c : cases) {
    test::Parsed parsed = ParseWithCredentials(
        "LocalPath /restore/here//\nNVXPath \\Backup\\Docs\\\\\n" + std::string(c.verb) + "\n");
    ASSERT_EQ(parsed.config.jobs.size(), 1u) << c.verb;
    const JobEntry& job = parsed.config.jobs[0];
    EXPECT_EQ(job.local_path, c.local_path) << c.verb;
    EXPECT_EQ(job.local_file, "") << c.verb;
    EXPECT_EQ(job.server_path, c.server_path) << c.verb;
  }
}

TEST_F(ConfigLocalPaths, SendVerbsRemoveOneTrailingBackslashFromTheServerPath) {
  test::Parsed parsed =
      ParseWithCredentials("LocalPath /\nNVXPath \\backup\\My Documents\\\nSendToNVX\n");
  EXPECT_EQ(OnlyJob(parsed).server_path, "\\backup\\My Documents");
}

TEST_F(ConfigLocalPaths, CleanOfTheRootCoversEveryFile) {
  test::Parsed parsed = ParseWithCredentials("LocalPath /\nNVXPath \\\nCleanNVX\n");
  const JobEntry& job = OnlyJob(parsed);
  EXPECT_EQ(job.local_path, "");
  EXPECT_EQ(job.local_file, "*.*");
  EXPECT_EQ(job.server_path, "");
}

TEST_F(ConfigLocalPaths, LocalPathEmptiesAnEarlierLocalFile) {
  test::Parsed parsed = ParseWithCredentials("LocalFile " + data_ + "/report.doc\nLocalPath " +
                                             data_ + "\nSendToNVX\n");
  EXPECT_EQ(OnlyJob(parsed).local_file, "");
}

TEST_F(ConfigLocalPaths, APathWithoutSlashEndsReadingAtOnceWithoutMessage) {
  struct Case {
    const char* text;
  };
  // No user, no password: had reading gone on, the end checks would have printed.
  const Case cases[] = {
      {"LocalFile report.doc\nSendToNVX\n"},
      {"LocalPath relative-name\nSendToNVX\n"},
      {"LocalPath relative-name\nMoveToNVX\n"},
      {"SendToNVX\n"},  // no local path at all
  };
  for (const Case& c : cases) {
    test::Parsed parsed = test::Parse(c.text);
    EXPECT_EQ(parsed.result, kConfigInvalid) << c.text;
    EXPECT_EQ(parsed.errors, "") << c.text;
  }
  // Other verbs do not look at the local path.
  EXPECT_EQ(ParseWithCredentials("LocalPath relative-name\nCopyFromNVX\n").result, kConfigValid);
}

TEST(ConfigPathHelpers, SplitAndTrailingSeparators) {
  EXPECT_FALSE(SplitLocalPath("name"));
  EXPECT_EQ(SplitLocalPath("/a/b")->folder, "/a");
  EXPECT_EQ(SplitLocalPath("/a/b")->name, "b");
  EXPECT_EQ(SplitLocalPath("/b")->folder, "/");
  EXPECT_EQ(SplitLocalPath("/a/")->name, "");
  EXPECT_EQ(RemoveTrailingSeparator("/", '/'), "");
  EXPECT_EQ(RemoveTrailingSeparator("/a//", '/'), "/a/");
  EXPECT_EQ(RemoveTrailingSeparator("\\A\\", '\\'), "\\A");
  EXPECT_EQ(RemoveTrailingSeparator("", '\\'), "");
}

TEST(ConfigServerFile, PatternCheck) {
  struct Case {
    const char* pattern;
    bool well_formed;
  };
  const Case cases[] = {
      {"report.doc", true}, {"*.doc", true},   {"report?.doc", true}, {"a\\*b", true},
      {"a\\", false},       {"\\", false},     {"[abc].doc", true},   {"[]", false},
      {"[", false},         {"x[", false},     {"[abc", false},       {"[a-z]*", true},
      {"[a-]", false},      {"[a-", false},    {"[-a]", true},        {"[\\]]", true},
      {"[\\", false},       {"[a\\-z]", true}, {"[a-\\]]", true},     {"[!a]x", true},
      {"]", true},          {"[a][b]", true},  {"[a]-[b]", true},     {"[a-b-c]", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWellFormedServerFilePattern(c.pattern), c.well_formed) << c.pattern;
  }
}

TEST(ConfigServerFile, MalformedPatternMakesTheFileInvalid) {
  struct Case {
    const char* value;
    bool valid;
  };
  const Case cases[] = {
      {"report.doc", true},
      {"*.doc", true},
      // Plain names are not checked, whatever they hold.
      {"a]b", true},
      {"[abc", false},
      {"end\\", false},
  };
  for (const Case& c : cases) {
    test::Parsed parsed =
        ParseWithCredentials("NVXFile " + std::string(c.value) + "\nLocalPath /\nCopyFromNVX\n");
    EXPECT_EQ(parsed.result, c.valid ? kConfigValid : kConfigInvalid) << c.value;
    EXPECT_EQ(parsed.errors, c.valid ? "" : "Invalid NVXFile name parm\n") << c.value;
    if (c.valid) {
      EXPECT_EQ(parsed.config.jobs[0].server_file, c.value);
    }
  }
}

}  // namespace
}  // namespace nvx
