// Lines of config.txt and the other job files, built from the keyword table that the job
// runner reads them with (jobfiles/config_keywords.h), in the spellings the wizard has
// always written. Pure functions; any thread.
#ifndef NVX_WIZARD_CORE_CONFIG_LINE_H_
#define NVX_WIZARD_CORE_CONFIG_LINE_H_

#include <QString>

#include "jobfiles/config_keywords.h"

namespace nvx::wizard {

using jobfiles::ConfigKeyword;

// Files a new backup or restore configuration keeps in flight at once ("Transfers ").
inline constexpr int kNewConfigTransfers = 4;

// The keyword as the wizard writes it ("NVXpath").
QString Keyword(ConfigKeyword keyword);
// A setting: the keyword, one blank and `value`.
QString ConfigLine(ConfigKeyword keyword, const QString& value);
// A verb, which stands alone on its line.
QString VerbLine(ConfigKeyword verb);
// A flag setting: the keyword and "Y" or "N".
QString YesNoLine(ConfigKeyword keyword, bool yes);

// True when `line` begins with the keyword as the wizard writes it: in exactly that
// letter case where the wizard reads back what it wrote itself, in any where the job
// runner's reading is followed.
bool BeginsWith(const QString& line, ConfigKeyword keyword,
                Qt::CaseSensitivity letter_case = Qt::CaseSensitive);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_CONFIG_LINE_H_
