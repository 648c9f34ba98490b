// The bounds of what the wizard takes from the service's web host: the time an answer may
// stay silent, the size of a text fetched whole (the version notice) and the size of a
// component file. An answer beyond a bound is a failed fetch, never a large allocation.
#ifndef NVX_WIZARD_CORE_UPDATE_LIMITS_H_
#define NVX_WIZARD_CORE_UPDATE_LIMITS_H_

#include <QtGlobal>

namespace nvx::wizard {

// A fetch ends with a time-out when the web host sends nothing for this long.
inline constexpr int kOpenUrlTimeoutMs = 30000;
// A text fetched whole: the version notice is a few bytes.
inline constexpr qint64 kOpenUrlTextMax = 64 * 1024;
// A component file: programs and libraries of a few MB.
inline constexpr qint64 kComponentSizeMax = 256LL * 1024 * 1024;

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_UPDATE_LIMITS_H_
