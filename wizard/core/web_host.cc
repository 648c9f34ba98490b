#include "wizard/core/web_host.h"

#include <QProcessEnvironment>

#include "wizard/core/server_address.h"

namespace nvx::wizard {

QString WebHostFromEnvironment() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  QString web_host = environment.value(kWebHostVariable).trimmed();
  if (!web_host.isEmpty()) return web_host;
  // The first server without the scheme by which the library reaches it.
  QString first_server = WithoutScheme(environment.value(kServerListVariable).section(',', 0, 0));
  if (!first_server.isEmpty()) return first_server;
  return QString("www.") + kServiceHostName;
}

QString WebUrl(const QString& host, const QString& path) {
  return "http://" + host + path;
}

}  // namespace nvx::wizard
