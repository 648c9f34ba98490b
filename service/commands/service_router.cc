#include "service/commands/service_router.h"

#include "platform/text_format.h"
#include "service/commands/auth.h"
#include "service/commands/email_command.h"
#include "service/commands/service_commands.h"
#include "service/commands/static_files.h"
#include "service/commands/upload_command.h"
#include "service/store/service_limits.h"
#include "wire/reply_fields.h"

namespace nvx::service {
namespace {

// A refusal before any account is known: no space figures to tell.
Reply Refusal(int status, std::string_view conclusion) {
  Reply reply;
  reply.status = status;
  reply.SetConclusion(conclusion);
  reply.SetHeader(kSpaceHeader, "0,0");
  return reply;
}

// The file information request is told apart from the is-it-there test of a file that
// happens to be named "FileInfo" by its document reference "0,vid;" (the test sends a
// digest "base64,size" or no reference at all).
bool IsFileInfoRequest(const IncomingRequest& request, std::string_view query) {
  std::optional<std::string_view> reference = request.headers.Find(kDocumentHeader);
  return query == "FileInfo" && reference && !reference->empty() && reference->back() == ';';
}

std::string SpaceFiguresOf(const Account& account) {
  return SpaceFiguresText(account.quota, account.used);
}

}  // namespace

Reply ServiceRouter::Handle(IncomingRequest& request) {
  if (request.headers.size() > kServiceHeaderBlockMax) {
    Reply reply = Refusal(400, "Error - Request Header Too Large");
    reply.close_connection = true;
    return reply;
  }
  std::optional<RequestTarget> target = ParseRequestTarget(request.target);
  if (!target) return Refusal(400, kBadRequest);
  switch (target->kind) {
    case RequestTarget::Kind::kScript:
      return HandleScript(request, *target);
    case RequestTarget::Kind::kOtherScript:
      return Refusal(404, "Error - Not Found");
    case RequestTarget::Kind::kPath:
      break;
  }
  if (request.method != "GET" && request.method != "HEAD") {
    Reply reply;
    reply.status = 404;
    return reply;
  }
  return ServeStaticFile(service_.web_folder, target->path);
}

Reply ServiceRouter::HandleScript(IncomingRequest& request, const RequestTarget& target) {
  if (!request.headers.well_formed()) {
    Reply reply = Refusal(400, kBadRequest);
    reply.close_connection = true;
    return reply;
  }
  bool is_command = request.method == "GET" || request.method == "HEAD";
  LoginCheck login = CheckLogin(service_.store, request.headers.Find(kLoginHeader));
  if (!login.account) {
    // A request that fails the login does nothing else; an upload's body stays unread.
    Reply reply = Refusal(200, login.conclusion);
    if (is_command) reply.SetHeader(kOptionsHeader, OptionsText(false));
    return reply;
  }
  Reply reply;
  CommandContext context{service_, *login.account, request, reply};
  if (request.method == "GET") {
    CommandHandler handler = FindServiceCommand(target.query);
    if (handler != nullptr) {
      handler(context);
    } else {
      reply.SetConclusion(kUnknownCommand);
    }
  } else if (request.method == "HEAD") {
    if (IsFileInfoRequest(request, target.query)) {
      FileInfoCommand(context);
    } else {
      IsItThereCommand(context, target.query);
    }
  } else if (request.method == "PUT") {
    if (target.query == "email.txt" && request.headers.Find(kEmailHeader)) {
      EmailCommand(context);
    } else {
      UploadCommand(context, target.query);
    }
  } else {
    reply.status = 405;
    reply.SetConclusion(kUnknownCommand);
  }
  // The figures after the command: it may have changed the space used.
  std::optional<Account> after = service_.store.FindAccount(login.account->id);
  reply.SetHeader(kSpaceHeader, SpaceFiguresOf(after ? *after : *login.account));
  if (is_command) reply.SetHeader(kOptionsHeader, OptionsText(login.account->encrypt));
  return reply;
}

}  // namespace nvx::service
