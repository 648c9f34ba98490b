#include "wizard/core/server_address.h"

#include <QProcessEnvironment>
#include <algorithm>
#include <cstring>
#include <optional>

#include "wizard/core/config_line.h"
#include "wizard/core/web_host.h"

namespace nvx::wizard {
namespace {

using enum jobfiles::ConfigKeyword;

constexpr char kSecureScheme[] = "https://";
constexpr char kPlainScheme[] = "http://";
constexpr int kHighestPort = 65535;

bool HasSecureScheme(const QString& entry) {
  return entry.trimmed().startsWith(kSecureScheme, Qt::CaseInsensitive);
}

// The non-empty entries of a comma-separated list, trimmed.
QStringList Entries(const QString& list) {
  QStringList entries;
  for (const QString& item : list.split(',')) {
    if (!item.trimmed().isEmpty()) entries << item.trimmed();
  }
  return entries;
}

// The keyword a line of a configuration begins with, as the job runner reads it.
std::optional<jobfiles::ConfigKeyword> KeywordOf(const QString& line, QString* value = nullptr) {
  const QByteArray bytes = line.toUtf8();
  const std::optional<jobfiles::KeywordMatch> match =
      jobfiles::MatchConfigKeyword(std::string_view(bytes.constData(), size_t(bytes.size())));
  if (!match) return std::nullopt;
  if (value) {
    *value = QString::fromUtf8(match->value.data(), qsizetype(match->value.size())).trimmed();
  }
  return match->spelling->keyword;
}

bool IsServerLine(const QString& line) {
  const std::optional<jobfiles::ConfigKeyword> keyword = KeywordOf(line);
  return keyword == kServer || keyword == kServerCa;
}

}  // namespace

QStringList DefaultServerHosts() {
  QStringList hosts;
  const QString variable = QProcessEnvironment::systemEnvironment().value(kServerListVariable);
  for (const QString& entry : Entries(variable)) hosts << WithoutScheme(entry);
  if (hosts.isEmpty()) {
    for (const char* prefix : {"b2.", "b1."}) hosts << QString(prefix) + kServiceHostName;
  }
  return hosts;
}

QString WithoutScheme(const QString& entry) {
  const QString trimmed = entry.trimmed();
  for (const char* scheme : {kSecureScheme, kPlainScheme}) {
    if (trimmed.startsWith(scheme, Qt::CaseInsensitive))
      return trimmed.mid(qsizetype(strlen(scheme)));
  }
  return trimmed;
}

bool ServerAddressValid(const QString& address) {
  for (const QString& entry : Entries(address)) {
    const QString host_port = WithoutScheme(entry);
    const qsizetype colon = host_port.lastIndexOf(':');
    const QString host = colon < 0 ? host_port : host_port.left(colon);
    if (host.isEmpty() || host.contains(':') || host.contains('/')) return false;
    for (const QChar c : host) {
      if (c.isSpace()) return false;
    }
    if (colon >= 0) {
      bool number = false;
      const int port = host_port.mid(colon + 1).toInt(&number);
      if (!number || port < 1 || port > kHighestPort) return false;
    }
  }
  return true;
}

QString ServerSetting(const ServerChoice& choice) {
  QStringList entries = Entries(choice.address);
  if (entries.isEmpty()) {
    // The default servers stay unnamed when plain: the job runner's default list is
    // exactly that, and it follows NVX_SERVER where that is set.
    if (!choice.secure) return {};
    entries = DefaultServerHosts();
  }
  QStringList settings;
  for (const QString& entry : entries) {
    const bool secure = choice.secure || HasSecureScheme(entry);
    settings << (secure ? kSecureScheme : kPlainScheme) + WithoutScheme(entry);
  }
  return settings.join(',');
}

QStringList ServerLines(const ServerChoice& choice) {
  QStringList lines;
  if (const QString setting = ServerSetting(choice); !setting.isEmpty()) {
    lines << ConfigLine(kServer, setting);
  }
  if (!choice.ca_file.trimmed().isEmpty()) lines << ConfigLine(kServerCa, choice.ca_file.trimmed());
  return lines;
}

ServerChoice ServerChoiceFromLines(const QStringList& lines) {
  ServerChoice choice = kPlainDefaultServers;
  std::optional<QString> setting;
  for (const QString& line : lines) {
    QString value;
    const std::optional<jobfiles::ConfigKeyword> keyword = KeywordOf(line, &value);
    if (keyword == kServer) setting = value;
    if (keyword == kServerCa) choice.ca_file = value;
  }
  if (!setting) return choice;
  const QStringList entries = Entries(*setting);
  QStringList hosts;
  choice.secure = !entries.isEmpty();
  for (const QString& entry : entries) {
    choice.secure = choice.secure && HasSecureScheme(entry);
    hosts << WithoutScheme(entry);
  }
  const bool default_servers =
      hosts.join(',').compare(DefaultServerHosts().join(','), Qt::CaseInsensitive) == 0;
  if (!default_servers) choice.address = hosts.join(',');
  return choice;
}

QStringList ServerChoiceLines(const QStringList& lines, const ServerChoice& choice) {
  QStringList kept;
  qsizetype after_password = -1;
  qsizetype after_id = -1;
  for (const QString& line : lines) {
    if (IsServerLine(line)) continue;
    kept << line;
    const std::optional<jobfiles::ConfigKeyword> keyword = KeywordOf(line);
    if (after_password < 0 && (keyword == kPasswordEncrypt || keyword == kPassword)) {
      after_password = kept.size();
    }
    if (after_id < 0 && keyword == kUser) after_id = kept.size();
  }
  const qsizetype at = after_password >= 0 ? after_password : std::max<qsizetype>(after_id, 0);
  const QStringList server_lines = ServerLines(choice);
  for (qsizetype i = 0; i < server_lines.size(); ++i) kept.insert(at + i, server_lines[i]);
  return kept;
}

}  // namespace nvx::wizard
