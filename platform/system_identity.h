// Who and where the program runs: the login name of the effective user and the system's
// name and release, as the wizard writes them into config.txt. Any thread.
#ifndef NVX_PLATFORM_SYSTEM_IDENTITY_H_
#define NVX_PLATFORM_SYSTEM_IDENTITY_H_

#include <optional>
#include <string>

namespace nvx::platform {

// The login name of the effective user from the password database; empty when it has
// none.
std::string EffectiveUserName();

// "sysname release" from uname; none when uname fails.
std::optional<std::string> SystemNameAndRelease();

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SYSTEM_IDENTITY_H_
