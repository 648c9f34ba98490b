// The service's e-mail exchange: a PUT of a text as "email.txt" whose headers carry the
// recipients (user, administrator) and the results type. The text travels enciphered
// when the service asks for it. One retry follows a transport failure. Worker thread.
#ifndef NVX_PROTOCOL_EMAIL_EXCHANGE_H_
#define NVX_PROTOCOL_EMAIL_EXCHANGE_H_

#include <string>
#include <string_view>

#include "protocol/service_session.h"

namespace nvx {

inline constexpr std::string_view kEmailFileName = "email.txt";
// The text is sent in pieces of this size.
inline constexpr size_t kEmailPieceSize = 2048;

// The header block of the e-mail PUT of a text of `text_length` bytes, made at
// `seconds` (seconds clock); `enciphered` when the service enciphers bodies.
[[nodiscard]] std::string BuildEmailRequest(ServiceSession& session, size_t text_length,
                                            bool enciphered, int64_t seconds);

// Sends `text`; false when the exchange failed (status message and error code say why:
// code 2 when no connection could be made, 4 when the service refused the text).
[[nodiscard]] bool SendEmailText(ServiceSession& session, std::string_view text);

}  // namespace nvx

#endif  // NVX_PROTOCOL_EMAIL_EXCHANGE_H_
