// What a request is counted as on the metrics page: the command it named, or what the
// service made of it (RequestKind), and how it was answered (AnswerClass). Both are small
// fixed sets, so the page's figures never grow with what clients send. The router sets
// the kind of each reply; the HTTP front counts it. Pure code; any thread.
#ifndef NVX_SERVICE_COMMANDS_REQUEST_KIND_H_
#define NVX_SERVICE_COMMANDS_REQUEST_KIND_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nvx::service {

struct Reply;

enum class RequestKind : uint8_t {
  kRefused,  // refused before any command: unreadable, too large, service busy, no target
  kTestId,
  kResetSpace,
  kFolderList,
  kFolderCreate,
  kFolderFileList,
  kFolderFileCount,
  kDeleteDoc,
  kResetIDoc,
  kDeleteEmptyFolders,  // DEMF
  kDeleteFolderTree,    // DMFT
  kDownload,
  kSignatureDownload,  // DownLoadX
  kFileInfo,
  kIsItThere,
  kUpload,  // a new document, a continuation, a replacement or a delta
  kEmail,
  kUnknownCommand,  // to the script, naming no command of the service
  kStaticFile,      // a file of the web folder, found or not
};
inline constexpr size_t kRequestKindCount = 19;

// The name on the metrics page: the command's name on the wire ("DownLoadX", "DEMF"),
// "IsItThere", "Upload", "Email", "Unknown", "StaticFile" or "Refused".
std::string_view RequestKindName(RequestKind kind);

enum class AnswerClass : uint8_t {
  kSuccessful,    // the command did what was asked (or answered what it found)
  kLoginRefused,  // the login check failed: "ID Invalid", "Password Invalid", ...
  kError,         // an "Error - ..." conclusion, or an HTTP status of 400 and above
};
inline constexpr size_t kAnswerClassCount = 3;

// "successful", "login_refused", "error".
std::string_view AnswerClassName(AnswerClass answer);
AnswerClass AnswerClassOf(const Reply& reply);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_REQUEST_KIND_H_
