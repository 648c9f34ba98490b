// The checks of a job configuration file: the messages of an invalid file, the capacity
// of every field, long lines, and the results type.
#include <gtest/gtest.h>

#include "runner/runner_limits.h"
#include "tests/runner/config_test_support.h"

namespace nvx {
namespace {

using test::Parse;
using test::ParseWithCredentials;

TEST(ConfigValidation, EveryMessageOfAnInvalidFile) {
  struct Case {
    const char* text;
    int result;
    const char* errors;
  };
  const Case cases[] = {
      {"#only comments\n \n", kConfigInvalid, "Invalid NVX user or password\n"},
      {"NVXUser bob\nLocalPath /\nSendToNVX\n", kConfigInvalid, "Invalid NVX user or password\n"},
      {"NVXPw secret\nLocalPath /\nSendToNVX\n", kConfigInvalid, "Invalid NVX user or password\n"},
      {"NVXUser    \nNVXPw secret\n", kConfigInvalid, "Invalid NVX user or password\n"},
      {"NVXUser bob\nNVXPw secret\nProxy \nProxyPort 80\n", kConfigInvalid,
       "Invalid proxy server or port\n"},
      {"NVXUser bob\nNVXPw secret\nProxy host\n", kConfigInvalid, "Invalid proxy server or port\n"},
      {"NVXUser bob\nNVXPw secret\nProxyId pid\n", kConfigInvalid,
       "Invalid proxy id or password\n"},
      {"NVXUser bob\nNVXPw secret\nProxyId \nProxyPassword pw\n", kConfigInvalid,
       "Invalid proxy id or password\n"},
      // A port without "Proxy " is no proxy at all.
      {"NVXUser bob\nNVXPw secret\nProxyPort 80\n", kConfigValid, ""},
      {"NVXUser bob\nNVXPw secret\nProxy host\nProxyPort 80\nProxyId pid\nProxyPassword p\n",
       kConfigValid, ""},
      // Every message that applies, in order.
      {"NVXFile [x\nProxy host\nProxyId pid\n", kConfigInvalid,
       "Invalid NVXFile name parm\nInvalid NVX user or password\n"
       "Invalid proxy server or port\nInvalid proxy id or password\n"},
      // A "[" without "]" ends reading at once, without a message.
      {"NVXPwEncrypt [abc\nProxy host\n", kConfigInvalid, ""},
      {"ProxyPasswordEncrypt [abc\n", kConfigInvalid, ""},
  };
  for (const Case& c : cases) {
    test::Parsed parsed = Parse(c.text);
    EXPECT_EQ(parsed.result, c.result) << c.text;
    EXPECT_EQ(parsed.errors, c.errors) << c.text;
  }
}

TEST(ConfigValidation, AValidFileWithoutJobsIsValid) {
  test::Parsed parsed = Parse("NVXUser bob\nNVXPw secret\n");
  EXPECT_EQ(parsed.result, kConfigValid);
  EXPECT_TRUE(parsed.config.jobs.empty());
}

TEST(ConfigValidation, ResultsTypeDefaultsToFileTransfer) {
  struct Case {
    const char* lines;
    const char* results_type;
  };
  const Case cases[] = {
      {"", "File Transfer"},
      {"ResultsType \n", "File Transfer"},
      {"ResultsType transfer\n", "File Transfer"},
      {"ResultsType TRANSFER  \n", "File Transfer"},
      {"ResultsType Backup\n", "Backup"},
      {"ResultsType Transfers\n", "Transfers"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseWithCredentials(c.lines).config.results_type, c.results_type) << c.lines;
  }
}

TEST(ConfigValidation, LogDirectoryEndsWithASlash) {
  EXPECT_EQ(ParseWithCredentials("LogDirectory /var/nvx/logs\n").config.log_directory,
            "/var/nvx/logs/");
  EXPECT_EQ(ParseWithCredentials("LogDirectory /var/nvx/logs/\n").config.log_directory,
            "/var/nvx/logs/");
  EXPECT_EQ(ParseWithCredentials("LogDirectory \n").config.log_directory, "");
}

// Values longer than their field are refused with a message naming the keyword; the
// longest value that fits is kept whole.
TEST(ConfigCapacity, EveryFieldTakesItsWidthLessOneAndRefusesMore) {
  struct Case {
    const char* keyword;
    size_t width;
    const char* tail;  // lines after the value line, to reach the field
  };
  const Case cases[] = {
      {"NVXUser", kConfigUserWidth, ""},
      {"NVXPw", kConfigPasswordWidth, ""},
      {"ResultsType", kConfigResultsTypeWidth, ""},
      {"NVXServer", kConfigServerHostWidth, ""},
      {"NVXServerCA", kConfigServerCaFileWidth, ""},
      {"Proxy", kConfigProxyHostWidth, "ProxyPort 1\n"},
      {"ProxyPort", kConfigProxyPortWidth, "Proxy p\n"},
      {"ProxyId", kConfigProxyIdWidth, "ProxyPassword p\n"},
      {"ProxyPassword", kConfigProxyPasswordWidth, "ProxyId p\n"},
      {"NVXPath", kConfigServerPathWidth, "LocalPath /\nSendToNVX\n"},
      {"NVXFile", kConfigServerFileWidth, "CopyFromNVX\n"},
      {"LocalPath", kConfigLocalPathWidth, "CopyFromNVX\n"},
      {"SkipFolder", kConfigListEntryWidth, "LocalPath /\nSendToNVX\n"},
      {"ExcludeExtension", kConfigListEntryWidth, "LocalPath /\nSendToNVX\n"},
      {"VerifyPath", kConfigListEntryWidth, "VerifyNVXFolders\n"},
  };
  for (const Case& c : cases) {
    std::string keyword = c.keyword;
    std::string fits(c.width - 1, 'a');
    std::string too_long(c.width, 'a');
    if (keyword == "NVXUser" || keyword == "NVXPw") {
      // The other credential line comes from a plain line of its own.
      std::string other = keyword == "NVXUser" ? "NVXPw secret\n" : "NVXUser bob\n";
      test::Parsed ok = Parse(other + keyword + " " + fits + "\n" + c.tail);
      EXPECT_EQ(ok.result, kConfigValid) << keyword << ok.errors;
      test::Parsed refused = Parse(other + keyword + " " + too_long + "\n" + c.tail);
      EXPECT_EQ(refused.result, kConfigInvalid) << keyword;
      EXPECT_NE(refused.errors.find("Invalid " + keyword + " value: longer than " +
                                    std::to_string(c.width - 1) + " characters\n"),
                std::string::npos)
          << keyword << ": " << refused.errors;
      continue;
    }
    test::Parsed ok = ParseWithCredentials(keyword + " " + fits + "\n" + c.tail);
    EXPECT_EQ(ok.result, kConfigValid) << keyword << ": " << ok.errors;
    test::Parsed refused = ParseWithCredentials(keyword + " " + too_long + "\n" + c.tail);
    EXPECT_EQ(refused.result, kConfigInvalid) << keyword;
    // Further messages follow when the refused value leaves a needed field empty.
    EXPECT_EQ(refused.errors.rfind("Invalid " + keyword + " value: longer than " +
                                       std::to_string(c.width - 1) + " characters\n",
                                   0),
              0u)
        << keyword << ": " << refused.errors;
  }
}

TEST(ConfigCapacity, FittingValuesArriveWhole) {
  std::string path = "/" + std::string(kConfigLocalPathWidth - 2, 'p');
  std::string folder(kConfigListEntryWidth - 1, 's');
  test::Parsed parsed =
      ParseWithCredentials("LocalPath " + path + "\nSkipFolder " + folder + "\nNVXPath \\" +
                           std::string(300, 'n') + "\nCopyFromNVX\n");
  ASSERT_EQ(parsed.result, kConfigValid) << parsed.errors;
  EXPECT_EQ(parsed.config.jobs[0].local_path, path);
  EXPECT_EQ(parsed.config.jobs[0].folder_list.front(), folder);
  EXPECT_EQ(parsed.config.jobs[0].server_path.size(), 301u);
}

TEST(ConfigCapacity, SplitPartsOfALocalFileAreCheckedToo) {
  std::string long_name(kConfigLocalFileWidth, 'f');
  test::Parsed parsed = ParseWithCredentials("LocalFile /data/" + long_name + "\n");
  EXPECT_EQ(parsed.result, kConfigInvalid);
  EXPECT_EQ(parsed.errors, "Invalid LocalFile value: longer than 255 characters\n");
}

// Lines of 599 characters and more are read whole: no part of a line is ever taken as a
// line of its own.
TEST(ConfigLongLines, ALongLineIsOneLine) {
  std::string skip = std::string(598, 's') + "SendToNVX" + std::string(300, 't');
  test::Parsed parsed = ParseWithCredentials("SkipFolder " + skip + "\nLocalPath /\nSendToNVX\n");
  ASSERT_EQ(parsed.result, kConfigValid) << parsed.errors;
  ASSERT_EQ(parsed.config.jobs.size(), 1u);
  EXPECT_EQ(parsed.config.jobs[0].folder_list.front(), skip);
}

TEST(ConfigLongLines, ALineLongerThanAnyFieldIsRefusedAndItsRestIsNoLine) {
  // The rest after the kept part begins with a verb: it must not become a job.
  std::string value = std::string(kConfigLineMax, 'a') + "SendToNVX";
  test::Parsed parsed = ParseWithCredentials("LocalPath " + value + "\n");
  EXPECT_EQ(parsed.result, kConfigInvalid);
  EXPECT_TRUE(parsed.config.jobs.empty());
  EXPECT_EQ(parsed.errors, "Invalid LocalPath value: longer than 511 characters\n");
}

TEST(ConfigLongLines, LongCommentsAreStillComments) {
  std::string comment = "#" + std::string(10000, 'c') + "\nLocalPath /\nSendToNVX tail\n";
  test::Parsed parsed = ParseWithCredentials(comment + "LocalPath /\nSendToNVX\n");
  EXPECT_EQ(parsed.result, kConfigValid) << parsed.errors;
  EXPECT_EQ(parsed.config.jobs.size(), 2u);  // the "SendToNVX tail" line is a line
}

TEST(ConfigLines, CrLfAndLfAndAMissingLastLineEndReadAlike) {
  const char* lf = "NVXUser bob\nNVXPw secret\nLocalPath /\nNVXPath \\B\\\nSendToNVX\n";
  const char* crlf = "NVXUser bob\r\nNVXPw secret\r\nLocalPath /\r\nNVXPath \\B\\\r\nSendToNVX\r\n";
  const char* no_end = "NVXUser bob\nNVXPw secret\nLocalPath /\nNVXPath \\B\\\nSendToNVX";
  for (const char* text : {lf, crlf, no_end}) {
    test::Parsed parsed = Parse(text);
    ASSERT_EQ(parsed.result, kConfigValid) << text;
    EXPECT_EQ(parsed.config.user, "bob");
    EXPECT_EQ(parsed.config.password, "secret");
    ASSERT_EQ(parsed.config.jobs.size(), 1u);
    EXPECT_EQ(parsed.config.jobs[0].server_path, "\\B");
    EXPECT_EQ(parsed.config.jobs[0].local_file, "*.*");
  }
}

TEST(ConfigLines, ALineEndsAtItsFirstCarriageReturnOrNul) {
  const char text[] = "NVXUser bob\rNVXPw hidden\nNVXPw sec\0ret\n";
  test::Parsed parsed = Parse(std::string_view(text, sizeof text - 1));
  EXPECT_EQ(parsed.config.user, "bob");
  EXPECT_EQ(parsed.config.password, "sec");
}

}  // namespace
}  // namespace nvx
