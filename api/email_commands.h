// The statistics and e-mail commands of the worker: 16 builds the statistics text,
// 12 builds it and e-mails it, 14 e-mails a job summary, 17 e-mails subject and body as
// they are. The e-mail goes to the service as a PUT of "email.txt".
#ifndef NVX_API_EMAIL_COMMANDS_H_
#define NVX_API_EMAIL_COMMANDS_H_

#include "api/transfer_session.h"

namespace nvx {

[[nodiscard]] bool RoutineGetStats(TransferSession& session);
[[nodiscard]] bool RoutineEmailStats(TransferSession& session);
[[nodiscard]] bool RoutineEmailSend(TransferSession& session);
[[nodiscard]] bool RoutineEmailSendJustText(TransferSession& session);

}  // namespace nvx

#endif  // NVX_API_EMAIL_COMMANDS_H_
