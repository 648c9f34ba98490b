// The job driver's decisions and the texts of the results report, as tables of what the
// library reported and what the run does.
#include "runner/run_decisions.h"

#include <gtest/gtest.h>

#include "runner/run_report.h"

namespace nvx {
namespace {

TEST(LoginOutcome, EveryRowOfTheTable) {
  struct Case {
    int32_t status;
    int32_t error_code;
    const char* conclusion;
    const char* http_response;
    bool go_on;
    int exit_code;
    const char* debug_line;
    const char* results_text;
  };
  const Case cases[] = {
      {2, 0, "Successful", "HTTP/1.1 200 OK", true, 0, "", ""},
      {2, 0, "Successfulness", "HTTP/1.1 200 OK", false, 10,
       "Verify Id Complete System Error Result = Successfulness\n",
       "System Error Successfulness\r\n"},
      {3, 9, "", "HTTP/1.1 407 Proxy", false, 2, "Returning Proxy Authentication Failed\n", ""},
      {2, 10, "ID Invalid", "", false, 3, "Verify Id Complete ID Invalid Result = ID Invalid\n",
       "User Id Invalid\r\n"},
      {2, 11, "Password Invalid", "", false, 4,
       "Verify Id Complete Password Invalid Result = Password Invalid\n",
       "User Password Invalid\r\n"},
      {2, 14, "Account Disabled", "", false, 4,
       "Verify Id Complete Account Disabled Result = Account Disabled\n",
       "User Account Disabled\r\n"},
      {2, 15, "Password Expired", "", false, 4,
       "Verify Id Complete Password Expired Result = Password Expired\n",
       "User Password Expired\r\n"},
      {2, 2, "", "", false, 10, "Verify Id Complete System Error Result = \n",
       "System Error - no answer from the service\r\n"},
      {3, 12, "Busy", "HTTP/1.1 200 OK", false, 10,
       "Verify Id Complete System Error Result = Busy\n", "System Error Busy\r\n"},
      // A check that gave up without an error code did not succeed.
      {3, 0, "", "", false, 10, "Verify Id Complete System Error Result = \n",
       "System Error - no answer from the service\r\n"},
      {3, 0, "Successful", "", false, 10, "Verify Id Complete System Error Result = Successful\n",
       "System Error Successful\r\n"},
      // Nor did one that ended without a conclusion: the exchange broke, or the answer
      // held none. The results say which.
      {2, 0, "", "", false, 10, "Verify Id Complete System Error Result = \n",
       "System Error - no answer from the service\r\n"},
      {2, 0, "", "HTTP/1.1 100 Continue", false, 10, "Verify Id Complete System Error Result = \n",
       "System Error - no conclusion in the answer \"HTTP/1.1 100 Continue\"\r\n"},
  };
  for (const Case& c : cases) {
    LoginOutcome outcome =
        DecideLoginOutcome(c.status, c.error_code, c.conclusion, c.http_response);
    std::string label =
        std::to_string(c.status) + "/" + std::to_string(c.error_code) + "/" + c.conclusion;
    EXPECT_EQ(outcome.go_on, c.go_on) << label;
    EXPECT_EQ(outcome.exit_code, c.exit_code) << label;
    EXPECT_EQ(outcome.debug_line, c.debug_line) << label;
    EXPECT_EQ(outcome.results_text, c.results_text) << label;
  }
}

TEST(LoginOutcome, AConclusionWithPercentSignsIsPrintedAsItStands) {
  LoginOutcome outcome = DecideLoginOutcome(2, 12, "50%s%d", "");
  EXPECT_EQ(outcome.debug_line, "Verify Id Complete System Error Result = 50%s%d\n");
  EXPECT_EQ(outcome.results_text, "System Error 50%s%d\r\n");
}

TEST(FolderCheck, WhatEachJobNeeds) {
  struct Case {
    JobKind kind;
    bool mapped, no_show, no_access, write_access;
    FolderVerdict verdict;
  };
  const Case cases[] = {
      {JobKind::kUpload, false, false, false, true, FolderVerdict::kNotFound},
      {JobKind::kUpload, true, true, false, true, FolderVerdict::kNotFound},
      {JobKind::kUpload, true, false, false, true, FolderVerdict::kGoOn},
      {JobKind::kUpload, true, false, false, false, FolderVerdict::kAccessDenied},
      {JobKind::kUpload, true, false, true, true, FolderVerdict::kAccessDenied},
      {JobKind::kClean, true, false, false, false, FolderVerdict::kAccessDenied},
      {JobKind::kClean, true, false, false, true, FolderVerdict::kGoOn},
      {JobKind::kDownload, true, false, false, false, FolderVerdict::kGoOn},
      {JobKind::kDownload, true, false, true, true, FolderVerdict::kAccessDenied},
      {JobKind::kDeleteEmptyFolders, true, false, false, false, FolderVerdict::kGoOn},
      {JobKind::kSendLog, true, false, false, false, FolderVerdict::kGoOn},
      {JobKind::kSendLog, true, true, false, false, FolderVerdict::kNotFound},
      {JobKind::kDownload, false, false, true, false, FolderVerdict::kNotFound},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckJobFolder(c.kind, c.mapped, c.no_show, c.no_access, c.write_access), c.verdict)
        << static_cast<int>(c.kind) << c.mapped << c.no_show << c.no_access << c.write_access;
  }
}

TEST(FolderCheck, ResultsTextsNameTheFileAndItsServerFolder) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"\\Backup\\My Documents", "\\Backup", "My Documents"},
      {"\\Backup", "\\", "Backup"},
      {"Backup", "\\", "Backup"},
      {"", "\\", ""},
      {"\\A\\B\\", "\\A\\B", ""},
  };
  for (const Case& c : cases) {
    ServerPathParts parts = SplitServerPath(c.path);
    EXPECT_EQ(parts.folder, c.folder) << c.path;
    EXPECT_EQ(parts.name, c.name) << c.path;
  }
  ServerPathParts parts = SplitServerPath("\\Backup\\Docs");
  EXPECT_EQ(FolderNotFoundText(parts),
            "\r\n\r\nDocs\r\n  in Norrvault folder: \\Backup\r\n  was not transfered because "
            "the NVX Folder was not found.\r\n");
  EXPECT_EQ(AccessDeniedText(parts),
            "\r\n\r\nDocs\r\n  in Norrvault folder: \\Backup\r\n  was not transfered because "
            "access is denied.\r\n");
}

TEST(AfterTransfer, TheErrorCodeChoosesTheBranch) {
  struct Case {
    int32_t error_code;
    TransferVerdict verdict;
  };
  const Case cases[] = {
      {0, TransferVerdict::kNextJob},       {8, TransferVerdict::kLocalFileNotFound},
      {3, TransferVerdict::kQuotaExceeded}, {2, TransferVerdict::kSystemError},
      {4, TransferVerdict::kSystemError},   {7, TransferVerdict::kSystemError},
      {12, TransferVerdict::kSystemError},  {13, TransferVerdict::kSystemError},
      {-1, TransferVerdict::kSystemError},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecideAfterTransfer(c.error_code), c.verdict) << c.error_code;
  }
}

TEST(AfterTransfer, CountersRaiseTheRunFlags) {
  struct Case {
    int32_t TransferProgress::*counter;
    bool errors, zero_length, notes;
  };
  const Case cases[] = {
      {&TransferProgress::files_upload_error, true, false, false},
      {&TransferProgress::files_download_error, true, false, false},
      {&TransferProgress::files_upload_zero_length, false, true, false},
      {&TransferProgress::files_not_found, false, false, true},
      {&TransferProgress::files_uploaded, false, false, false},
      {&TransferProgress::files_uploaded_uncompressed, false, false, false},
  };
  for (const Case& c : cases) {
    TransferProgress counters{};
    counters.*c.counter = 2;
    RunFlags flags;
    NoteTransferCounters(counters, flags);
    EXPECT_EQ(flags.errors_seen, c.errors);
    EXPECT_EQ(flags.zero_length_seen, c.zero_length);
    EXPECT_EQ(flags.notes_seen, c.notes);
    // Flags are never lowered by a later clean transfer.
    NoteTransferCounters(TransferProgress{}, flags);
    EXPECT_EQ(flags.errors_seen, c.errors);
  }
}

TEST(AfterTransfer, TheFirstProblemDecidesTheExitCode) {
  int exit_code = 0;
  KeepFirstExitCode(exit_code, 5);
  KeepFirstExitCode(exit_code, 6);
  KeepFirstExitCode(exit_code, 7);
  EXPECT_EQ(exit_code, 5);
}

TEST(RunReport, SubjectsAndHead) {
  RunFlags clean;
  RunFlags errors;
  errors.errors_seen = true;
  RunFlags notes;
  notes.notes_seen = true;
  RunFlags zero;
  zero.zero_length_seen = true;
  EXPECT_EQ(RunSubject("Backup", "bob", clean), "Online Backup Results for bob: No Errors");
  EXPECT_EQ(RunSubject("Backup", "bob", errors), "Online Backup Results for bob: Errors Detected");
  EXPECT_EQ(RunSubject("Backup", "bob", notes), "Online Backup Results for bob: Errors Detected");
  EXPECT_EQ(RunSubject("Backup", "bob", zero), "Online Backup Results for bob: No Errors");
  EXPECT_EQ(OutOfSpaceSubject("Backup", "bob"), "Online Backup Results for bob:  Out Of Space");

  platform::LocalTime start;
  start.year = 2004;
  start.month = 3;
  start.day = 5;
  start.hour = 4;
  start.minute = 7;
  start.second = 9;
  platform::LocalTime end = start;
  end.hour = 14;
  end.day = 25;
  EXPECT_EQ(FormatRunTime(start), "03/05/2004  04:07:09");
  EXPECT_EQ(ReportHead("Subject", "Backup", start, end, "/logs/20040305040709.log"),
            "Subject\r\nBackup Job Started at 03/05/2004  04:07:09\r\n"
            "Backup Job Ended at 03/25/2004  14:07:09\r\n"
            "Details on PC in  /logs/20040305040709.log\r\n\r\n\r\n");
}

TEST(RunReport, ClosingTextsFollowTheFlags) {
  struct Case {
    bool errors, zero_length, notes;
    bool details, in_use_note, zero_length_note;
  };
  const Case cases[] = {
      {false, false, false, false, false, false}, {false, false, true, false, false, false},
      {true, false, false, true, true, false},    {false, true, false, true, false, true},
      {true, true, true, true, true, true},
  };
  for (const Case& c : cases) {
    RunFlags flags{c.errors, c.zero_length, c.notes};
    ClosingTexts texts = ClosingTextsFor(flags);
    EXPECT_EQ(texts.details_header, c.details ? "\r\n\r\nDETAILS ON ERRORS AND WARNINGS:\r\n" : "");
    EXPECT_EQ(texts.notes_header, c.details ? "\r\n\r\nNOTES:\r\n\r\n" : "");
    EXPECT_EQ(texts.in_use_note.empty(), !c.in_use_note);
    EXPECT_EQ(texts.zero_length_note.empty(), !c.zero_length_note);
  }
  RunFlags all{true, true, false};
  EXPECT_EQ(ClosingTextsFor(all).in_use_note,
            "When a file cannot be opened by the File Transfer process it cannot be "
            "transferred.\r\nThe usual reason a file cannot be opened is because the file was "
            "in use by another application.\r\n\r\n");
  EXPECT_EQ(ClosingTextsFor(all).zero_length_note,
            "Zero-length files contain no data and are ignored.\r\nThe presence of zero-length "
            "files may be normal, depending on the specific application that created them, but "
            "they are not transferred.\r\n\r\n");
}

TEST(RunReport, StatisticsAreSeparatedByAnEmptyLine) {
  std::string accumulated;
  AppendStatistics(accumulated, "first\r\n");
  EXPECT_EQ(accumulated, "first\r\n");
  AppendStatistics(accumulated, "second\r\n");
  EXPECT_EQ(accumulated, "first\r\n\r\n\r\nsecond\r\n");
}

}  // namespace
}  // namespace nvx
