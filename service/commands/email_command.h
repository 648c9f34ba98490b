// The e-mail PUT: a client sends a text as "email.txt" with X-NVX-BEAVERCHEESE
// "u,a,type;" and the service writes it to its outbox, addressed to the account's e-mail
// address (u = 1) and/or its administrator's (a = 1). With transfer encryption on the
// body is enciphered: X-NVX-FANG carries the true length (field 1) and the key code
// (field 2, the key index with its two bytes swapped). Any connection thread.
#ifndef NVX_SERVICE_COMMANDS_EMAIL_COMMAND_H_
#define NVX_SERVICE_COMMANDS_EMAIL_COMMAND_H_

#include "service/commands/command_context.h"

namespace nvx::service {

void EmailCommand(CommandContext& context);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_EMAIL_COMMAND_H_
