// The service's web host, from which the wizard fetches the version notice, the setup
// page and the components: NVX_WEB_HOST when set, else the first server of NVX_SERVER
// when set (without its "https://" or "http://"), else "www." before the service's host
// name. A host may carry a port ("host:port"). GUI thread.
#ifndef NVX_WIZARD_CORE_WEB_HOST_H_
#define NVX_WIZARD_CORE_WEB_HOST_H_

#include <QString>

namespace nvx::wizard {

inline constexpr char kServiceHostName[] = "norrvault.com";
inline constexpr char kWebHostVariable[] = "NVX_WEB_HOST";
inline constexpr char kServerListVariable[] = "NVX_SERVER";

// The web host as the environment names it (see above); never empty.
QString WebHostFromEnvironment();

// "http://" + host + path; `path` begins with "/".
QString WebUrl(const QString& host, const QString& path);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_WEB_HOST_H_
