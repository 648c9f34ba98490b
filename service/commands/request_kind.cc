#include "service/commands/request_kind.h"

#include <array>

#include "service/commands/auth.h"
#include "service/commands/exchange.h"

namespace nvx::service {

std::string_view RequestKindName(RequestKind kind) {
  static constexpr std::array<std::string_view, kRequestKindCount> kNames = {
      "Refused",        "TestId",          "ResetSpace", "FolderList", "FolderCreate",
      "FolderFileList", "FolderFileCount", "DeleteDoc",  "ResetIDoc",  "DEMF",
      "DMFT",           "DownLoad",        "DownLoadX",  "FileInfo",   "IsItThere",
      "Upload",         "Email",           "Unknown",    "StaticFile",
  };
  auto index = static_cast<size_t>(kind);
  return index < kNames.size() ? kNames[index] : "Refused";
}

std::string_view AnswerClassName(AnswerClass answer) {
  switch (answer) {
    case AnswerClass::kSuccessful:
      return "successful";
    case AnswerClass::kLoginRefused:
      return "login_refused";
    case AnswerClass::kError:
      break;
  }
  return "error";
}

AnswerClass AnswerClassOf(const Reply& reply) {
  std::string_view conclusion = reply.conclusion();
  if (conclusion == kIdInvalid || conclusion == kPasswordInvalid ||
      conclusion == kAccountDisabled || conclusion == kPasswordExpired) {
    return AnswerClass::kLoginRefused;
  }
  if (reply.status >= 400 || conclusion.rfind("Error - ", 0) == 0) return AnswerClass::kError;
  return AnswerClass::kSuccessful;
}

}  // namespace nvx::service
