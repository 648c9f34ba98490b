// Job configuration files on disk: reading, the scrambling of plain passwords and the
// rewrite that keeps them off the disk.
#include <gtest/gtest.h>

#include "runner/password_scrambling.h"
#include "runner/runner_limits.h"
#include "tests/runner/config_test_support.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

struct ReadResult {
  int result = -1;
  JobConfig config;
  std::string errors;
};

ReadResult Read(const std::string& path) {
  ReadResult read;
  std::ostringstream errors;
  read.result = ReadJobConfiguration(path, read.config, errors);
  read.errors = errors.str();
  return read;
}

class ConfigFiles : public ::testing::Test {
 protected:
  std::string Write(const std::string& text) {
    test::WriteFileText(path_, text);
    return path_;
  }

  test::TempDir temp_;
  std::string path_ = temp_.File("config.txt");
};

TEST_F(ConfigFiles, AMissingFileIs20WithoutMessage) {
  ReadResult read = Read(temp_.File("nothing.txt"));
  EXPECT_EQ(read.result, kConfigCannotOpen);
  EXPECT_EQ(read.errors, "");
  EXPECT_EQ(Read(temp_.path()).result, kConfigCannotOpen);  // a folder reads as nothing
}

TEST_F(ConfigFiles, AnOversizedFileIsRefused) {
  Write(std::string(kConfigFileMaxBytes + 1, '#'));
  ReadResult read = Read(path_);
  EXPECT_EQ(read.result, kConfigInvalid);
  EXPECT_NE(read.errors.find("larger than"), std::string::npos);
}

TEST_F(ConfigFiles, CrLfFileWithPlainPasswordsStaysUnchanged) {
  const std::string text = "NVXUser bob\r\nNVXPw secret\r\nLocalPath /\r\nSendToNVX\r\n";
  Write(text);
  ReadResult read = Read(path_);
  ASSERT_EQ(read.result, kConfigValid) << read.errors;
  EXPECT_FALSE(read.config.rewrite_needed);
  EXPECT_EQ(test::ReadFileText(path_), text);
}

TEST_F(ConfigFiles, DefaultConfigurationIsBesideTheProgram) {
  EXPECT_EQ(DefaultConfigurationPath("/opt/nvx/NVXbackup"), "/opt/nvx/config.txt");
  EXPECT_EQ(DefaultConfigurationPath("/NVXbackup"), "/config.txt");
  EXPECT_EQ(DefaultConfigurationPath("NVXbackup"), "");
}

// The wizard writes the password as typed under "NVXPwEncrypt "; the first read scrambles
// it and rewrites the file so that only the scrambled form stays on disk.
TEST_F(ConfigFiles, APlainScrambledPasswordIsRewrittenOnceAndReadsBackTheSame) {
  Write(
      "#config file for backup\r\nNVXuser bob\r\n \r\nnvxpwencrypt secret  \r\n"
      "LocalPath /\r\nSendToNVX\r\n#END\r\n");
  ReadResult first = Read(path_);
  ASSERT_EQ(first.result, kConfigValid) << first.errors;
  EXPECT_TRUE(first.config.password_scrambled);
  EXPECT_TRUE(first.config.rewrite_needed);
  EXPECT_NE(first.config.password, "secret");
  EXPECT_TRUE(IsLoginTokenOf("bob", first.config.password));

  std::string rewritten = test::ReadFileText(path_);
  EXPECT_EQ(rewritten, "#config file for backup\nNVXuser bob\n \nNVXPwEncrypt [" +
                           first.config.password + "]\nLocalPath /\nSendToNVX\n#END\n");
  EXPECT_EQ(rewritten.find("secret"), std::string::npos);
  EXPECT_FALSE(test::ListFolder(temp_.path()).size() != 1) << "no side file is left";

  ReadResult second = Read(path_);
  ASSERT_EQ(second.result, kConfigValid) << second.errors;
  EXPECT_EQ(second.config.password, first.config.password);
  EXPECT_TRUE(second.config.password_scrambled);
  EXPECT_FALSE(second.config.rewrite_needed);
  EXPECT_EQ(test::ReadFileText(path_), rewritten);
}

TEST_F(ConfigFiles, AScrambledPasswordBeforeTheUserLineUsesAnEmptyUser) {
  Write("NVXPwEncrypt secret\nNVXUser bob\nLocalPath /\nSendToNVX\n");
  ReadResult read = Read(path_);
  ASSERT_EQ(read.result, kConfigValid);
  EXPECT_TRUE(IsLoginTokenOf("", read.config.password));
  EXPECT_FALSE(IsLoginTokenOf("bob", read.config.password));
}

TEST_F(ConfigFiles, ABracketedValueIsTakenAsItStands) {
  Write("NVXUser bob\nNVXPwEncrypt [QUJDREVGR0hJSktMTU5PUA==] trailing\nLocalPath /\nSendToNVX\n");
  ReadResult read = Read(path_);
  ASSERT_EQ(read.result, kConfigValid);
  EXPECT_EQ(read.config.password, "QUJDREVGR0hJSktMTU5PUA==");
  EXPECT_TRUE(read.config.password_scrambled);
  EXPECT_FALSE(read.config.rewrite_needed);
}

TEST_F(ConfigFiles, AnEmptyScrambledPasswordIsNoPassword) {
  for (const char* line : {"NVXPwEncrypt \n", "NVXPwEncrypt []\n"}) {
    Write(std::string("NVXUser bob\n") + line);
    ReadResult read = Read(path_);
    EXPECT_EQ(read.result, kConfigInvalid) << line;
    EXPECT_EQ(read.errors, "Invalid NVX user or password\n") << line;
  }
}

TEST_F(ConfigFiles, AProxyPasswordIsScrambledAndRewrittenToo) {
  Write(
      "NVXUser bob\nNVXPwEncrypt secret\nProxy proxy\nProxyPort 3128\nProxyId pid\n"
      "ProxyPasswordEncrypt proxy-secret\nLocalPath /\nSendToNVX\n");
  ReadResult first = Read(path_);
  ASSERT_EQ(first.result, kConfigValid) << first.errors;
  EXPECT_TRUE(first.config.proxy_password_scrambled);
  EXPECT_TRUE(IsWellFormedScrambledText(first.config.proxy_password));
  std::string rewritten = test::ReadFileText(path_);
  EXPECT_NE(rewritten.find("\nProxyPasswordEncrypt [" + first.config.proxy_password + "]\n"),
            std::string::npos);
  EXPECT_EQ(rewritten.find("proxy-secret"), std::string::npos);
  ReadResult second = Read(path_);
  EXPECT_EQ(second.config.proxy_password, first.config.proxy_password);
  EXPECT_EQ(second.config.password, first.config.password);
  EXPECT_FALSE(second.config.rewrite_needed);
}

TEST_F(ConfigFiles, APlainTextToScrambleHasABound) {
  Write("NVXUser bob\nNVXPw p\nProxy h\nProxyPort 1\nProxyId i\nProxyPasswordEncrypt " +
        std::string(kConfigScrambleInputMax + 1, 'x') + "\n");
  ReadResult read = Read(path_);
  EXPECT_EQ(read.result, kConfigInvalid);
  EXPECT_EQ(
      read.errors.rfind("Invalid ProxyPasswordEncrypt value: longer than 127 characters\n", 0), 0u);
  EXPECT_NE(test::ReadFileText(path_).find(std::string(128, 'x')), std::string::npos);
}

TEST_F(ConfigFiles, TheRewriteCopiesLongLinesWholeAndKeepsAccessRights) {
  // A 300-character local path must stay one line, or the job would change.
  std::string outer = temp_.File(std::string(200, 'd'));
  std::string folder = outer + "/" + std::string(300 - outer.size() - 1, 'e');
  test::MakeFolder(outer);
  test::MakeFolder(folder);
  ASSERT_EQ(folder.size(), 300u);
  std::string skip(900, 's');
  Write("NVXUser bob\nNVXPwEncrypt secret\nLocalPath " + folder + "\nSkipFolder " + skip +
        "\nSendToNVX\n");
  test::SetPermissions(path_, 0600);
  ReadResult first = Read(path_);
  ASSERT_EQ(first.result, kConfigValid) << first.errors;
  std::string rewritten = test::ReadFileText(path_);
  EXPECT_NE(rewritten.find("\nLocalPath " + folder + "\n"), std::string::npos);
  EXPECT_NE(rewritten.find("\nSkipFolder " + skip + "\n"), std::string::npos);
  EXPECT_EQ(test::PermissionsOf(path_), 0600u);

  ReadResult second = Read(path_);
  ASSERT_EQ(second.result, kConfigValid);
  ASSERT_EQ(second.config.jobs.size(), 1u);
  EXPECT_EQ(second.config.jobs[0].local_path, folder);
  EXPECT_EQ(second.config.jobs[0].folder_list.front(), skip);
}

TEST_F(ConfigFiles, AnInvalidFileIsNotRewritten) {
  const std::string text = "NVXPwEncrypt secret\nLocalPath /\nSendToNVX\n";
  Write(text);
  ReadResult read = Read(path_);
  EXPECT_EQ(read.result, kConfigInvalid);
  EXPECT_EQ(test::ReadFileText(path_), text);
}

TEST_F(ConfigFiles, ARewriteThatCannotWriteLeavesTheFileUntouchedAndReports20) {
  if (test::IsSuperuser()) GTEST_SKIP() << "the superuser writes into read-only folders";
  const std::string text = "NVXUser bob\nNVXPwEncrypt secret\nLocalPath /\nSendToNVX\n";
  Write(text);
  test::SetPermissions(temp_.path(), 0555);
  ReadResult read = Read(path_);
  test::SetPermissions(temp_.path(), 0755);
  EXPECT_EQ(read.result, kConfigCannotOpen);
  EXPECT_EQ(test::ReadFileText(path_), text);
  EXPECT_EQ(test::ListFolder(temp_.path()), std::vector<std::string>{"config.txt"});
}

// The last password line wins; a scrambling line it overrides has no effect and is left
// out of the rewrite rather than kept with its plain password.
TEST_F(ConfigFiles, ALaterPlainPasswordWinsAndTheOverriddenPlainOneLeavesTheDisk) {
  Write("NVXUser bob\nNVXPwEncrypt first\nNVXPw second\nLocalPath /\nSendToNVX\n");
  ReadResult read = Read(path_);
  ASSERT_EQ(read.result, kConfigValid);
  EXPECT_EQ(read.config.password, "second");
  EXPECT_FALSE(read.config.password_scrambled);
  EXPECT_EQ(test::ReadFileText(path_), "NVXUser bob\nNVXPw second\nLocalPath /\nSendToNVX\n");
}

}  // namespace
}  // namespace nvx
