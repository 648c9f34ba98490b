#include "protocol/service_commands.h"

#include <mutex>

#include "api/activity_log.h"
#include "api/results_report.h"
#include "platform/text_format.h"
#include "protocol/folder_tree.h"
#include "protocol/reply_body.h"
#include "protocol/response_headers.h"
#include "protocol/server_file_list.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"

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

// Runs `name` once, and once more when the policy says so. A last exchange that failed
// with the communication-failure flag set adds the communication-failure note.
bool CommandWithRetry(TransferSession& session, std::string_view name, const RetryPolicy& policy) {
  SharedBlock& block = session.block();
  bool succeeded = ServiceCommand(session, name);
  bool retry = policy.when == RetryWhen::kAnyFailure ? !succeeded : session.communication_failure;
  if (!retry || session.StopRequested()) {
    if (!succeeded && session.communication_failure) {
      AddFileNote(block, policy.note_name != nullptr ? policy.note_name : name,
                  kNoteCommunicationFailure, true, 0);
    }
    return succeeded;
  }
  if (policy.retry_status != nullptr) SetStatusMessage(block, policy.retry_status);
  if (policy.retry_error_line != nullptr) LogText(block, kLineError, policy.retry_error_line);
  succeeded = ServiceCommand(session, name);
  if (!succeeded && session.communication_failure) {
    AddFileNote(block, policy.note_name != nullptr ? policy.note_name : name,
                kNoteCommunicationFailure, true, 0);
  }
  return succeeded;
}

// The reply body taken over, deciphered when the service enciphers bodies, and read as
// text up to its first zero byte.
std::optional<std::string> TakeTextBody(TransferSession& session) {
  std::optional<std::string> body = std::move(session.link().response_body);
  session.link().response_body.reset();
  if (!body) return body;
  if ((session.block().service_options & kOptionEncipher) != 0) return DecipherReplyBody(*body);
  body->resize(std::min(body->size(), body->find('\0')));
  return body;
}

// Points the request at the mapped folder; false when none is mapped.
bool NameMappedFolder(SharedBlock& block) {
  if (block.mapped_folder == nullptr) return false;
  block.current_server_folder_id = block.mapped_folder->folder_id;
  return true;
}

}  // namespace

bool FolderList(TransferSession& session) {
  SharedBlock& block = session.block();
  SetStatusMessage(block, "Getting folder list from Norrvault");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY FolderList at Norrvault",
                     "Err - RETRY FolderList at Norrvault\n", "FolderList"};
  if (!CommandWithRetry(session, "FolderList", policy)) return false;
  if (std::optional<std::string> body = TakeTextBody(session)) {
    FolderListParse parsed = ParseFolderList(*body);
    // A mapped folder keeps pointing into the tree it came from until Reset.
    if (block.folder_list != nullptr && block.mapped_folder != nullptr) {
      block.retired_folder_lists.push_front(std::move(block.folder_list));
    }
    block.folder_list = std::move(parsed.tree);
    SetStatusMessage(block, parsed.message);
    if (!parsed.message.empty()) {
      LogLine(block, kLineError, " Err - FolderList - %s\n", parsed.message.c_str());
    }
  }
  SetStatusMessage(block, "Folder list retrieved from Norrvault");
  return true;
}

bool FolderFileList(TransferSession& session) {
  SetStatusMessage(session.block(), "Getting folder file list from Norrvault");
  session.link().file_list_text.reset();
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Getting Folderfilelist at Norrvault",
                     "Err - RETRY Getting Folderfilelist at Norrvault\n", "FolderFileList"};
  if (!CommandWithRetry(session, "FolderFileList", policy)) return false;
  session.link().file_list_text = TakeTextBody(session);
  SetStatusMessage(session.block(), "Folder file list retrieved from Norrvault");
  return true;
}

void ParseServerFileList(TransferSession& session) {
  const std::optional<std::string>& text = session.link().file_list_text;
  session.block().server_file_list =
      text ? ParseServerFileList(std::string_view(*text)) : std::vector<ServerFileEntry>();
}

const std::optional<std::string>& FileListText(TransferSession& session) {
  return session.link().file_list_text;
}

bool FolderFileCount(TransferSession& session) {
  SharedBlock& block = session.block();
  block.folder_file_count = 0;
  {
    std::lock_guard<std::mutex> lock(block.state_lock);
    block.live_progress.replacement_count = 0;
  }
  SetStatusMessage(block, "Getting folder file count from Norrvault");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Folder File Count at Norrvault",
                     "Err - RETRY Folder File Count at Norrvault\n", "FolderFileCount"};
  CommandWithRetry(session, "FolderFileCount", policy);
  std::string conclusion = ConclusionOf(block);
  if (conclusion.compare(0, 3, "OK,") == 0) {
    std::string_view count = std::string_view(conclusion).substr(3);
    block.folder_file_count = ConsumeDecimal(count).value_or(0);
    SetStatusMessage(block, "Folder file count retrieved from Norrvault");
    return true;
  }
  SetStatusMessage(block, "Folder file count retrieve failed " + conclusion);
  return false;
}

bool FolderCreate(TransferSession& session) {
  SharedBlock& block = session.block();
  SetStatusMessage(block, "Creating folder at Norrvault");
  RetryPolicy policy{RetryWhen::kCommunicationFailure, "RETRY Creating folder at Norrvault",
                     "Err - RETRY Creating folder at Norrvault\n", "FolderCreate"};
  CommandWithRetry(session, "FolderCreate", policy);
  std::optional<std::string> body = std::move(session.link().response_body);
  session.link().response_body.reset();
  if (!body) return false;
  std::string id = body->substr(0, body->find_first_of(std::string_view("\r\n\0", 3)));
  const bool carries_compressed_mark =
      block.current_server_folder_id.find("-C") != std::string::npos;
  if (carries_compressed_mark && id.find("-C") == std::string::npos) {
    id = id.substr(0, kFolderIdMax - 2) + "-C";
  }
  block.new_folder_id = id.substr(0, kFolderIdMax);
  SetStatusMessage(block, "Folder created at Norrvault");
  return true;
}

bool DeleteDoc(TransferSession& session) {
  SharedBlock& block = session.block();
  SetStatusMessage(block, "Deleting Document at Norrvault");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Delete NVX File at Norrvault",
                     "Err - RETRY Delete NVX File at Norrvault\n", "Delete NVX File"};
  if (!CommandWithRetry(session, "DeleteDoc", policy)) return false;
  std::string conclusion = ConclusionOf(block);
  if (EqualsIgnoreCase(conclusion, "successful")) return true;
  LogLine(block, kLineError, " Err - DeleteNVXDoc - Delete Doc Failed %s %s\n", conclusion.c_str(),
          block.current_file.c_str());
  return false;
}

bool TestId(TransferSession& session) {
  SharedBlock& block = session.block();
  SetStatusMessage(block, "Verifying Login Id");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Test Id at Norrvault",
                     "Err - RETRY Test Id at Norrvault\n", "TestId"};
  CommandWithRetry(session, "TestId", policy);
  std::string conclusion = ConclusionOf(block);
  static constexpr struct {
    std::string_view conclusion;
    ErrorCode code;
  } kOutcomes[] = {{"ID Invalid", kErrorIdInvalid},
                   {"Password Invalid", kErrorPasswordInvalid},
                   {"Account Disabled", kErrorAccountDisabled},
                   {"Password Expired", kErrorPasswordExpired}};
  for (const auto& outcome : kOutcomes) {
    if (conclusion == outcome.conclusion) block.error_code.store(outcome.code);
  }
  if (conclusion != "Successful") {
    LogLine(block, kLineError, " Err - TestId - %s\n", conclusion.c_str());
  }
  SetStatusMessage(block, "Login Verification Complete");
  return true;
}

bool ResetSpace(TransferSession& session) {
  SharedBlock& block = session.block();
  SetStatusMessage(block, "Verifying Login Id");
  RetryPolicy policy{RetryWhen::kCommunicationFailure, nullptr, nullptr, "ResetSpace"};
  CommandWithRetry(session, "ResetSpace", policy);
  SetStatusMessage(block, "Login Verification Complete");
  return true;
}

bool DeleteEmptyFolders(TransferSession& session) {
  SharedBlock& block = session.block();
  if (!NameMappedFolder(block)) return false;
  SetStatusMessage(block, "Delete Empty Folders");
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Delete Empty Folder at Norrvault",
                     "Err - RETRY Delete Empty Folder at Norrvault\n", "DEMF"};
  CommandWithRetry(session, "DEMF", policy);
  SetStatusMessage(block, "Delete Empty Folders Complete");
  return true;
}

bool DeleteFolderTree(TransferSession& session) {
  SharedBlock& block = session.block();
  if (!NameMappedFolder(block)) return false;
  SetStatusMessage(block, "Delete Empty Folders");
  LogLine(block, kLineActivity, " Delete NVX Folder %s\n",
          FolderPath(*block.mapped_folder).c_str());
  RetryPolicy policy{RetryWhen::kAnyFailure, "RETRY Delete Folder at Norrvault",
                     "Err - RETRY Delete  Folder at Norrvault\n", "DMFT"};
  CommandWithRetry(session, "DMFT", policy);
  SetStatusMessage(block, "Delete  Folders Complete");
  return true;
}

}  // namespace nvx
