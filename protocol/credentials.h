// The credentials that travel with requests: the login token of "X-NVX-RATTART" and the
// proxy's "Proxy-Authorization" line. Clear passwords live only as long as a call and are
// overwritten before it returns. Worker thread.
#ifndef NVX_PROTOCOL_CREDENTIALS_H_
#define NVX_PROTOCOL_CREDENTIALS_H_

#include <string>
#include <string_view>

#include "protocol/job_settings.h"
#include "protocol/reporter.h"

namespace nvx {

// The login token of the session's user: the scrambled password text as it stands when
// SetUserAuthEncrypted supplied one, otherwise a fresh token of user and password.
[[nodiscard]] std::string LoginToken(const LinkSettings& settings);

// "Proxy-Authorization: Basic " and the Base64 form of "id:password", with CR LF. A
// scrambled password is descrambled first. Empty, with an error line in the activity
// log, when the scrambled text does not descramble or "id:password" is longer than
// kProxyCredentialsMax bytes: the proxy then refuses the request and the caller reports
// the refusal as usual.
[[nodiscard]] std::string ProxyAuthorizationLine(Reporter& report, std::string_view id,
                                                 std::string_view password, bool scrambled);

}  // namespace nvx

#endif  // NVX_PROTOCOL_CREDENTIALS_H_
