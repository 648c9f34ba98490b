// The job configuration file's keywords: matching, Y/N values, the verbs and what carries
// over from one job to the next. The keywords in these cases are this test's own
// spelling, kept apart from the shared table (jobfiles/config_keywords.h) on purpose: they
// say what a file holds, whatever the table says.
#include <gtest/gtest.h>

#include "jobfiles/config_keywords.h"
#include "platform/text_format.h"
#include "tests/runner/config_test_support.h"

namespace nvx {
namespace {

using test::Parse;
using test::ParseWithCredentials;

TEST(ConfigMatching, KeywordsMatchByPrefixIgnoringCaseAndKeepLeadingBlanks) {
  struct Case {
    const char* line;
    const char* user;
  };
  const Case cases[] = {
      {"NVXUser bob", "bob"},
      {"nvxuser bob", "bob"},
      {"NVXUSER  bob", " bob"},
      {"NVXUser bob   ", "bob"},
      {"NVXUser bob smith", "bob smith"},
      {"NVXUser", ""},  // no blank after the keyword: no match
      {"#NVXUser bob", ""},
      {" NVXUser bob", ""},
  };
  for (const Case& c : cases) {
    test::Parsed parsed = Parse(std::string(c.line) + "\nSendToNVX\n");
    EXPECT_EQ(parsed.config.user, c.user) << c.line;
  }
}

TEST(ConfigMatching, VerbsMatchWithoutBlankAndComeFirst) {
  struct Case {
    const char* line;
    JobKind kind;  // kNone: the line is no verb
  };
  const Case cases[] = {
      {"SendToNVX", JobKind::kUpload},
      {"sendtonvx now please", JobKind::kUpload},
      {"CopyFromNVX", JobKind::kDownload},
      {"MoveFromNVXlater", JobKind::kDownload},
      {"DeleteEmptyNVXFolders", JobKind::kDeleteEmptyFolders},
      // Begins like "Verify " but is the verb.
      {"VerifyNVXFolders", JobKind::kVerifyFolders},
      {"CLEANNVX", JobKind::kClean},
      {"SendLogs", JobKind::kSendLog},
      // Begins like "Verify " too; a restore test of the default five files.
      {"VerifyRestore", JobKind::kVerifyRestore},
      {"Send ToNVX", JobKind::kNone},
      {"# SendToNVX", JobKind::kNone},
  };
  for (const Case& c : cases) {
    test::Parsed parsed = ParseWithCredentials("LocalPath /\n" + std::string(c.line) + "\n");
    if (c.kind == JobKind::kNone) {
      EXPECT_TRUE(parsed.config.jobs.empty()) << c.line;
      continue;
    }
    ASSERT_EQ(parsed.config.jobs.size(), 1u) << c.line;
    EXPECT_EQ(KindOf(parsed.config.jobs[0]), c.kind) << c.line;
    EXPECT_TRUE(parsed.config.jobs[0].complete);
  }
}

TEST(ConfigMatching, TheDesktopNotificationWishAndTheRestoreTestCount) {
  const struct {
    const char* lines;
    const char* notify;
    int restore_files;  // 0: the file is invalid
  } cases[] = {
      {"DesktopNotify Always\nVerifyRestore 12\n", "always", 12},
      {"DesktopNotify never\nVerifyRestore\n", "never", 5},
      {"DesktopNotify Failures\nVerifyRestore 0\n", "failures", 0},
      {"DesktopNotify what\nVerifyRestore 1001\n", "failures", 0},
      {"VerifyRestore 3 files\n", "failures", 0},
  };
  for (const auto& c : cases) {
    test::Parsed parsed = ParseWithCredentials(std::string("LocalPath /\n") + c.lines);
    EXPECT_EQ(parsed.config.desktop_notify, c.notify) << c.lines;
    EXPECT_EQ(parsed.result == kConfigValid, c.restore_files != 0) << c.lines << parsed.errors;
    if (c.restore_files != 0) {
      ASSERT_EQ(parsed.config.jobs.size(), 1u);
      EXPECT_EQ(parsed.config.jobs[0].restore_test_files, c.restore_files) << c.lines;
    }
  }
}

TEST(ConfigMatching, LongerKeywordsAreNotTakenForShorterOnes) {
  test::Parsed parsed = ParseWithCredentials(
      "Proxy proxy.example\nProxyPort 3128\nProxyId pid\nProxyPassword ppw\n"
      "LogLevel SCRIPT\nLogCount 4\nLogDirectory /var/log/nvx\n"
      "TransferCompress Y\nLocalPath /\nSendToNVX\n");
  ASSERT_EQ(parsed.result, kConfigValid) << parsed.errors;
  const JobConfig& config = parsed.config;
  EXPECT_EQ(config.desktop_notify, "failures");
  EXPECT_EQ(config.proxy_host, "proxy.example");
  EXPECT_EQ(config.proxy_port, "3128");
  EXPECT_EQ(config.proxy_id, "pid");
  EXPECT_EQ(config.proxy_password, "ppw");
  EXPECT_EQ(config.log_level, 4);
  EXPECT_EQ(config.log_directory, "/var/log/nvx/");
  EXPECT_EQ(config.jobs[0].log_count, 4);
  EXPECT_TRUE(config.jobs[0].transfer_compress);
  EXPECT_FALSE(config.jobs[0].compress);
}

TEST(ConfigMatching, EveryKeywordAsTheWizardWritesItIsReadAsItself) {
  for (const jobfiles::ConfigKeywordSpelling& row : jobfiles::kConfigKeywords) {
    const std::string line = std::string(row.written) + (row.verb ? "" : " value");
    std::optional<jobfiles::KeywordMatch> match = jobfiles::MatchConfigKeyword(line);
    ASSERT_TRUE(match.has_value()) << line;
    EXPECT_EQ(match->spelling->keyword, row.keyword) << line;
    EXPECT_TRUE(EqualsIgnoreCase(row.written, row.name)) << line;
  }
}

TEST(ConfigMatching, UnknownLinesAndCommentsAreIgnored) {
  test::Parsed plain = ParseWithCredentials("LocalPath /\nSendToNVX\n");
  test::Parsed commented = ParseWithCredentials(
      "#config file for backup\n \n\nBogus line\n#NVXUser eve\nLocalPath /\n"
      "# SendToNVX\nSendToNVX\n#END\n");
  ASSERT_EQ(commented.result, kConfigValid);
  EXPECT_EQ(commented.config.user, "bob");
  ASSERT_EQ(commented.config.jobs.size(), plain.config.jobs.size());
}

TEST(ConfigMatching, WholeRunSettingsTakeTheLastValueWhereverItStands) {
  test::Parsed parsed = Parse(
      "NVXUser first\nNVXPw one\nResultsType Backup\nLocalPath /\nSendToNVX\n"
      "NVXUser second\nNVXPw two\nResultsType Restore\nNVXServer https://host:8443, host:8080\n"
      "NVXServerCA /etc/nvx/authority.pem\n");
  ASSERT_EQ(parsed.result, kConfigValid);
  EXPECT_EQ(parsed.config.user, "second");
  EXPECT_EQ(parsed.config.password, "two");
  EXPECT_EQ(parsed.config.results_type, "Restore");
  EXPECT_EQ(parsed.config.server_host, "https://host:8443, host:8080");
  EXPECT_EQ(parsed.config.server_ca_file, "/etc/nvx/authority.pem");
}

TEST(ConfigYesNo, OnlyTheFirstCharacterOfTheValueCounts) {
  struct Case {
    const char* value;
    bool from_false;
    bool from_true;
  };
  const Case cases[] = {
      {"Y", true, true},   {"y", true, true},    {"Yes please", true, true}, {"N", false, false},
      {"n", false, false}, {"no", false, false}, {"x", false, true},         {"1", false, true},
      {" Y", false, true}, {"", false, true},    {"true", false, true},
  };
  for (const Case& c : cases) {
    std::string value = c.value;
    // "Verify" starts set; "Debug" starts cleared: each is moved from both states.
    test::Parsed parsed =
        ParseWithCredentials("LocalPath /\nVerify " + value + "\nSendToNVX\nVerify N\nVerify " +
                             value + "\nLocalPath /\nSendToNVX\n");
    ASSERT_EQ(parsed.config.jobs.size(), 2u);
    EXPECT_EQ(parsed.config.jobs[0].verify, c.from_true) << "'" << value << "'";
    EXPECT_EQ(parsed.config.jobs[1].verify, c.from_false) << "'" << value << "'";
  }
}

TEST(ConfigYesNo, EveryFlagKeywordSetsAndClearsItsFlag) {
  struct Case {
    const char* keyword;
    bool JobEntry::*flag;
  };
  const Case cases[] = {
      {"Debug ", &JobEntry::debug},
      {"Progress ", &JobEntry::progress},
      {"IncludeSubFolders ", &JobEntry::include_subfolders},
      {"Verify ", &JobEntry::verify},
      {"Compress ", &JobEntry::compress},
      {"TransferCompress ", &JobEntry::transfer_compress},
      {"ForceMd5 ", &JobEntry::force_digest},
      {"UseNvxDate ", &JobEntry::use_server_date},
      {"DuplicateFiles ", &JobEntry::duplicate_files},
      {"NotifyUser ", &JobEntry::notify_user},
      {"NotifyAdmin ", &JobEntry::notify_administrator},
  };
  for (const Case& c : cases) {
    std::string keyword = c.keyword;
    test::Parsed parsed = ParseWithCredentials("LocalPath /\n" + keyword + "Y\nSendToNVX\n" +
                                               "LocalPath /\n" + keyword + "n\nSendToNVX\n");
    ASSERT_EQ(parsed.config.jobs.size(), 2u) << keyword;
    EXPECT_TRUE(parsed.config.jobs[0].*c.flag) << keyword;
    EXPECT_FALSE(parsed.config.jobs[1].*c.flag) << keyword;
  }
}

TEST(ConfigYesNo, LowerCaseVerifyNTurnsVerificationOffForTheNextJob) {
  test::Parsed parsed =
      ParseWithCredentials("LocalPath /\nSendToNVX\nverify n\nLocalPath /\nSendToNVX\n");
  ASSERT_EQ(parsed.config.jobs.size(), 2u);
  EXPECT_TRUE(parsed.config.jobs[0].verify);
  EXPECT_FALSE(parsed.config.jobs[1].verify);
}

TEST(ConfigYesNo, CompressAndTransferCompressExcludeEachOther) {
  struct Case {
    const char* lines;
    bool compress;
    bool transfer_compress;
  };
  const Case cases[] = {
      {"Compress Y\nTransferCompress Y\n", false, true},
      {"TransferCompress Y\nCompress Y\n", true, false},
      {"Compress Y\nTransferCompress N\n", true, false},
      {"TransferCompress Y\nCompress N\n", false, true},
      {"Compress Y\nTransferCompress x\n", true, false},
  };
  for (const Case& c : cases) {
    test::Parsed parsed = ParseWithCredentials(std::string(c.lines) + "LocalPath /\nSendToNVX\n");
    ASSERT_EQ(parsed.config.jobs.size(), 1u);
    EXPECT_EQ(parsed.config.jobs[0].compress, c.compress) << c.lines;
    EXPECT_EQ(parsed.config.jobs[0].transfer_compress, c.transfer_compress) << c.lines;
  }
}

TEST(ConfigVerbs, EachVerbSetsItsFlagsAndClearsTheRestOfTheGroup) {
  struct Case {
    const char* verb;
    bool upload, download, move, verify_folders, clean, delete_empty;
  };
  const Case cases[] = {
      {"SendToNVX", true, false, false, false, false, false},
      {"MoveToNVX", true, false, true, false, false, false},
      {"CopyFromNVX", false, true, false, false, false, false},
      {"MoveFromNVX", false, true, true, false, false, false},
      {"DeleteEmptyNVXFolders", false, false, false, false, false, true},
      {"VerifyNVXFolders", false, false, false, true, false, false},
      {"CleanNVX", false, false, false, false, true, false},
      {"SendLog", false, false, false, false, false, false},
  };
  // Each verb follows every other verb, so that whatever the earlier one set is cleared.
  for (const Case& before : cases) {
    for (const Case& c : cases) {
      test::Parsed parsed = ParseWithCredentials("LocalPath /\n" + std::string(before.verb) +
                                                 "\nLocalPath /\n" + c.verb + "\n");
      ASSERT_EQ(parsed.config.jobs.size(), 2u) << before.verb << " " << c.verb;
      const JobEntry& job = parsed.config.jobs[1];
      std::string label = std::string(before.verb) + " then " + c.verb;
      EXPECT_EQ(job.upload, c.upload) << label;
      EXPECT_EQ(job.download, c.download) << label;
      EXPECT_EQ(job.move, c.move) << label;
      EXPECT_EQ(job.verify_folders, c.verify_folders) << label;
      EXPECT_EQ(job.clean, c.clean) << label;
      EXPECT_EQ(job.delete_empty_folders, c.delete_empty) << label;
    }
  }
}

TEST(ConfigVerbs, SendLogIsCarriedOnButEveryOtherKindComesFirst) {
  test::Parsed parsed = ParseWithCredentials(
      "NVXPath \\Backup\\Logs\\\nLogCount 2\nSendLog\nLocalPath /\nSendToNVX\n"
      "CleanNVX\nVerifyNVXFolders\n");
  ASSERT_EQ(parsed.config.jobs.size(), 4u);
  EXPECT_EQ(KindOf(parsed.config.jobs[0]), JobKind::kSendLog);
  EXPECT_EQ(parsed.config.jobs[0].server_path, "\\Backup\\Logs");
  EXPECT_EQ(parsed.config.jobs[0].log_count, 2);
  for (size_t i = 1; i < 4; ++i) EXPECT_TRUE(parsed.config.jobs[i].send_log);
  EXPECT_EQ(KindOf(parsed.config.jobs[1]), JobKind::kUpload);
  EXPECT_EQ(KindOf(parsed.config.jobs[2]), JobKind::kClean);
  EXPECT_EQ(KindOf(parsed.config.jobs[3]), JobKind::kVerifyFolders);
}

TEST(ConfigVerbs, DebugClearsProgressAtEveryVerb) {
  test::Parsed parsed = ParseWithCredentials(
      "Progress Y\nLocalPath /\nSendToNVX\nDebug Y\nProgress Y\nLocalPath /\nSendToNVX\n"
      "Debug N\nProgress Y\nCleanNVX\n");
  ASSERT_EQ(parsed.config.jobs.size(), 3u);
  EXPECT_TRUE(parsed.config.jobs[0].progress);
  EXPECT_TRUE(parsed.config.jobs[1].debug);
  EXPECT_FALSE(parsed.config.jobs[1].progress);
  EXPECT_TRUE(parsed.config.jobs[2].progress);
}

TEST(ConfigCarryOver, JobSettingsCarryOverAndTheJobsOwnPartsAreCleared) {
  test::Parsed parsed = ParseWithCredentials(
      "Debug Y\nVerify N\nForceMd5 Y\nTransferCompress Y\nUseNvxDate Y\nDuplicateFiles Y\n"
      "NotifyAdmin Y\nLogCount 3\nTransfers 4\nIncludeSubFolders Y\nSkipFolder Music\nVerifyPath "
      "\\A\\\n"
      "ExcludeExtension .exe\nExcludeExtension .lnk\nNVXPath \\Backup\\Docs\\\n"
      "NVXFile report.doc\nLocalPath /\nMoveToNVX\nCopyFromNVX\n");
  ASSERT_EQ(parsed.result, kConfigValid) << parsed.errors;
  ASSERT_EQ(parsed.config.jobs.size(), 2u);
  const JobEntry& first = parsed.config.jobs[0];
  EXPECT_TRUE(first.include_subfolders);
  EXPECT_EQ(first.folder_list, (std::deque<std::string>{"\\A", "Music"}));
  EXPECT_EQ(first.excluded_extensions, (std::deque<std::string>{".lnk", ".exe"}));
  EXPECT_EQ(first.server_path, "\\Backup\\Docs");
  EXPECT_EQ(first.server_file, "report.doc");
  EXPECT_TRUE(first.move);

  const JobEntry& second = parsed.config.jobs[1];
  // Carried over.
  EXPECT_TRUE(second.debug);
  EXPECT_FALSE(second.verify);
  EXPECT_TRUE(second.force_digest);
  EXPECT_TRUE(second.transfer_compress);
  EXPECT_TRUE(second.use_server_date);
  EXPECT_TRUE(second.duplicate_files);
  EXPECT_TRUE(second.notify_administrator);
  EXPECT_EQ(second.log_count, 3);
  EXPECT_EQ(second.transfers, 4);
  // The job's own parts start afresh.
  EXPECT_FALSE(second.include_subfolders);
  EXPECT_TRUE(second.folder_list.empty());
  EXPECT_TRUE(second.excluded_extensions.empty());
  EXPECT_EQ(second.server_path, "");
  EXPECT_EQ(second.server_file, "");
  EXPECT_EQ(second.local_path, "");
  EXPECT_EQ(second.local_file, "");
  EXPECT_FALSE(second.move);
}

TEST(ConfigCarryOver, SubfoldersAreNotInheritedButTransferCompressIs) {
  test::Parsed parsed = ParseWithCredentials(
      "IncludeSubfolders Y\nTransferCompress Y\nLocalPath /\nSendToNVX\nLocalPath /\n"
      "SendToNVX\n");
  ASSERT_EQ(parsed.config.jobs.size(), 2u);
  EXPECT_TRUE(parsed.config.jobs[0].include_subfolders);
  EXPECT_FALSE(parsed.config.jobs[1].include_subfolders);
  EXPECT_TRUE(parsed.config.jobs[1].transfer_compress);
}

TEST(ConfigCarryOver, SettingsAfterTheLastVerbMakeNoJob) {
  test::Parsed parsed =
      ParseWithCredentials("LocalPath /\nSendToNVX\nLocalPath /tmp\nNVXPath \\X\n");
  ASSERT_EQ(parsed.config.jobs.size(), 1u);
  EXPECT_EQ(parsed.config.jobs[0].server_path, "");
}

TEST(ConfigNotify, TheRunFlagIsRaisedOnlyWhenAFurtherLineIsRead) {
  struct Case {
    const char* text;
    bool notify_user;
    bool notify_administrator;
  };
  const Case cases[] = {
      {"LocalPath /\nSendToNVX\nNotifyUser Y", false, false},
      {"LocalPath /\nSendToNVX\nNotifyUser Y\n", false, false},
      {"LocalPath /\nSendToNVX\nNotifyUser Y\n#END\n", true, false},
      {"LocalPath /\nNotifyUser Y\nSendToNVX\n", true, false},
      {"LocalPath /\nNotifyAdmin Y\nSendToNVX\n", false, true},
      // Once raised it stays, whatever later jobs say.
      {"NotifyUser Y\nLocalPath /\nSendToNVX\nNotifyUser N\nLocalPath /\nSendToNVX\n", true, false},
  };
  for (const Case& c : cases) {
    test::Parsed parsed = ParseWithCredentials(c.text);
    EXPECT_EQ(parsed.config.notify_user, c.notify_user) << c.text;
    EXPECT_EQ(parsed.config.notify_administrator, c.notify_administrator) << c.text;
  }
}

TEST(ConfigLogLevel, NamesAreMatchedByPrefixInAnyCaseAndOtherValuesKeepTheLevel) {
  struct Case {
    const char* value;
    int32_t level;  // after an earlier "LogLevel SCRIPT"
  };
  const Case cases[] = {
      {"ErrorOnly", 2}, {"erroronly", 2}, {"ACTIVITY", 1}, {"Activity log", 1},
      {"SCRIPT", 4},    {"DEBUG1", 8},    {"debug1", 8},   {"DEBUG", 4},
      {"verbose", 4},   {"", 4},          {" DEBUG1", 4},
  };
  for (const Case& c : cases) {
    test::Parsed parsed =
        ParseWithCredentials("LogLevel SCRIPT\nLogLevel " + std::string(c.value) + "\n");
    EXPECT_EQ(parsed.config.log_level, c.level) << "'" << c.value << "'";
  }
  EXPECT_EQ(ParseWithCredentials("").config.log_level, 1);
}

TEST(ConfigTransfers, OneToEightOrAClearError) {
  const std::pair<const char*, int32_t> cases[] = {
      {"1", 1}, {"8", 8}, {"4   ", 4}, {"0", 0}, {"9", 0}, {"-2", 0}, {"four", 0}, {"", 0},
  };
  EXPECT_EQ(ParseWithCredentials("LocalPath /\nSendToNVX\n").config.jobs[0].transfers, 1);
  for (const auto& [value, transfers] : cases) {
    test::Parsed parsed =
        ParseWithCredentials("Transfers " + std::string(value) + "\nLocalPath /\nSendToNVX\n");
    if (transfers != 0) {
      ASSERT_EQ(parsed.result, kConfigValid) << value << parsed.errors;
      EXPECT_EQ(parsed.config.jobs[0].transfers, transfers) << value;
    } else {
      EXPECT_EQ(parsed.result, kConfigInvalid) << value;
      EXPECT_NE(parsed.errors.find("Invalid Transfers value"), std::string::npos) << value;
    }
  }
}

TEST(ConfigLogCount, ANumberOrAClearError) {
  struct Case {
    const char* value;
    int result;
    int32_t count;
  };
  const Case cases[] = {
      {"2", kConfigValid, 2},     {"0", kConfigValid, 0},
      {"-1", kConfigValid, -1},   {"2   ", kConfigValid, 2},
      {"two", kConfigInvalid, 0}, {"2x", kConfigInvalid, 0},
      {"", kConfigInvalid, 0},    {"99999999999", kConfigInvalid, 0},
  };
  for (const Case& c : cases) {
    test::Parsed parsed =
        ParseWithCredentials("LogCount " + std::string(c.value) + "\nNVXPath \\L\nSendLog\n");
    EXPECT_EQ(parsed.result, c.result) << c.value;
    if (c.result == kConfigValid) {
      EXPECT_EQ(parsed.config.jobs[0].log_count, c.count);
    } else {
      EXPECT_NE(parsed.errors.find("Invalid LogCount value"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace nvx
