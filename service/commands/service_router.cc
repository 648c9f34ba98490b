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

// Whether a command of this kind may change the space its account uses: every one but
// those that only read (the is-it-there test may mark a document whole, which leaves the
// space as it was).
bool MayChangeSpaceUsed(RequestKind kind) {
  switch (kind) {
    case RequestKind::kTestId:
    case RequestKind::kFolderList:
    case RequestKind::kFolderFileList:
    case RequestKind::kFolderFileCount:
    case RequestKind::kDownload:
    case RequestKind::kSignatureDownload:
    case RequestKind::kFileInfo:
    case RequestKind::kIsItThere:
      return false;
    default:
      return true;
  }
}

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

// What a request to the script asks for, as the metrics page counts it; the command it
// runs follows from it.
RequestKind ScriptRequestKind(const IncomingRequest& request, std::string_view query) {
  if (request.method == "GET") return ServiceCommandKind(query);
  if (request.method == "HEAD") {
    return IsFileInfoRequest(request, query) ? RequestKind::kFileInfo : RequestKind::kIsItThere;
  }
  if (request.method == "PUT") {
    return query == "email.txt" && request.headers.Find(kEmailHeader) ? RequestKind::kEmail
                                                                      : RequestKind::kUpload;
  }
  return RequestKind::kUnknownCommand;
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
  Reply reply;
  if (request.method != "GET" && request.method != "HEAD") {
    reply.status = 404;
  } else {
    reply = ServeStaticFile(service_.web_folder, target->path);
  }
  reply.kind = RequestKind::kStaticFile;
  return reply;
}

Reply ServiceRouter::HandleScript(IncomingRequest& request, const RequestTarget& target) {
  if (!request.headers.well_formed()) {
    Reply reply = Refusal(400, kBadRequest);
    reply.close_connection = true;
    return reply;
  }
  bool is_command = request.method == "GET" || request.method == "HEAD";
  RequestKind kind = ScriptRequestKind(request, target.query);
  // The commands that name a file make their lookups in the login's hold of the reads: a
  // file's request then reads the store in one transaction.
  const bool reads_with_login = kind == RequestKind::kUpload || kind == RequestKind::kIsItThere;
  std::unique_ptr<Store::HeldReads> reads;
  if (reads_with_login) reads = service_.store.HoldReads();
  LoginCheck login = CheckLogin(service_.store, request.headers.Find(kLoginHeader));
  if (!login.account) {
    // A request that fails the login does nothing else; an upload's body stays unread.
    Reply reply = Refusal(200, login.conclusion);
    if (is_command) reply.SetHeader(kOptionsHeader, OptionsText(false));
    reply.kind = kind;
    return reply;
  }
  Reply reply;
  reply.kind = kind;
  CommandContext context{service_, *login.account, request, reply};
  context.login_reads = std::move(reads);
  switch (kind) {
    case RequestKind::kFileInfo:
      FileInfoCommand(context);
      break;
    case RequestKind::kIsItThere:
      IsItThereCommand(context, target.query);
      break;
    case RequestKind::kEmail:
      EmailCommand(context);
      break;
    case RequestKind::kUpload:
      UploadCommand(context, target.query);
      break;
    case RequestKind::kUnknownCommand:
      if (request.method != "GET") reply.status = 405;
      reply.SetConclusion(kUnknownCommand);
      break;
    default:
      if (CommandHandler handler = FindServiceCommand(target.query)) handler(context);
      break;
  }
  // The figures after the command: the space used its change left where it tells it, else
  // read again when it may have changed it. One that only reads answers with those the
  // login read.
  context.login_reads.reset();
  std::optional<Account> after;
  if (context.used_after) {
    after = *login.account;
    after->used = *context.used_after;
  } else if (MayChangeSpaceUsed(kind)) {
    after = service_.store.FindAccount(login.account->id);
  }
  reply.SetHeader(kSpaceHeader, SpaceFiguresOf(after ? *after : *login.account));
  if (is_command) reply.SetHeader(kOptionsHeader, OptionsText(login.account->encrypt));
  return reply;
}

}  // namespace nvx::service
