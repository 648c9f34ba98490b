// The results report byte for byte: the pending notes, the final file, the statistics
// text and the e-mail texts.
#include <cerrno>
#include <thread>

#include <gtest/gtest.h>

#include "api/facade_access.h"
#include "api/nvxapi.h"
#include "api/results_report.h"
#include "api/statistics.h"
#include "api/transfer_session.h"
#include "platform/file_system.h"
#include "tests/support/fake_clock.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::ReadFileText;

class ResultsReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    api_.SetResultsType("Backup");
    api_.SetLogDirectory(dir_.path().c_str());
    api_.SetLogLevel(1);
  }
  std::string Pending() { return ReadFileText(dir_.File("Backup Results.tmp")); }
  std::string Final() { return ReadFileText(dir_.File("Backup Results.txt")); }

  test::FakeClock clock_;
  platform::ScopedClockOverride clock_override_{&clock_};
  test::TempDir dir_;
  CNvxapi api_;
  SharedBlock& block_ = *FacadeAccess::Block(api_);
};

TEST_F(ResultsReportTest, RunWithoutMessagesLeavesTheHeadAndDeletesThePendingFile) {
  api_.PendAndCloseResult("Head\r\n", nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(Final(), "Head\r\n");
  EXPECT_FALSE(platform::PathExists(dir_.File("Backup Results.tmp")));
}

TEST_F(ResultsReportTest, FinalFileReadsHeadDetailsMessagesThenNotes) {
  api_.WriteResult("message one\r\n");
  AddFileNote(block_, "/home/u/docs/busy.pst", kNoteCouldNotOpen, true, EBUSY);
  api_.PendAndCloseResult("Head\r\n", "Details:\r\n", "Extra\r\n", "NOTES:\r\n", "note 1\r\n",
                          "note 2\r\n");
  EXPECT_EQ(Final(),
            "Head\r\nDetails:\r\nExtra\r\nmessage one\r\n"
            "\r\nbusy.pst\r\n   in folder: /home/u/docs\r\n   could not be opened\r\n"
            "NOTES:\r\nnote 1\r\nnote 2\r\n");
  EXPECT_FALSE(platform::PathExists(dir_.File("Backup Results.tmp")));
  // A second close has nothing pending and changes nothing.
  api_.PendAndCloseResult("Other\r\n", nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(Final().substr(0, 6), "Head\r\n");
}

TEST_F(ResultsReportTest, RunEndingWithoutCloseLeavesThePendingFile) {
  api_.WriteResult("\r\nAccount Quota Exceeded\r\n");
  EXPECT_EQ(Pending(), "\r\nAccount Quota Exceeded\r\n");
  EXPECT_FALSE(platform::PathExists(dir_.File("Backup Results.txt")));
}

TEST_F(ResultsReportTest, NoteKindsByteForByte) {
  struct Case {
    int kind;
    int error;
    const char* text;
  };
  const Case cases[] = {
      {kNoteCouldNotOpen, EBUSY, "   could not be opened\r\n"},
      {kNoteCouldNotOpen, EACCES, "   Permission denied\r\n"},
      {kNoteZeroLength, 0, "   was ignored because it was zero-length\r\n"},
      {kNoteServerError, 0, "   was not transfered due to error reported from server\r\n"},
      {kNoteNotInServerFolder, 0,
       "   was not transfered because it was not found in the Norrvault folder\r\n"},
      {kNoteUploadedUncompressed, 0,
       "   was uploaded without compression. File size=6442450944\r\n"},
      {42, 0, ""},
  };
  block_.transfer_size = 6442450944;  // 6 GiB: sizes are 64-bit
  std::string expected;
  for (const Case& c : cases) {
    AddFileNote(block_, "/data/a b.txt", c.kind, false, c.error);
    expected += std::string("\r\na b.txt\r\n   in folder: /data\r\n") + c.text;
  }
  EXPECT_EQ(Pending(), expected);
}

TEST_F(ResultsReportTest, FolderLineOfFilesAtTheRootAndWithoutFolder) {
  AddFileNote(block_, "/top.txt", kNoteZeroLength, false, 0);
  AddFileNote(block_, "bare.txt", kNoteZeroLength, false, 0);
  EXPECT_EQ(Pending(),
            "\r\ntop.txt\r\n   in folder: /\r\n   was ignored because it was zero-length\r\n"
            "\r\nbare.txt\r\n   in folder: /\r\n   was ignored because it was zero-length\r\n");
}

TEST_F(ResultsReportTest, MissingFilesAreNotedOnlyWhenAsked) {
  AddFileNote(block_, "/data/gone.txt", kNoteCouldNotOpen, false, ENOENT);
  EXPECT_EQ(Pending(), "");
  AddFileNote(block_, "/data/gone.txt", kNoteCouldNotOpen, true, ENOENT);
  EXPECT_EQ(Pending(), "\r\ngone.txt\r\n   in folder: /data\r\n   No such file or directory\r\n");
}

TEST_F(ResultsReportTest, OutOfSpaceAndErrorCodeNotes) {
  AddFileNote(block_, "/ignored", kNoteOutOfSpace, false, 0);
  AddFileErrorNote(block_, "/data/x.doc", 12);
  EXPECT_EQ(Pending(),
            "\r\nFile transfer(s) to Norrvault failed because your account doesn't have enough "
            "space.\r\n\r\n"
            "\r\nx.doc\r\n   in folder: /data\r\n   was not transferred. Error Code = 12\r\n");
}

TEST_F(ResultsReportTest, CommunicationFailureIsExplainedOncePerRun) {
  AddFileNote(block_, "FolderList", kNoteCommunicationFailure, false, 0);
  AddFileNote(block_, "/data/second.txt", kNoteCommunicationFailure, false, 0);
  EXPECT_EQ(Pending(),
            "\r\n\r\nThe Backup was terminated due to a problem communicating with the Norrvault "
            "servers.\r\n\r\nThe problem may be with your PC or Internet connection, or a "
            "temporary problem related to the Norrvault servers.\r\n\r\nRunning the Backup "
            "again will often resolve the problem. If the problem persists contact Norrvault "
            "Support.\r\nComm Request/File FolderList\r\n");
  EXPECT_TRUE(block_.logs.communication_failure_reported);
  // Reset does not clear it: the explanation stays once per run.
  api_.Reset();
  AddFileNote(block_, "/data/third.txt", kNoteCommunicationFailure, false, 0);
  EXPECT_EQ(Pending().find("third"), std::string::npos);
}

TEST_F(ResultsReportTest, NotesWithoutAPendingFileAreDropped) {
  CNvxapi other;
  SharedBlock& block = *FacadeAccess::Block(other);
  AddFileNote(block, "/data/a.txt", kNoteZeroLength, false, 0);
  AddFileErrorNote(block, "/data/a.txt", 3);
  other.WriteResult("x");
  EXPECT_EQ(test::ListFolder(dir_.path()).size(), 2u);  // this fixture's log and pending file
}

bool SucceedAtOnce(TransferSession&) {
  return true;
}

TEST_F(ResultsReportTest, UploadStatisticsText) {
  block_.control.commands.rows[kCmdUpload].routine = &SucceedAtOnce;
  api_.SetLocalDirectory("/home/u/docs");
  api_.SetNVXFolder("\\Backup\\Docs");
  api_.UploadFile();
  while (api_.GetStatus() == kStatusBusy) std::this_thread::yield();
  block_.reported.live_progress.files_uploaded = 5;
  block_.reported.live_progress.files_upload_matched = 2;
  block_.reported.live_progress.files_upload_updated = 1;
  block_.reported.live_progress.files_upload_error = 1;
  EXPECT_STREQ(api_.GetStats(),
               "Local Folder: /home/u/docs\r\nNorrvault Folder: \\Backup\\Docs\r\nResults: \r\n"
               "Uploaded 5 Files \r\nMatched 2 Files \r\nUpdated 1 Files \r\nErrors 1  \r\n");
  api_.SetLocalFile("*.doc");
  block_.reported.live_progress.files_upload_zero_length = 3;
  block_.reported.live_progress.files_uploaded_uncompressed = 4;
  EXPECT_STREQ(api_.GetStats(),
               "Local Folder: /home/u/docs\r\nLocal File(s): *.doc\r\n"
               "Norrvault Folder: \\Backup\\Docs\r\nResults: \r\n"
               "Uploaded 5 Files \r\nMatched 2 Files \r\nUpdated 1 Files \r\n"
               "Ignored 3 Zero Length Files \r\n4 File(s) Uploaded Without Compression  \r\n"
               "Errors 1  \r\n");
}

TEST_F(ResultsReportTest, DownloadStatisticsAlwaysCountFilesNotFound) {
  block_.control.commands.rows[kCmdDownload].routine = &SucceedAtOnce;
  api_.DownloadFile();
  while (api_.GetStatus() == kStatusBusy) std::this_thread::yield();
  block_.reported.live_progress.files_downloaded = 2;
  EXPECT_STREQ(api_.GetStats(),
               "Local Folder: \r\nNorrvault Folder: \r\nResults: \r\n"
               "Downloaded 2 Files \r\nMatched 0 Files \r\nUpdated 0 Files \r\nErrors 0  \r\n"
               "Files Not Found 0  \r\n");
}

TEST_F(ResultsReportTest, EmailTexts) {
  block_.job.texts.email_subject = "System error";
  block_.job.texts.email_body = "System error ";
  block_.job.link.user = "alice";
  block_.job.texts.local_directory = "/home/alice";
  block_.start_time = clock_.LocalNow();
  EXPECT_EQ(BuildEmailSendText(block_),
            "System error\r\nNVX Backup Job Started at 03/05/2004  14:07:09\r\nID: alice\r\n"
            "LocalPath: /home/alice\r\nDetails on PC in " +
                dir_.File("20040305140709.log") + ". \r\n\r\nSystem error ");
  block_.log_file_name.clear();
  block_.job.texts.local_directory.clear();
  block_.job.texts.server_folder = "\\Backup";
  EXPECT_EQ(BuildEmailSendText(block_),
            "System error\r\nNVX Backup Job Started at 03/05/2004  14:07:09\r\nID: alice\r\n"
            "NVXPath: \\Backup\r\nNo Log File generated. \r\n\r\nSystem error ");
  block_.job.texts.email_body = std::string(20000, 'x');
  EXPECT_EQ(BuildEmailJustText(block_).size(), 16383u);
  EXPECT_EQ(BuildEmailJustText(block_).substr(0, 15), "System error\r\nx");
}

}  // namespace
}  // namespace nvx
