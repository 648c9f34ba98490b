#include "runner/run_decisions.h"

#include "platform/text_format.h"

namespace nvx {
namespace {

LoginOutcome Ended(int exit_code, std::string debug_line, std::string results_text) {
  LoginOutcome outcome;
  outcome.exit_code = exit_code;
  outcome.debug_line = std::move(debug_line);
  outcome.results_text = std::move(results_text);
  return outcome;
}

std::string WithConclusion(const char* format, std::string_view conclusion) {
  return StrFormat(format, std::string(conclusion).c_str());
}

// The status message of a failed connection that says why, as the library words it.
constexpr std::string_view kConnectFailedBecause = "Connect to Norrvault failed: ";

// What the results say after "System Error ": the conclusion, or without one what the
// exchange came to.
std::string LoginFailureText(std::string_view conclusion, std::string_view http_response,
                             std::string_view status_message) {
  if (!conclusion.empty()) return std::string(conclusion);
  if (http_response.empty() && status_message.starts_with(kConnectFailedBecause)) {
    status_message.remove_prefix(kConnectFailedBecause.size());
    return "- " + std::string(status_message.substr(0, kMaxFailureReasonBytes));
  }
  if (http_response.empty()) return "- no answer from the service";
  std::string text = "- no conclusion in the answer \"";
  text.append(http_response).append("\"");
  return text;
}

// A reason from the library or the service as the results show it: the status message,
// else the conclusion; control characters become blanks, and it is cut at
// kMaxFailureReasonBytes.
std::string ShownReason(std::string_view status_message, std::string_view conclusion) {
  std::string_view reason = status_message;
  if (reason.find_first_not_of(" \r\n\t") == std::string_view::npos) reason = conclusion;
  std::string shown(reason.substr(0, kMaxFailureReasonBytes));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  const size_t end = shown.find_last_not_of(' ');
  shown.resize(end == std::string::npos ? 0 : end + 1);
  if (shown.empty()) shown = "no reason given";
  return shown;
}

}  // namespace

LoginOutcome DecideLoginOutcome(int32_t status, int32_t error_code, std::string_view conclusion,
                                std::string_view http_response, std::string_view status_message) {
  switch (error_code) {
    case kErrorProxyAuth:
      return Ended(2, "Returning Proxy Authentication Failed\n", "");
    case kErrorIdInvalid:
      return Ended(3, WithConclusion("Verify Id Complete ID Invalid Result = %s\n", conclusion),
                   "User Id Invalid\r\n");
    case kErrorPasswordInvalid:
      return Ended(4,
                   WithConclusion("Verify Id Complete Password Invalid Result = %s\n", conclusion),
                   "User Password Invalid\r\n");
    case kErrorAccountDisabled:
      return Ended(4,
                   WithConclusion("Verify Id Complete Account Disabled Result = %s\n", conclusion),
                   "User Account Disabled\r\n");
    case kErrorPasswordExpired:
      return Ended(4,
                   WithConclusion("Verify Id Complete Password Expired Result = %s\n", conclusion),
                   "User Password Expired\r\n");
    case 0:
      // Only "Successful" lets the run go on; any other conclusion is a login that did
      // not succeed, and a scheduler must never read it as a finished run.
      if (status != kStatusFailed && conclusion == "Successful") {
        LoginOutcome go_on;
        go_on.go_on = true;
        return go_on;
      }
      [[fallthrough]];
    default:
      return Ended(
          10, WithConclusion("Verify Id Complete System Error Result = %s\n", conclusion),
          "System Error " + LoginFailureText(conclusion, http_response, status_message) + "\r\n");
  }
}

FolderVerdict CheckJobFolder(JobKind kind, bool mapped, bool no_show, bool no_access,
                             bool write_access) {
  if (!mapped || no_show) return FolderVerdict::kNotFound;
  bool needs_write = kind == JobKind::kUpload || kind == JobKind::kClean;
  if (no_access || (needs_write && !write_access)) return FolderVerdict::kAccessDenied;
  return FolderVerdict::kGoOn;
}

ServerPathParts SplitServerPath(std::string_view path) {
  size_t backslash = path.rfind('\\');
  if (backslash == std::string_view::npos) return {"\\", std::string(path)};
  std::string_view folder = path.substr(0, backslash);
  return {folder.empty() ? std::string("\\") : std::string(folder),
          std::string(path.substr(backslash + 1))};
}

std::string FolderNotFoundText(const ServerPathParts& parts) {
  return StrFormat(
      "\r\n\r\n%s\r\n  in Norrvault folder: %s\r\n  was not transfered because the NVX Folder "
      "was not found.\r\n",
      parts.name.c_str(), parts.folder.c_str());
}

std::string AccessDeniedText(const ServerPathParts& parts) {
  return StrFormat(
      "\r\n\r\n%s\r\n  in Norrvault folder: %s\r\n  was not transfered because access is "
      "denied.\r\n",
      parts.name.c_str(), parts.folder.c_str());
}

TransferVerdict DecideAfterTransfer(int32_t error_code) {
  switch (error_code) {
    case 0:
      return TransferVerdict::kNextJob;
    case kErrorLocalFileOpen:
      return TransferVerdict::kLocalFileNotFound;
    case kErrorQuotaExceeded:
      return TransferVerdict::kQuotaExceeded;
    default:
      return TransferVerdict::kSystemError;
  }
}

const char* JobKeyword(const JobEntry& job) {
  switch (KindOf(job)) {
    case JobKind::kVerifyFolders:
      return "VerifyNVXFolders";
    case JobKind::kUpload:
      return job.move ? "MoveToNVX" : "SendToNVX";
    case JobKind::kDownload:
      return job.move ? "MoveFromNVX" : "CopyFromNVX";
    case JobKind::kDeleteEmptyFolders:
      return "DeleteEmptyNVXFolders";
    case JobKind::kClean:
      return "CleanNVX";
    case JobKind::kSendLog:
      return "SendLog";
    case JobKind::kVerifyRestore:
      return "VerifyRestore";
    case JobKind::kNone:
      break;
  }
  return "Job";
}

std::string FailedCommandText(std::string_view keyword, std::string_view server_folder,
                              std::string_view status_message, std::string_view conclusion) {
  return StrFormat("\r\n\r\n%s job for Norrvault folder %s\r\n  ended with a failure: %s\r\n",
                   std::string(keyword).c_str(), std::string(server_folder).c_str(),
                   ShownReason(status_message, conclusion).c_str());
}

std::string FolderListFailedText(std::string_view keyword, std::string_view server_folder,
                                 std::string_view status_message, std::string_view conclusion) {
  const std::string job =
      std::string(keyword) + " job" +
      (server_folder.empty() ? std::string()
                             : " for Norrvault folder " + std::string(server_folder));
  return StrFormat(
      "\r\n\r\nThe run ended before the %s:\r\n  the folder list could not be read: %s\r\n",
      job.c_str(), ShownReason(status_message, conclusion).c_str());
}

bool DeleteEmptyFailed(int32_t status, std::string_view conclusion) {
  return status == kStatusFailed || !EqualsIgnoreCase(conclusion, "Successful");
}

void NoteTransferCounters(const TransferProgress& counters, RunFlags& flags) {
  if (counters.files_upload_error != 0 || counters.files_download_error != 0) {
    flags.errors_seen = true;
  }
  if (counters.files_upload_zero_length != 0) flags.zero_length_seen = true;
  if (counters.files_not_found != 0) flags.notes_seen = true;
}

}  // namespace nvx
