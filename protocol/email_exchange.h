// The service's e-mail exchange: a PUT of a text as "email.txt" whose headers carry the
// recipients (user, administrator) and the results type. Worker thread.
#ifndef NVX_PROTOCOL_EMAIL_EXCHANGE_H_
#define NVX_PROTOCOL_EMAIL_EXCHANGE_H_

#include <string_view>

#include "api/transfer_session.h"

namespace nvx {

// Sends `text`; false when the exchange failed (status message and error code say why).
bool SendEmailText(TransferSession& session, std::string_view text);

}  // namespace nvx

#endif  // NVX_PROTOCOL_EMAIL_EXCHANGE_H_
