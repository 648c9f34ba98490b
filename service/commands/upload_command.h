// The file requests of the service: the is-it-there test (HEAD) and the upload (PUT),
// whose query is the escaped name of a file. Each sets the conclusion (and X-NVX-LUPIN
// where it has one) of the context's reply; the router has checked the login before and
// adds the space figures after. Any connection thread.
#ifndef NVX_SERVICE_COMMANDS_UPLOAD_COMMAND_H_
#define NVX_SERVICE_COMMANDS_UPLOAD_COMMAND_H_

#include <string_view>

#include "service/commands/command_context.h"

namespace nvx::service {

// Whether the folder of X-NVX-BLACMANGE holds the file `query` names, compared by
// X-NVX-LUPIN "digest,size" or X-NVX-DINSDALE.
void IsItThereCommand(CommandContext& context, std::string_view query);

// Stores the body as the document `query` names: new (X-NVX-BLACMANGE), a continuation
// (X-NVX-RESTART "offset,vid;") or a replacement (X-NVX-LUPIN "0,vid;"); enciphered and
// archived bodies as X-NVX-FANG says. The body is read only when the upload may go ahead;
// otherwise it stays unread and the connection ends after the reply.
void UploadCommand(CommandContext& context, std::string_view query);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_UPLOAD_COMMAND_H_
