#include "protocol/service_commands.h"

#include <algorithm>

#include "platform/text_format.h"
#include "protocol/folder_tree.h"
#include "protocol/library_limits.h"
#include "protocol/reply_body.h"
#include "protocol/response_headers.h"
#include "protocol/server_file_list.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

enum class RetryWhen { kAnyFailure, kCommunicationFailure };

// How a command retries and what it says when it does.
struct RetryPolicy {
  RetryWhen when = RetryWhen::kAnyFailure;
  const char* retry_status = nullptr;      // status message before the second exchange
  const char* retry_error_line = nullptr;  // error line before the second exchange
  const char* note_name = nullptr;         // the communication-failure note's name
};

// Runs `name` naming `target` once, and once more when the policy says so. A last
// exchange that failed with the communication-failure flag set adds the
// communication-failure note. Returns the reply of the last exchange.
ServiceReply CommandWithRetry(ServiceSession& session, std::string_view name,
                              const CommandTarget& target, const RetryPolicy& policy) {
  Reporter& report = session.report();
  ServiceLink& link = session.link();
  ServiceReply reply = ServiceCommand(session, name, target);
  bool retry = policy.when == RetryWhen::kAnyFailure ? !reply : link.communication_failure();
  if (retry && !session.StopRequested()) {
    if (policy.retry_status != nullptr) report.SetStatusMessage(policy.retry_status);
    if (policy.retry_error_line != nullptr) report.LogText(kLineError, policy.retry_error_line);
    reply = ServiceCommand(session, name, target);
  }
  if (!reply && link.communication_failure()) {
    report.AddFileNote(policy.note_name != nullptr ? policy.note_name : name,
                       kNoteCommunicationFailure, true, 0);
  }
  return reply;
}

// How a command's last exchange ended, before its answer is judged: ok when answered.
ExchangeOutcome ExchangeOutcomeOf(const ServiceReply& reply, ServiceLink& link) {
  if (reply) return ExchangeOutcome::kOk;
  return link.communication_failure() || reply.broke == ExchangeBreak::kNoConnection
             ? ExchangeOutcome::kTransportFailure
             : ExchangeOutcome::kRefused;
}

// A request that names only `folder`.
CommandTarget FolderOnly(const FolderTarget& folder) {
  return CommandTarget{folder, {}};
}

// The reply body, deciphered when the service enciphers bodies, without the zero bytes
// at its end (the cipher's padding, or a text's terminator). Zero bytes inside stay: the
// parsers judge them, so that one bad entry never cuts off the entries after it.
std::optional<std::string> TextBodyOf(ServiceSession& session, ServiceReply& reply) {
  std::optional<std::string> body = std::move(reply.body);
  if (!body) return body;
  if ((session.account().service_options & kOptionEncipher) != 0) return DecipherReplyBody(*body);
  const size_t end = body->find_last_not_of('\0');
  body->resize(end == std::string::npos ? 0 : end + 1);
  return body;
}

// The status message of a folder list that could not be read, when the link has not
// already said why (a failed connection, a proxy's refusal).
std::optional<std::string> FolderListBreakText(const ServiceReply& reply) {
  switch (reply.broke) {
    case ExchangeBreak::kHeader:
      return "Folder list not received from Norrvault: the answer broke off";
    case ExchangeBreak::kBody:
      return "Folder list not received from Norrvault: the answer's length was unusable or "
             "its body broke off";
    default:
      return std::nullopt;
  }
}

// Why an entry of a server file list was passed over, as the results say it.
const char* RefusalText(FileListRefusal reason) {
  switch (reason) {
    case FileListRefusal::kControlCharacter:
      return "its name in the server's file list holds a control character";
    case FileListRefusal::kBeyondBound:
      return "the server's file list holds too many entries";
    case FileListRefusal::kMalformed:
      break;
  }
  return "its entry in the server's file list cannot be read";
}

}  // namespace

ExchangeResult<FolderListAnswer> FolderList(ServiceSession& session) {
  Reporter& report = session.report();
  report.SetStatusMessage("Getting folder list from Norrvault");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY FolderList at Norrvault",
                     "Err - RETRY FolderList at Norrvault\n", "FolderList"};
  ServiceReply reply = CommandWithRetry(session, "FolderList", {}, policy);
  if (!reply) {
    if (std::optional<std::string> text = FolderListBreakText(reply)) {
      report.SetStatusMessage(std::move(*text));
    }
    return {ExchangeOutcomeOf(reply, session.link()), {}};
  }
  std::optional<std::string> body = TextBodyOf(session, reply);
  if (!body) {
    // An answer without a list: whatever folder list there was stays, and the command
    // fails with what the service said.
    std::string message = "Invalid Folder List";
    if (!reply.conclusion.empty()) message += " - " + reply.conclusion;
    report.LogLine(kLineError, " Err - FolderList - %s\n", message.c_str());
    report.SetStatusMessage(std::move(message));
    return {ExchangeOutcome::kRefused, {}};
  }
  FolderListParse parsed = ParseFolderList(*body);
  report.SetStatusMessage(parsed.message);
  if (!parsed.message.empty()) {
    report.LogLine(kLineError, " Err - FolderList - %s\n", parsed.message.c_str());
  }
  // A reply that gave no tree at all fails the command, its message the status; one that
  // stopped part way keeps the folders read so far and succeeds.
  if (parsed.tree == nullptr) return {ExchangeOutcome::kRefused, {true, nullptr}};
  report.SetStatusMessage("Folder list retrieved from Norrvault");
  return {ExchangeOutcome::kOk, {true, std::move(parsed.tree)}};
}

ExchangeResult<std::optional<std::string>> FolderFileList(ServiceSession& session,
                                                          const FolderTarget& folder) {
  session.report().SetStatusMessage("Getting folder file list from Norrvault");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Getting Folderfilelist at Norrvault",
                     "Err - RETRY Getting Folderfilelist at Norrvault\n", "FolderFileList"};
  ServiceReply reply = CommandWithRetry(session, "FolderFileList", FolderOnly(folder), policy);
  if (!reply) return {ExchangeOutcomeOf(reply, session.link()), std::nullopt};
  std::optional<std::string> text = TextBodyOf(session, reply);
  session.report().SetStatusMessage("Folder file list retrieved from Norrvault");
  return {ExchangeOutcome::kOk, std::move(text)};
}

std::vector<ServerFileEntry> TakeServerFileList(ServiceSession& session,
                                                std::string_view folder_name, std::string_view text,
                                                std::optional<FileCount> error_count, bool* whole) {
  ServerFileList list = ParseServerFileList(text);
  if (whole != nullptr) *whole = list.refused_count == 0;
  if (list.refused_count == 0) return std::move(list.entries);
  Reporter& report = session.report();
  const std::string folder = TextForLog(folder_name);
  for (const RefusedServerFile& refused : list.refused) {
    const std::string shown = TextForLog(refused.name);
    const char* reason = RefusalText(refused.reason);
    report.LogLine(kLineError, " Err - FolderFileList - Entry refused: '%s' (%s): %s\n",
                   shown.c_str(), folder.c_str(), reason);
    report.WriteResultText("\r\n" + shown + "\r\n   in Norrvault folder: " + folder +
                           "\r\n   was passed over because " + reason + ".\r\n");
  }
  if (const size_t more = list.refused_count - list.refused.size(); more > 0) {
    report.LogLine(kLineError, " Err - FolderFileList - %zu more entries refused (%s)\n", more,
                   folder.c_str());
    report.WriteResultText(
        StrFormat("\r\n%zu more entries\r\n   in Norrvault folder: %s\r\n   "
                  "were passed over because the server's file list holds "
                  "entries that cannot be used.\r\n",
                  more, folder.c_str()));
  }
  if (error_count) {
    session.progress().Count(*error_count, static_cast<int32_t>(std::min<size_t>(
                                               list.refused_count, kServerFileListMaxEntries)));
  }
  return std::move(list.entries);
}

ExchangeResult<int64_t> FolderFileCount(ServiceSession& session, const FolderTarget& folder) {
  Reporter& report = session.report();
  session.progress().SetReplacementCount(0);
  report.SetStatusMessage("Getting folder file count from Norrvault");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Folder File Count at Norrvault",
                     "Err - RETRY Folder File Count at Norrvault\n", "FolderFileCount"};
  ServiceReply reply = CommandWithRetry(session, "FolderFileCount", FolderOnly(folder), policy);
  const std::string& conclusion = reply.conclusion;
  if (conclusion.compare(0, 3, "OK,") == 0) {
    std::string_view count = std::string_view(conclusion).substr(3);
    report.SetStatusMessage("Folder file count retrieved from Norrvault");
    return {ExchangeOutcome::kOk, ConsumeDecimal(count).value_or(0)};
  }
  report.SetStatusMessage("Folder file count retrieve failed " + conclusion);
  return {reply ? ExchangeOutcome::kRefused : ExchangeOutcomeOf(reply, session.link()), 0};
}

ExchangeResult<std::string> FolderCreate(ServiceSession& session, std::string_view parent_id,
                                         std::string_view name) {
  session.report().SetStatusMessage("Creating folder at Norrvault");
  RetryPolicy policy{RetryWhen::kCommunicationFailure, "RETRY Creating folder at Norrvault",
                     "Err - RETRY Creating folder at Norrvault\n", "FolderCreate"};
  ServiceReply reply =
      CommandWithRetry(session, "FolderCreate", FolderOnly(FolderTarget{parent_id, name}), policy);
  if (!reply.body) {
    return {reply ? ExchangeOutcome::kRefused : ExchangeOutcomeOf(reply, session.link()), {}};
  }
  const std::string& body = *reply.body;
  std::string id = body.substr(0, body.find_first_of(std::string_view("\r\n\0", 3)));
  if (id.empty()) {
    // A refusal comes as a conclusion without an id: no folder was made, and nothing may
    // be stored under an empty id.
    session.report().SetStatusMessage("Folder create failed at Norrvault");
    session.report().LogLine(kLineError, " Err - FolderCreate - no folder id in the answer\n");
    return {ExchangeOutcome::kRefused, {}};
  }
  const bool carries_compressed_mark = parent_id.find("-C") != std::string_view::npos;
  if (carries_compressed_mark && id.find("-C") == std::string::npos) {
    id = id.substr(0, kFolderIdMax - 2) + "-C";
  }
  session.report().SetStatusMessage("Folder created at Norrvault");
  return {ExchangeOutcome::kOk, id.substr(0, kFolderIdMax)};
}

ExchangeOutcome DeleteDoc(ServiceSession& session, const FolderTarget& folder,
                          std::string_view version_id, std::string_view shown_name) {
  session.report().SetStatusMessage("Deleting Document at Norrvault");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Delete NVX File at Norrvault",
                     "Err - RETRY Delete NVX File at Norrvault\n", "Delete NVX File"};
  ServiceReply reply =
      CommandWithRetry(session, "DeleteDoc", CommandTarget{folder, version_id}, policy);
  if (!reply) return ExchangeOutcomeOf(reply, session.link());
  if (EqualsIgnoreCase(reply.conclusion, "successful")) return ExchangeOutcome::kOk;
  session.report().LogLine(kLineError, " Err - DeleteNVXDoc - Delete Doc Failed %s %s\n",
                           reply.conclusion.c_str(), std::string(shown_name).c_str());
  return ExchangeOutcome::kRefused;
}

ExchangeOutcome TestId(ServiceSession& session) {
  Reporter& report = session.report();
  report.SetStatusMessage("Verifying Login Id");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Test Id at Norrvault",
                     "Err - RETRY Test Id at Norrvault\n", "TestId"};
  ServiceReply reply = CommandWithRetry(session, "TestId", {}, policy);
  const std::string& conclusion = reply.conclusion;
  static constexpr struct {
    std::string_view conclusion;
    error::Code code;
  } kOutcomes[] = {{"ID Invalid", error::kIdInvalid},
                   {"Password Invalid", error::kPasswordInvalid},
                   {"Account Disabled", error::kAccountDisabled},
                   {"Password Expired", error::kPasswordExpired}};
  for (const auto& outcome : kOutcomes) {
    if (conclusion == outcome.conclusion) report.SetErrorCode(outcome.code);
  }
  if (conclusion != "Successful") {
    report.LogLine(kLineError, " Err - TestId - %s\n", conclusion.c_str());
  }
  // A service that could not be reached leaves the connection's words standing: they
  // say why (a refused certificate, a proxy's refusal), and the login check shows them.
  if (reply.broke != ExchangeBreak::kNoConnection) {
    report.SetStatusMessage("Login Verification Complete");
  }
  return ExchangeOutcomeOf(reply, session.link());
}

ExchangeOutcome ResetSpace(ServiceSession& session) {
  session.report().SetStatusMessage("Verifying Login Id");
  RetryPolicy policy{RetryWhen::kCommunicationFailure, nullptr, nullptr, "ResetSpace"};
  ServiceReply reply = CommandWithRetry(session, "ResetSpace", {}, policy);
  session.report().SetStatusMessage("Login Verification Complete");
  return ExchangeOutcomeOf(reply, session.link());
}

ExchangeOutcome DeleteEmptyFolders(ServiceSession& session, const FolderRecord& folder) {
  session.report().SetStatusMessage("Delete Empty Folders");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Delete Empty Folder at Norrvault",
                     "Err - RETRY Delete Empty Folder at Norrvault\n", "DEMF"};
  ServiceReply reply =
      CommandWithRetry(session, "DEMF", FolderOnly({folder.folder_id, folder.name}), policy);
  session.report().SetStatusMessage("Delete Empty Folders Complete");
  return ExchangeOutcomeOf(reply, session.link());
}

ExchangeOutcome DeleteFolderTree(ServiceSession& session, const FolderRecord& folder) {
  Reporter& report = session.report();
  report.SetStatusMessage("Delete Empty Folders");
  report.LogLine(kLineActivity, " Delete NVX Folder %s\n", FolderPath(folder).c_str());
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Delete Folder at Norrvault",
                     "Err - RETRY Delete  Folder at Norrvault\n", "DMFT"};
  ServiceReply reply =
      CommandWithRetry(session, "DMFT", FolderOnly({folder.folder_id, folder.name}), policy);
  report.SetStatusMessage("Delete  Folders Complete");
  if (!reply) return ExchangeOutcomeOf(reply, session.link());
  return EqualsIgnoreCase(reply.conclusion, "successful") ? ExchangeOutcome::kOk
                                                          : ExchangeOutcome::kRefused;
}

}  // namespace nvx
