// The job walk and the end of a run against a scripted service: the checks of each job's
// server folder, what reaches the library, the branches after a transfer, and the
// results report and e-mail at the end.
#include <functional>

#include <gtest/gtest.h>

#include "tests/runner/driver_fixture.h"

namespace nvx {
namespace {

using test::DriverTest;
using test::MakeFolder;
using test::ScriptedTransfer;
using test::ServiceScript;

constexpr char kHead[] = "Online Backup Results for bob";

TEST_F(DriverTest, AMissingFolderAndAReadOnlyFolderAreReportedAndTheFirstDecides) {
  script_.folders = {{"\\Backup\\ReadOnly", false, false, false}, {"\\Backup\\Hidden", true}};
  std::string jobs =
      "LocalPath /\nNVXPath \\Backup\\Missing\nSendToNVX\n"
      "LocalPath /\nNVXPath \\Backup\\ReadOnly\nSendToNVX\n"
      "LocalPath /\nNVXPath \\Backup\\Hidden\nCleanNVX\n"
      "LocalPath /\nNVXPath \\Backup\\ReadOnly\nCopyFromNVX\n";
  EXPECT_EQ(Run(Head() + "Debug Y\n" + jobs), 5);
  std::string results = Results();
  EXPECT_EQ(results.rfind(std::string(kHead) + ": Errors Detected\r\n", 0), 0u) << results;
  EXPECT_NE(results.find("\r\n\r\nMissing\r\n  in Norrvault folder: \\Backup\r\n  was not "
                         "transfered because the NVX Folder was not found.\r\n"),
            std::string::npos);
  EXPECT_NE(results.find("\r\n\r\nReadOnly\r\n  in Norrvault folder: \\Backup\r\n  was not "
                         "transfered because access is denied.\r\n"),
            std::string::npos);
  EXPECT_NE(results.find("\r\n\r\nHidden\r\n  in Norrvault folder: \\Backup\r\n  was not "
                         "transfered because the NVX Folder was not found.\r\n"),
            std::string::npos);
  // Reading needs no write access: the download ran.
  ASSERT_EQ(script_.jobs.size(), 1u);
  EXPECT_EQ(script_.jobs[0].command, "Download");
  EXPECT_NE(out_.find("Returning No NVX Folder\n"), std::string::npos);
  EXPECT_NE(out_.find("Returning No NVX Folder Write Access\n"), std::string::npos);
}

TEST_F(DriverTest, AccessDeniedFirstGives6) {
  script_.folders = {{"\\Backup\\ReadOnly", false, false, false}};
  EXPECT_EQ(Run(Head() + "LocalPath /\nNVXPath \\Backup\\ReadOnly\nSendToNVX\n"
                         "LocalPath /\nNVXPath \\Backup\\Missing\nSendToNVX\n"),
            6);
}

TEST_F(DriverTest, TheJobsSettingsReachTheLibrary) {
  script_.folders = {{"\\Backup\\Docs"}};
  std::string jobs =
      "Verify N\nCompress Y\nForceMd5 Y\nDuplicateFiles Y\nUseNvxDate Y\nIncludeSubFolders Y\n"
      "ExcludeExtension .exe\nExcludeExtension .lnk\nSkipFolder Music\nSkipFolder Videos\n"
      "Progress Y\nLocalPath /\nNVXPath \\Backup\\Docs\nMoveToNVX\n"
      "Compress N\nLocalFile /srv/data/report.doc\nIncludeSubFolders Y\nNVXPath \\Backup\\Docs\n"
      "NVXFile report.doc\nMoveFromNVX\n";
  EXPECT_EQ(Run(Head() + jobs), 0);
  ASSERT_EQ(script_.jobs.size(), 2u);
  const test::SeenJob& upload = script_.jobs[0];
  EXPECT_EQ(upload.command, "Upload");
  EXPECT_EQ(upload.local_directory, "");
  EXPECT_EQ(upload.local_file, "*.*");
  EXPECT_EQ(upload.server_folder, "\\Backup\\Docs");
  EXPECT_FALSE(upload.verification);
  EXPECT_TRUE(upload.compress);
  EXPECT_FALSE(upload.transfer_compress);
  EXPECT_TRUE(upload.subfolders) << "\"*.*\" keeps the subfolder flag";
  EXPECT_EQ(upload.file_compare, 1);
  EXPECT_TRUE(upload.duplicate_files);
  EXPECT_TRUE(upload.use_server_date);
  EXPECT_TRUE(upload.move);
  EXPECT_TRUE(upload.pause_after_file);
  // Newest first in the file; the library puts each new entry in front.
  EXPECT_EQ(upload.skip_folders, (std::vector<std::string>{"Music", "Videos"}));
  EXPECT_EQ(upload.excluded_extensions, (std::vector<std::string>{".exe", ".lnk"}));

  const test::SeenJob& download = script_.jobs[1];
  EXPECT_EQ(download.command, "Download");
  EXPECT_EQ(download.local_directory, "/srv/data");
  EXPECT_EQ(download.local_file, "report.doc");
  EXPECT_EQ(download.server_file, "report.doc");
  EXPECT_FALSE(download.subfolders) << "a job naming one file never descends";
  EXPECT_TRUE(download.move);
  EXPECT_FALSE(download.compress);
  EXPECT_TRUE(download.skip_folders.empty()) << "each job starts from a reset library";
}

// The real pause after each file: the worker waits after every file until the display
// has seen it, so each file gets its line and the run ends.
TEST_F(DriverTest, WithProgressEveryFileIsShownAndTheWorkerLetGoAfterIt) {
  script_.folders = {{"\\Backup"}};
  ScriptedTransfer transfer;
  transfer.files = {"a.txt", "b.txt", "c.txt"};
  transfer.files_uploaded = 3;
  script_.transfers = {transfer};
  // The test clock makes polls instant: a display interval of many polls keeps a release
  // from being repeated while the worker thread has not yet woken.
  options_.display_interval = 1000000;
  EXPECT_EQ(Run(Head() + "Progress Y\nLocalPath /\nNVXPath \\Backup\nSendToNVX\n"), 0);
  ASSERT_EQ(script_.jobs.size(), 1u);
  EXPECT_TRUE(script_.jobs[0].pause_after_file);
  size_t a = out_.find("\nFile name a.txt\nStarting");
  size_t b = out_.find("\nFile name b.txt\nStarting");
  size_t c = out_.find("\nFile name c.txt\nStarting");
  ASSERT_NE(a, std::string::npos) << out_;
  ASSERT_NE(b, std::string::npos) << out_;
  ASSERT_NE(c, std::string::npos) << out_;
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_NE(out_.find("\rBackup   Complete", c), std::string::npos);
}

TEST_F(DriverTest, AFailedFileLeavesExitCode0ButTheSubjectSaysErrors) {
  script_.folders = {{"\\Backup"}};
  ScriptedTransfer transfer;
  transfer.files_uploaded = 4;
  transfer.files_upload_error = 1;
  script_.transfers = {transfer};
  EXPECT_EQ(Run(Head() + "LocalPath /\nNVXPath \\Backup\nSendToNVX\n"), 0);
  std::string results = Results();
  EXPECT_EQ(results.rfind(std::string(kHead) + ": Errors Detected\r\n", 0), 0u) << results;
  EXPECT_NE(results.find("\r\n\r\nDETAILS ON ERRORS AND WARNINGS:\r\n"), std::string::npos);
  EXPECT_NE(results.find("Uploaded 4 Files"), std::string::npos) << results;
  EXPECT_NE(results.find("The usual reason a file cannot be opened"), std::string::npos);
  EXPECT_EQ(results.find("Zero-length files contain no data"), std::string::npos);
  // A clean upload is followed by a refresh of the space figures.
  EXPECT_EQ(Count("ResetSpace"), 1u);
}

TEST_F(DriverTest, AClearRunReportsNoErrorsWithItsTimesAndStatistics) {
  script_.folders = {{"\\Backup"}};
  ScriptedTransfer first;
  first.files_uploaded = 2;
  ScriptedTransfer second;
  second.files_downloaded = 3;
  script_.transfers = {first, second};
  EXPECT_EQ(Run(Head() + "LocalPath /\nNVXPath \\Backup\nSendToNVX\n"
                         "LocalPath /restore\nNVXPath \\Backup\nCopyFromNVX\n"),
            0);
  std::string results = Results();
  std::string head = std::string(kHead) +
                     ": No Errors\r\nBackup Job Started at 03/05/2004  14:07:09\r\n"
                     "Backup Job Ended at 03/05/2004  14:07:09\r\nDetails on PC in  " +
                     logs_ + "/20040305140709.log\r\n\r\n\r\n";
  EXPECT_EQ(results.rfind(head, 0), 0u) << results;
  size_t upload = results.find("Uploaded 2 Files");
  size_t download = results.find("Downloaded 3 Files");
  ASSERT_NE(upload, std::string::npos);
  ASSERT_NE(download, std::string::npos);
  EXPECT_LT(upload, download);
  EXPECT_EQ(results.find("DETAILS ON ERRORS"), std::string::npos);
  EXPECT_FALSE(PendingResultsLeft());
}

TEST_F(DriverTest, AFullAccountStopsTheRunBeforeSendingWith8) {
  script_.folders = {{"\\Backup"}};
  script_.space_used = script_.space_limit;
  std::string jobs =
      "NotifyAdmin Y\nLocalPath /\nNVXPath \\Backup\nSendToNVX\n"
      "LocalPath /\nNVXPath \\Backup\nCopyFromNVX\n";
  EXPECT_EQ(Run(Head() + jobs), 8);
  EXPECT_EQ(Results(),
            "No Files transferred to Norrvault because your account doesn't have enough "
            "space.\r\n");
  EXPECT_TRUE(script_.jobs.empty()) << "no job after the full account ran";
  EXPECT_EQ(Count("FolderList"), 1u);
  ASSERT_EQ(script_.emails.size(), 1u);
  EXPECT_EQ(script_.emails[0].command, "EmailSend");
  EXPECT_FALSE(script_.emails[0].to_user);
  EXPECT_TRUE(script_.emails[0].to_administrator);
  EXPECT_EQ(script_.emails[0].subject, std::string(kHead) + ":  Out Of Space");
  EXPECT_EQ(script_.emails[0].body,
            "No Files transferred to Norrvault because your account doesn't have enough "
            "space.");
}

// The error code of a transfer is read before the statistics command, which clears it.
// The run ends at once and its results stay pending; no final report is written.
TEST_F(DriverTest, AQuotaExceededDuringATransferEndsTheRunWith8AndLeavesTheResultsPending) {
  script_.folders = {{"\\Backup"}};
  ScriptedTransfer transfer;
  transfer.error_code = 3;
  transfer.files_uploaded = 1;
  script_.transfers = {transfer};
  std::string jobs =
      "NotifyUser Y\nLocalPath /\nNVXPath \\Backup\nSendToNVX\n"
      "LocalPath /\nNVXPath \\Backup\nSendToNVX\n";
  EXPECT_EQ(Run(Head() + jobs), 8);
  EXPECT_EQ(script_.jobs.size(), 1u);
  EXPECT_FALSE(FinalResultsWritten());
  EXPECT_EQ(PendingResults(), "\r\nAccount Quota Exceeded\r\n");
  // The status file tells the run ended without its report.
  EXPECT_EQ(Status().state, jobfiles::RunState::kFinished);
  EXPECT_EQ(Status().exit_code, 8);
  EXPECT_FALSE(Status().report);
  EXPECT_EQ(Status().subject, "Account Quota Exceeded");
  ASSERT_EQ(script_.emails.size(), 1u);
  EXPECT_EQ(script_.emails[0].subject, "User Quota exceeded");
  EXPECT_EQ(script_.emails[0].body, "Quota exceeded ");
}

TEST_F(DriverTest, AnUnexpectedTransferErrorEndsTheRunWith10AndLeavesTheResultsPending) {
  script_.folders = {{"\\Backup"}};
  ScriptedTransfer transfer;
  transfer.succeeded = false;
  transfer.error_code = 12;
  script_.transfers = {transfer};
  std::string jobs =
      "Debug Y\nNotifyUser Y\nLocalPath /restore\nNVXPath \\Backup\nCopyFromNVX\n"
      "LocalPath /\nNVXPath \\Backup\nSendToNVX\n";
  EXPECT_EQ(Run(Head() + jobs), 10);
  EXPECT_EQ(script_.jobs.size(), 1u);
  EXPECT_NE(out_.find("Returning System Error\n"), std::string::npos);
  EXPECT_FALSE(FinalResultsWritten());
  EXPECT_TRUE(PendingResultsLeft());
  ASSERT_EQ(script_.emails.size(), 1u);
  EXPECT_EQ(script_.emails[0].subject, "System error");
  EXPECT_EQ(script_.emails[0].body, "System error ");
}

TEST_F(DriverTest, AMissingLocalFileIsNotedAndTheRunGoesOnWith7) {
  script_.folders = {{"\\Backup"}};
  ScriptedTransfer missing;
  missing.error_code = 8;
  script_.transfers = {missing};
  std::string jobs = "LocalFile " + temp_.path() +
                     "/report.doc\nNVXPath \\Backup\nSendToNVX\n"
                     "LocalPath /\nNVXPath \\Backup\\Gone\nSendToNVX\n"
                     "LocalPath /\nNVXPath \\Backup\nSendToNVX\n";
  EXPECT_EQ(Run(Head() + jobs), 7);
  EXPECT_EQ(script_.jobs.size(), 2u);
  std::string results = Results();
  EXPECT_NE(results.find("\r\n\r\nLocal File Not Found - report.doc\r\n"), std::string::npos);
  EXPECT_EQ(results.rfind(std::string(kHead) + ": Errors Detected\r\n", 0), 0u);
}

TEST_F(DriverTest, AFolderListThatCannotBeReadEndsTheRunWith10) {
  script_.folder_list_succeeds = false;
  EXPECT_EQ(Run(Head() + "LocalPath /\nNVXPath \\Backup\nSendToNVX\nCopyFromNVX\n"), 10);
  EXPECT_TRUE(script_.jobs.empty());
  EXPECT_EQ(Count("FolderList"), 1u);
  EXPECT_EQ(out_, "\n\nNorrvault, Inc. Backup Processing Complete\n\n");
  EXPECT_EQ(Results().rfind(std::string(kHead) + ": Errors Detected\r\n", 0), 0u);
  EXPECT_NE(Results().find("The run ended before the SendToNVX job for Norrvault folder \\Backup:"),
            std::string::npos);
}

TEST_F(DriverTest, VerifyFoldersMakesSureOfEachFolderNewestFirst) {
  std::string jobs =
      "Debug Y\nVerifyPath \\Backup\\My Documents\\\nVerifyPath \\Backup\\Favorites\n"
      "VerifyNVXFolders\n";
  EXPECT_EQ(Run(Head() + jobs), 0);
  EXPECT_EQ(script_.verified_paths,
            (std::vector<std::string>{"\\Backup\\Favorites", "\\Backup\\My Documents"}));
  EXPECT_NE(out_.find("Verify NVX Folders Processing\n"), std::string::npos);
}

TEST_F(DriverTest, CleanAndDeleteEmptyFoldersTellTheirOutcome) {
  script_.folders = {{"\\Backup"}};
  script_.clean_status = 3;
  script_.clean_conclusion = "Clean refused";
  script_.delete_empty_conclusion = "Nothing to delete";
  std::string jobs =
      "Debug Y\nLocalPath /\nNVXPath \\Backup\nCleanNVX\nNVXPath \\Backup\nDeleteEmptyNVXFolders\n";
  // The failed clean makes the run end with 10 (see below); the next job still runs.
  EXPECT_EQ(Run(Head() + jobs), 10);
  EXPECT_NE(out_.find("Clean NVX Folders Processing\n\nClean NVX Folders Clean refused\n"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("Delete Empty NVX Folders Processing\nDelete Empty NVX Folders Nothing "
                      "to delete\n"),
            std::string::npos)
      << out_;
  ASSERT_EQ(script_.jobs.size(), 2u);
  EXPECT_EQ(script_.jobs[0].local_file, "*.*");
}

TEST_F(DriverTest, SendLogSendsTheActivityLogWithItsCount) {
  script_.folders = {{"\\Backup\\Configuration and Logs"}};
  std::string jobs = "NVXPath \\Backup\\Configuration and Logs\nLogCount 2\nSendLog\n";
  EXPECT_EQ(Run(Head() + jobs), 0);
  ASSERT_EQ(script_.jobs.size(), 1u);
  EXPECT_EQ(script_.jobs[0].command, "SendLog");
  EXPECT_EQ(script_.jobs[0].log_count, 2);
  EXPECT_EQ(script_.jobs[0].local_directory, logs_);
  EXPECT_EQ(script_.jobs[0].local_file, "20040305140709.log");
}

TEST_F(DriverTest, TheSummaryEmailCarriesTheFinishedReport) {
  script_.folders = {{"\\Backup"}};
  std::string jobs = "Debug Y\nNotifyUser Y\nLocalPath /\nNVXPath \\Backup\nSendToNVX\n#END\n";
  EXPECT_EQ(Run(Head() + jobs), 0);
  ASSERT_EQ(script_.emails.size(), 1u);
  EXPECT_EQ(script_.emails[0].command, "EmailSendJustText");
  EXPECT_TRUE(script_.emails[0].to_user);
  EXPECT_EQ(script_.emails[0].subject, std::string(kHead) + ": No Errors");
  EXPECT_EQ(script_.emails[0].body, Results());
  EXPECT_NE(out_.find("\n\n Backup Processing - Sending Status Email\n\nSent Stats Email\n"),
            std::string::npos)
      << out_;
  EXPECT_EQ(Status().email, "");

  // An account without an address: the report and the status file say the e-mail failed.
  script_ = ServiceScript();
  script_.folders = {{"\\Backup"}};
  script_.email_conclusion = "Error - No E-mail Address";
  EXPECT_EQ(Run(Head() + jobs), 0);
  EXPECT_NE(
      Results().find("\r\n\r\nThe results e-mail was not sent: Error - No E-mail Address\r\n"),
      std::string::npos)
      << Results();
  EXPECT_EQ(Status().email, "Error - No E-mail Address");
}

TEST_F(DriverTest, NoLogFolderMeansNoReportAndNoSummary) {
  script_.folders = {{"\\Backup"}};
  std::string config =
      "NVXUser bob\nNVXPw secret\nNotifyUser Y\nLocalPath /\nNVXPath \\Backup\nSendToNVX\n#\n";
  EXPECT_EQ(Run(config), 0);
  EXPECT_TRUE(script_.emails.empty());
  EXPECT_TRUE(test::ListFolder(logs_).empty());
}

// A job whose command ends failed is never reported as a success, whatever the error
// code says: the results name the job and the reason, the subject says "Errors Detected",
// and the run ends with 10 unless an earlier problem already chose its exit code. The
// jobs after it still run.
TEST_F(DriverTest, AFailedCommandIsNeverReportedAsASuccess) {
  struct Case {
    const char* label;
    std::function<void(ServiceScript&)> script;
    std::string jobs;
    int exit_code;
    std::vector<std::string> results_hold;  // empty: the run is clean
    size_t jobs_run;                        // commands that saw a job (not VerifyPath)
  };
  const std::string upload = "LocalPath /\nNVXPath \\Backup\nSendToNVX\n";
  const std::vector<Case> cases = {
      {"a clean run", [](ServiceScript&) {}, upload + upload, 0, {}, 2},
      {"an upload that failed with error code 0",
       [](ServiceScript& s) {
         ScriptedTransfer failed;
         failed.succeeded = false;
         failed.status_message = "Processing local file list failed. Error=5\n";
         s.transfers = {failed};
       },
       upload + upload,
       10,
       {"\r\n\r\nSendToNVX job for Norrvault folder \\Backup\r\n  ended with a failure: "
        "Processing local file list failed. Error=5\r\n"},
       2},
      {"a move whose reason holds control characters",
       [](ServiceScript& s) {
         ScriptedTransfer failed;
         failed.succeeded = false;
         failed.status_message = "bad\x1b[2Jtext\r\n";
         s.transfers = {failed};
       },
       "LocalPath /\nNVXPath \\Backup\nMoveToNVX\n",
       10,
       {"MoveToNVX job for Norrvault folder \\Backup\r\n  ended with a failure: bad [2Jtext\r\n"},
       1},
      {"a folder that could not be created",
       [](ServiceScript& s) { s.refused_paths = {"\\Backup\\Favorites"}; },
       "VerifyPath \\Backup\\Docs\nVerifyPath \\Backup\\Favorites\nVerifyNVXFolders\n" + upload,
       10,
       {"VerifyNVXFolders job for Norrvault folder \\Backup\\Favorites\r\n  ended with a "
        "failure: Unable to create folder\r\n"},
       1},
      {"a failed clean",
       [](ServiceScript& s) {
         s.clean_status = 3;
         s.clean_conclusion = "Clean refused";
       },
       "LocalPath /\nNVXPath \\Backup\nCleanNVX\n" + upload,
       10,
       {"CleanNVX job for Norrvault folder \\Backup\r\n  ended with a failure: Clean refused\r\n"},
       2},
      {"a failed delete of empty folders",
       [](ServiceScript& s) {
         s.delete_empty_status = 3;
         s.delete_empty_conclusion = "";
       },
       "NVXPath \\Backup\nDeleteEmptyNVXFolders\n" + upload,
       10,
       {"DeleteEmptyNVXFolders job for Norrvault folder \\Backup\r\n  ended with a failure: "
        "no reason given\r\n"},
       2},
      {"a delete of empty folders that the service refused",
       [](ServiceScript& s) { s.delete_empty_conclusion = "Error - Folder Not Found"; },
       "NVXPath \\Backup\nDeleteEmptyNVXFolders\n" + upload,
       10,
       {"DeleteEmptyNVXFolders job for Norrvault folder \\Backup\r\n  ended with a failure: "
        "Error - Folder Not Found\r\n"},
       2},
      {"a missing folder first keeps its 5",
       [](ServiceScript& s) {
         ScriptedTransfer failed;
         failed.succeeded = false;
         s.transfers = {failed};
       },
       "LocalPath /\nNVXPath \\Gone\nSendToNVX\n" + upload,
       5,
       {"was not transfered because the NVX Folder was not found.",
        "SendToNVX job for Norrvault folder \\Backup\r\n"},
       1},
  };
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    script_ = ServiceScript{};
    script_.folders = {{"\\Backup"}};
    c.script(script_);
    logs_ = temp_.File("logs" + std::to_string(++run));
    MakeFolder(logs_);
    EXPECT_EQ(Run(Head() + c.jobs), c.exit_code);
    EXPECT_EQ(script_.jobs.size(), c.jobs_run);
    const std::string results = Results();
    const char* subject = c.results_hold.empty() ? ": No Errors\r\n" : ": Errors Detected\r\n";
    EXPECT_EQ(results.rfind(std::string(kHead) + subject, 0), 0u) << results;
    for (const std::string& text : c.results_hold) {
      EXPECT_NE(results.find(text), std::string::npos) << text << "\n---\n" << results;
    }
    if (c.results_hold.empty()) {
      EXPECT_EQ(results.find("ended with a failure"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace nvx
