// The job runner's use of the library's credential scrambling (CNvxauth): scrambling the
// plain passwords found in a configuration file, checking a scrambled login token against
// its user, and checking that a scrambled proxy password is well formed. Any thread.
#ifndef NVX_RUNNER_PASSWORD_SCRAMBLING_H_
#define NVX_RUNNER_PASSWORD_SCRAMBLING_H_

#include <string>
#include <string_view>

namespace nvx {

// The scrambled login token of `user` and `password`.
std::string ScrambleLoginPassword(const std::string& user, const std::string& password);

// The scrambled form of a proxy password.
std::string ScrambleProxyPassword(const std::string& password);

// True when `token` is a scrambled login token of `user` (letter case ignored).
bool IsLoginTokenOf(const std::string& user, const std::string& token);

// True when `text` has the shape of a scrambled text: Base64 without line breaks that
// decodes to the two key bytes (a key number below 496), whole 8-byte cipher blocks (at
// least one) and at most three noise bytes. This is what can be established about a
// scrambled proxy password without deciphering it; the library deciphers it when it
// talks to the proxy.
bool IsWellFormedScrambledText(std::string_view text);

}  // namespace nvx

#endif  // NVX_RUNNER_PASSWORD_SCRAMBLING_H_
