// The named commands with their retries, status messages and notes, the folder path
// check, file information, the e-mail PUT, and the version and help files, each against
// a scripted loopback peer.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/command_routines.h"
#include "api/results_report.h"
#include "codec/base64.h"
#include "codec/transfer_cipher.h"
#include "protocol/email_exchange.h"
#include "protocol/folder_paths.h"
#include "protocol/folder_tree.h"
#include "protocol/response_headers.h"
#include "protocol/server_file_list.h"
#include "protocol/service_command.h"
#include "protocol/service_commands.h"
#include "protocol/web_files.h"
#include "tests/protocol/session_fixture.h"

namespace nvx {
namespace {

using test::LoopbackPeer;
using test::ServiceAnswer;

const char kSixFolderLines[] =
    "0\tMyFiles\tW\t100\n1\tDocs\tW\t101\n2\tA\tV\t102\n"
    "1\tPrivate\tN\t103\n2\tInner\tW\t104\n0\tShared\tV\t105\n";

std::string Answer(const std::string& word) {
  return ServiceAnswer("X-NVX-CONCLUSION: " + word + "\r\n");
}

// The enciphered form of a reply body: two bytes naming key number k, then the text
// zero-padded to whole blocks and enciphered.
std::string Enciphered(const std::string& text, size_t key_number) {
  std::string body(2 + RoundUpToBlock(text.size()), '\0');
  body[0] = static_cast<char>(0x40 | (key_number >> 8));
  body[1] = static_cast<char>(key_number & 0xFF);
  TransferCipher(key_number).Encipher(text.data(), text.size(), body.data() + 2);
  return body;
}

class CommandsTest : public test::SessionTest {
 protected:
  std::string PendingResults() { return test::ReadFileText(PendingResultsName(block_)); }
};

TEST_F(CommandsTest, LoginOutcomes) {
  struct Case {
    const char* conclusion;
    int32_t error_code;
  } cases[] = {{"Successful", kErrorNone},
               {"ID Invalid", kErrorIdInvalid},
               {"Password Invalid", kErrorPasswordInvalid},
               {"Account Disabled", kErrorAccountDisabled},
               {"Password Expired", kErrorPasswordExpired},
               {"Something Else", kErrorNone}};
  for (const Case& c : cases) {
    LoopbackPeer peer;
    peer.AddReply(Answer(c.conclusion));
    UseServer(peer);
    block_.control.error_code.store(kErrorNone);
    EXPECT_TRUE(RoutineVerifyId(session())) << c.conclusion;
    EXPECT_EQ(block_.control.error_code.load(), c.error_code) << c.conclusion;
    EXPECT_EQ(Status(), "Login Verification Complete");
    EXPECT_EQ(peer.Requests().size(), 1u);
  }
  EXPECT_TRUE(LogHas(" Err - TestId - Account Disabled\n"));
  EXPECT_FALSE(LogHas(" Err - TestId - Successful\n"));
}

TEST_F(CommandsTest, LoginRetriesOnceAndNotesTheCommunicationFailure) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 200 OK\r\n");
  peer.AddReply("HTTP/1.1 200 OK\r\n");
  UseServer(peer);
  EXPECT_EQ(TestId(session()), ExchangeOutcome::kTransportFailure);
  EXPECT_EQ(peer.Requests().size(), 2u);
  EXPECT_TRUE(LogHas("Err - RETRY Test Id at Norrvault\n"));
  EXPECT_TRUE(LogHas(" Err - TestId - \n"));
  std::string pending = PendingResults();
  EXPECT_NE(pending.find("The File Transfer was terminated due to a problem communicating"),
            std::string::npos);
  EXPECT_NE(pending.find("Comm Request/File TestId\r\n"), std::string::npos);
}

TEST_F(CommandsTest, FolderListAfterABrokenFirstExchange) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 200 OK\r\nX-NVX-CONC");
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n", kSixFolderLines));
  UseServer(peer);
  EXPECT_TRUE(RoutineFolderList(session()));
  EXPECT_EQ(Status(), "Folder list retrieved from Norrvault");
  EXPECT_TRUE(LogHas("Err - RETRY FolderList at Norrvault\n"));
  ASSERT_NE(block_.protocol.lists.folder_list, nullptr);
  EXPECT_NE(FindFolder("Docs\\A", *block_.protocol.lists.folder_list->root()), nullptr);
  EXPECT_EQ(PendingResults(), "");  // the second exchange worked: no note
}

TEST_F(CommandsTest, EncipheredFolderList) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\nX-NVX-CRUNCHYFROG: 1,0,0\r\n",
                              Enciphered(kSixFolderLines, 300)));
  UseServer(peer);
  EXPECT_TRUE(RoutineFolderList(session()));
  EXPECT_EQ(block_.protocol.account.service_options, 1);
  ASSERT_NE(block_.protocol.lists.folder_list, nullptr);
  EXPECT_EQ(FindFolder("Shared", *block_.protocol.lists.folder_list->root())->folder_id, "105");
}

TEST_F(CommandsTest, FolderListKeepsATreeTheMappedFolderPointsInto) {
  LoopbackPeer peer;
  test::AddKeepAliveConnection(
      peer, {ServiceAnswer("", kSixFolderLines), ServiceAnswer("", "0\tMyFiles\tW\t1\n1\tCut")});
  UseServer(peer);
  ASSERT_TRUE(RoutineFolderList(session()));
  block_.protocol.lists.mapped_folder =
      FindFolder("Docs", *block_.protocol.lists.folder_list->root());
  EXPECT_FALSE(RoutineFolderList(session()));  // the parse fails: no tree, and the command fails
  EXPECT_EQ(Status(), "System Error - Invalid data from server");
  EXPECT_EQ(block_.protocol.lists.folder_list, nullptr);
  EXPECT_EQ(block_.protocol.lists.mapped_folder->name, "Docs");  // still valid
  EXPECT_TRUE(LogHas(" Err - FolderList - System Error - Invalid data from server\n"));
}

TEST_F(CommandsTest, FolderFileListAndItsEntries) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\nX-NVX-CRUNCHYFROG: 1,0,0\r\n",
                              Enciphered("A17\tA.txt\t10\t07D403050E0709\t0\t0\t\r\n", 17)));
  UseServer(peer);
  ExchangeResult<std::optional<std::string>> text = FolderFileList(session(), {"101", ""});
  ASSERT_TRUE(text.ok() && text.value.has_value());
  const std::vector<ServerFileEntry> list =
      TakeServerFileList(session(), "Docs", *text.value, std::nullopt);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "A.txt");
  EXPECT_EQ(list[0].version_id, "A17");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-BLACMANGE: "), "101,0");
  // A reply without a body is an empty folder.
  LoopbackPeer empty;
  test::AddKeepAliveConnection(empty, {Answer("Successful"), Answer("Successful")});
  UseServer(empty);
  EXPECT_TRUE(RoutineFolderFileList(session()));
  text = FolderFileList(session(), {"101", ""});
  EXPECT_TRUE(text.ok() && !text.value.has_value());
}

TEST_F(CommandsTest, FolderFileCount) {
  LoopbackPeer peer;
  test::AddKeepAliveConnection(peer, {Answer("OK,17"), Answer("OK")});
  UseServer(peer);
  block_.reported.live_progress.replacement_count = 4;
  ExchangeResult<int64_t> count = FolderFileCount(session(), {});
  EXPECT_TRUE(count.ok());
  EXPECT_EQ(count.value, 17);
  EXPECT_EQ(block_.reported.live_progress.replacement_count, 0);
  EXPECT_EQ(Status(), "Folder file count retrieved from Norrvault");
  EXPECT_EQ(FolderFileCount(session(), {}).outcome, ExchangeOutcome::kRefused);
  EXPECT_EQ(Status(), "Folder file count retrieve failed OK");
}

TEST_F(CommandsTest, DeleteDocAcceptsAnyLetterCase) {
  LoopbackPeer peer;
  test::AddKeepAliveConnection(peer, {Answer("SUCCESSFUL"), Answer("Error - Document Not Found")});
  UseServer(peer);
  EXPECT_EQ(DeleteDoc(session(), {}, "A17", "/home/u/a.txt"), ExchangeOutcome::kOk);
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-LUPIN: "), "0,A17;");
  EXPECT_EQ(DeleteDoc(session(), {}, "A17", "/home/u/a.txt"), ExchangeOutcome::kRefused);
  EXPECT_TRUE(
      LogHas(" Err - DeleteNVXDoc - Delete Doc Failed Error - Document Not Found /home/u/a.txt\n"));
}

TEST_F(CommandsTest, FolderCreateCarriesTheCompressedMark) {
  LoopbackPeer peer;
  test::AddKeepAliveConnection(peer,
                               {ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n", "456\r\n"),
                                ServiceAnswer("", "789-C\r\n"), Answer("Error - Invalid Name")});
  UseServer(peer);
  ExchangeResult<std::string> created = FolderCreate(session(), "123-C", "New");
  EXPECT_TRUE(created.ok());
  EXPECT_EQ(created.value, "456-C");
  EXPECT_EQ(Status(), "Folder created at Norrvault");
  created = FolderCreate(session(), "123-C", "New");
  EXPECT_EQ(created.value, "789-C");
  EXPECT_FALSE(FolderCreate(session(), "123-C", "New").ok());  // refused: no body, no retry
  EXPECT_EQ(peer.Requests().size(), 3u);
}

TEST_F(CommandsTest, VerifyPathCreatesTheMissingFolders) {
  block_.protocol.lists.folder_list = std::move(ParseFolderList(kSixFolderLines).tree);
  LoopbackPeer peer;
  test::AddKeepAliveConnection(peer, {ServiceAnswer("", "201\r\n"), ServiceAnswer("", "202\r\n"),
                                      ServiceAnswer("", "203\r\n")});
  UseServer(peer);
  block_.job.path_to_verify = "\\Docs\\New\\Sub";
  EXPECT_TRUE(RoutineVerifyPath(session()));
  ASSERT_EQ(peer.Requests().size(), 2u);
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-BLACMANGE: "), "101,0");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-BIGGLES: "), "New");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[1], "X-NVX-BLACMANGE: "), "201,0");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[1], "X-NVX-BIGGLES: "), "Sub");
  const FolderRecord* sub =
      FindFolder("Docs\\New\\Sub", *block_.protocol.lists.folder_list->root());
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->folder_id, "202");
  EXPECT_EQ(FolderPath(*sub), "Docs\\New\\Sub\\");
  // A first component goes below "MyFiles", whose id the request names.
  block_.job.path_to_verify = "Fresh";
  EXPECT_TRUE(RoutineVerifyPath(session()));
  ASSERT_EQ(peer.Requests().size(), 3u);
  EXPECT_EQ(test::RequestHeader(peer.Requests()[2], "X-NVX-BLACMANGE: "), "100,0");
  EXPECT_EQ(FindFolder("MyFiles\\Fresh", *block_.protocol.lists.folder_list->root())->folder_id,
            "203");
  // Everything there: no request at all.
  block_.job.path_to_verify = "Docs\\New";
  EXPECT_TRUE(RoutineVerifyPath(session()));
  EXPECT_EQ(peer.Requests().size(), 3u);
}

TEST_F(CommandsTest, VerifyPathStopsAtAFolderThatCannotBeCreated) {
  block_.protocol.lists.folder_list = std::move(ParseFolderList(kSixFolderLines).tree);
  LoopbackPeer peer;
  peer.AddReply(Answer("Error - Invalid Name"));
  UseServer(peer);
  block_.job.path_to_verify = "Docs\\..\\x";
  EXPECT_FALSE(RoutineVerifyPath(session()));
  EXPECT_EQ(peer.Requests().size(), 1u);
  block_.protocol.lists.folder_list.reset();
  EXPECT_FALSE(RoutineVerifyPath(session()));
  EXPECT_EQ(block_.control.error_code.load(), kErrorNoFolderList);
  block_.job.path_to_verify.clear();
  EXPECT_TRUE(RoutineVerifyPath(session()));
}

TEST_F(CommandsTest, DeleteEmptyFoldersNamesTheMappedFolder) {
  EXPECT_FALSE(RoutineDeleteEmptyFolders(session()));  // nothing mapped: no request
  block_.protocol.lists.folder_list = std::move(ParseFolderList(kSixFolderLines).tree);
  block_.protocol.lists.mapped_folder =
      FindFolder("Docs", *block_.protocol.lists.folder_list->root());
  LoopbackPeer peer;
  test::AddKeepAliveConnection(peer, {Answer("Successful"), Answer("Successful")});
  UseServer(peer);
  EXPECT_TRUE(RoutineDeleteEmptyFolders(session()));
  EXPECT_EQ(Status(), "Delete Empty Folders Complete");
  EXPECT_EQ(peer.Requests()[0].substr(0, 36), "GET /scripts/rizezi7.dll?DEMF HTTP/1");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-BLACMANGE: "), "101,0");
  EXPECT_EQ(DeleteFolderTree(session(), *block_.protocol.lists.mapped_folder),
            ExchangeOutcome::kOk);
  EXPECT_EQ(Status(), "Delete  Folders Complete");
  EXPECT_TRUE(LogHas(" Delete NVX Folder Docs\\\n"));
}

TEST_F(CommandsTest, ResetSpaceRefreshesTheFigures) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\nX-NVX-LARCH: 6442450944,42\r\n"));
  UseServer(peer);
  EXPECT_TRUE(RoutineResetSpace(session()));
  EXPECT_EQ(block_.protocol.account.space_limit, 6442450944);
  EXPECT_EQ(block_.protocol.account.space_used, 42);
  EXPECT_EQ(Status(), "Login Verification Complete");
}

TEST_F(CommandsTest, FileInformation) {
  LoopbackPeer peer;
  std::string digest(16, '\x11');
  test::AddKeepAliveConnection(
      peer, {ServiceAnswer(
                 "X-NVX-CONCLUSION: Successful\r\nX-NVX-LUPIN: " + Base64Encode(digest) +
                 ",6442450944,B9,07D403050E0709;big file.bin\r\nContent-Length: 6442450944\r\n"),
             ServiceAnswer("X-NVX-LUPIN: d,10;\r\n")});
  UseServer(peer);
  ExchangeResult<std::optional<FileInfoRecord>> info = FileInfoQuery(session(), {{}, "B9"});
  ASSERT_TRUE(info.ok() && info.value.has_value());
  std::string request = peer.Requests()[0];
  EXPECT_EQ(test::WithoutToken(request),
            "HEAD /scripts/rizezi7.dll?FileInfo HTTP/1.1\r\nHost: " + peer.address() +
                "\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\nX-NVX-BLACMANGE: NO\r\n"
                "X-NVX-LUPIN: 0,B9;\r\n\r\n");
  EXPECT_EQ(std::string(info.value->digest.begin(), info.value->digest.end()), digest);
  EXPECT_EQ(info.value->size, 6442450944);
  EXPECT_EQ(info.value->version_id, "B9");
  EXPECT_EQ(info.value->date_stamp, "07D403050E0709");
  EXPECT_EQ(info.value->name, "big file.bin");
  EXPECT_FALSE(RoutineFileInfo(session()));
  EXPECT_EQ(Status(), "Norrvault Web Server Invalid Header Response");
}

TEST_F(CommandsTest, FileInformationAfterATransportFailure) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 200");
  UseServer(peer);
  EXPECT_FALSE(RoutineFileInfo(session()));
  EXPECT_EQ(Conclusion(), "CommErr ret 0");
  EXPECT_TRUE(LogHas(" Err - FileInfo - Connection Closed Incomplete HTTP response header\n"));
  EXPECT_NE(PendingResults().find("Comm Request/File FileInfo\r\n"), std::string::npos);
}

TEST_F(CommandsTest, EmailTextPut) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 100 Continue\r\n\r\n" +
                ServiceAnswer("X-NVX-CONCLUSION: Successful\r\nX-NVX-LARCH: 100,7\r\n"));
  UseServer(peer);
  block_.job.flags.email_to_user = true;
  clock_.SetNowSeconds(5000);
  EXPECT_TRUE(SendEmailText(session(), "Subject\r\nBody text"));
  std::string request = peer.Requests()[0];
  EXPECT_EQ(test::WithoutToken(request),
            "PUT /scripts/rizezi7.dll?email.txt HTTP/1.1\r\nHost: " + peer.address() +
                "\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\nContent-Length: 18\r\n"
                "X-NVX-FANG: " +
                std::to_string(5000 % 1025) + "," + std::to_string(5000 & 0xFFF) +
                ",0,0,18\r\nX-NVX-BEAVERCHEESE: 1,0,File Transfer;\r\n\r\nSubject\r\nBody text");
  EXPECT_EQ(block_.protocol.account.space_used, 7);
}

TEST_F(CommandsTest, EncipheredEmailText) {
  LoopbackPeer peer;
  peer.AddReply(Answer("Successful"));
  UseServer(peer);
  block_.protocol.account.service_options = kOptionEncipher;
  block_.job.flags.email_to_administrator = true;
  clock_.SetNowSeconds(496 * 3000 + 300);
  const std::string text = "Thirteen byte";
  EXPECT_TRUE(SendEmailText(session(), text));
  std::string request = peer.Requests()[0];
  EXPECT_EQ(test::RequestHeader(request, "Content-Length: "), "16");
  EXPECT_EQ(test::RequestHeader(request, "X-NVX-FANG: "), "13,11265,0,0,13");
  std::string body = request.substr(request.find("\r\n\r\n") + 4);
  ASSERT_EQ(body.size(), 16u);
  TransferCipher(300).Decipher(body.data(), body.data(), body.size());
  EXPECT_EQ(body, text + std::string(3, '\0'));
}

TEST_F(CommandsTest, EmailRefusedOrUnreachable) {
  LoopbackPeer peer;
  peer.AddReply(Answer("Error - Quota Exceeded"));
  UseServer(peer);
  EXPECT_FALSE(SendEmailText(session(), "x"));
  EXPECT_EQ(block_.control.error_code.load(), kErrorUploadRefused);
  EXPECT_EQ(Status(), " Error Error - Quota Exceeded Upload file email.txt failed");
  EXPECT_TRUE(LogHas("Err - email.txt - Error Conclusion from server - Error - Quota Exceeded\n"));
  EXPECT_EQ(peer.Requests().size(), 1u);  // a refusal is not retried
  // A transport failure is retried once.
  LoopbackPeer cut;
  cut.AddReply("HTTP/1.1 2");
  cut.AddReply(Answer("Successful"));
  UseServer(cut);
  EXPECT_TRUE(SendEmailText(session(), "x"));
  EXPECT_EQ(cut.Requests().size(), 2u);
  link().ReplaceServerList("127.0.0.1:" + std::to_string(test::RefusingPort()));
  EXPECT_FALSE(SendEmailText(session(), "x"));
  EXPECT_EQ(block_.control.error_code.load(), kErrorConnect);
}

TEST_F(CommandsTest, VersionFile) {
  struct Case {
    std::string text;
    int32_t major, minor, build;
    std::string note;
  } cases[] = {
      {"1.0.9 Fixes proxy login", 1, 0, 9, "Fixes proxy login"},
      {"2.1", 2, 0, 9, "Fixes proxy login"},  // only the major number changes
      {"3.4.5", 3, 4, 9, "Fixes proxy login"},
      {"", 3, 4, 9, "Fixes proxy login"},
  };
  for (const Case& c : cases) {
    LoopbackPeer peer;
    peer.AddReply(ServiceAnswer("", c.text, true));
    UseServer(peer);
    EXPECT_TRUE(RoutineVersionFile(session())) << c.text;
    EXPECT_EQ(block_.protocol.version.major, c.major) << c.text;
    EXPECT_EQ(block_.protocol.version.minor, c.minor) << c.text;
    EXPECT_EQ(block_.protocol.version.build, c.build) << c.text;
    EXPECT_EQ(block_.protocol.version.note, c.note) << c.text;
    EXPECT_EQ(Status(), "Get Help File Complete");
    EXPECT_EQ(peer.Requests()[0],
              "GET /uploadmanager/version.txt HTTP/1.1\r\nHost: " + peer.address() +
                  "\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\n\r\n");
  }
}

TEST_F(CommandsTest, HelpFileInPiecesOf1024) {
  test::TempDir work;
  block_.job.work_directory = work.path();
  std::string help(2500, '\0');
  for (size_t i = 0; i < help.size(); ++i) help[i] = static_cast<char>(i * 7);
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("", help));
  UseServer(peer);
  EXPECT_TRUE(RoutineHelpFile(session()));
  EXPECT_EQ(block_.protocol.help_file_name, work.File("norrvaulthelp-1.0.8.chm"));
  EXPECT_TRUE(test::ReadFileText(block_.protocol.help_file_name) == help);
  EXPECT_EQ(block_.reported.live_progress.total_blocks, 3);
  EXPECT_EQ(block_.reported.live_progress.block, 3);
  EXPECT_EQ(block_.transfer_size, 2500);
}

TEST_F(CommandsTest, WebFilesTheServerDoesNotHave) {
  test::TempDir work;
  block_.job.work_directory = work.path();
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("", "", true, "HTTP/1.1 404 Not Found"));
  peer.AddReply(ServiceAnswer("", "", true, "HTTP/1.1 404 Not Found"));
  UseServer(peer);
  EXPECT_FALSE(RoutineHelpFile(session()));
  EXPECT_EQ(Status(), "Norrvault Web Server Error");
  EXPECT_EQ(test::ListFolder(work.path()), std::vector<std::string>{});
  EXPECT_FALSE(RoutineVersionFile(session()));
  EXPECT_EQ(Status(), "Norrvault Web Server Error");
}

TEST_F(CommandsTest, SetServerReplacesTheList) {
  block_.job.link.server_host = "127.0.0.1:8099";
  EXPECT_TRUE(RoutineSetServer(session()));
  ASSERT_EQ(link().servers().entries().size(), 1u);
  EXPECT_EQ(link().servers().entries()[0].request_host, "127.0.0.1:8099");
  block_.job.link.server_host = "";
  test::ScopedEnvironment unset("NVX_SERVER", nullptr);
  EXPECT_TRUE(RoutineSetServer(session()));
  EXPECT_EQ(link().servers().entries().size(), 2u);
}

}  // namespace
}  // namespace nvx
