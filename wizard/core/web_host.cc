#include "wizard/core/web_host.h"

#include <QProcessEnvironment>

namespace nvx::wizard {

QString WebHostFromEnvironment() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  QString web_host = environment.value(kWebHostVariable).trimmed();
  if (!web_host.isEmpty()) return web_host;
  QString first_server = environment.value(kServerListVariable).section(',', 0, 0).trimmed();
  if (!first_server.isEmpty()) return first_server;
  return QString("www.") + kServiceHostName;
}

QString WebUrl(const QString& host, const QString& path) {
  return "http://" + host + path;
}

}  // namespace nvx::wizard
