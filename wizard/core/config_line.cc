#include "wizard/core/config_line.h"

namespace nvx::wizard {

QString Keyword(ConfigKeyword keyword) {
  const std::string_view written = jobfiles::Written(keyword);
  return QString::fromLatin1(written.data(), static_cast<qsizetype>(written.size()));
}

QString ConfigLine(ConfigKeyword keyword, const QString& value) {
  return Keyword(keyword) + " " + value;
}

QString VerbLine(ConfigKeyword verb) {
  return Keyword(verb);
}

QString YesNoLine(ConfigKeyword keyword, bool yes) {
  return ConfigLine(keyword, yes ? "Y" : "N");
}

bool BeginsWith(const QString& line, ConfigKeyword keyword, Qt::CaseSensitivity letter_case) {
  return line.startsWith(Keyword(keyword), letter_case);
}

}  // namespace nvx::wizard
