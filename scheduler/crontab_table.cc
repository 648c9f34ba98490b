#include "scheduler/crontab_table.h"

#include <utility>

namespace nvx::scheduler {

bool QuoteFolderForCron(std::string_view folder, std::string* quoted) {
  if (folder.find_first_of("\n\r") != std::string_view::npos) return false;
  std::string text = "'";
  for (char c : folder) {
    if (c == '\'') {
      text += "'\\''";
    } else if (c == '%') {
      // Outside the single quotes, so that a backslash of the name just before it can
      // never pair with cron's escape: cron turns "\%" into "%", the shell reads '...'%'...'.
      text += "'\\%'";
    } else {
      text += c;
    }
  }
  text += "'";
  *quoted = std::move(text);
  return true;
}

namespace {

// "0 HOUR * * DAY cd FOLDER && mkdir -p Logs && ./NVXbackup ARGUMENTS>>... MARKER".
std::string MarkedLine(const Schedule& schedule, std::string_view quoted_folder,
                       std::string_view arguments, std::string_view marker) {
  const std::string weekday = schedule.day == jobfiles::kEveryDay ? "*" : schedule.day;
  std::string line = "0 " + std::to_string(schedule.hour) + " * * " + weekday;
  line += " cd ";
  line += quoted_folder;
  // The log folder may not exist yet; without it the shell would not start the program.
  line += " && mkdir -p Logs && ./NVXbackup ";
  line += arguments;
  line += ">>Logs/NVXbackup.out 2>&1 ";
  line += marker;
  return line;
}

}  // namespace

std::string ScheduledLine(const Schedule& schedule, std::string_view quoted_folder) {
  return MarkedLine(schedule, quoted_folder, "", kCrontabMarker);
}

std::string RestoreTestLine(const Schedule& schedule, std::string_view quoted_folder) {
  // NVXbackup reads a job file other than config.txt only after "-f".
  const std::string arguments = "-f " + std::string(jobfiles::kRestoreTestConfigName) + " ";
  return MarkedLine(jobfiles::RestoreTestTime(schedule), quoted_folder, arguments,
                    kRestoreTestCrontabMarker);
}

bool IsMarkedLine(std::string_view line, std::string_view marker) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line.ends_with(marker);
}

std::string UpdatedTable(std::string_view table, const std::optional<std::string>& line,
                         std::string_view marker) {
  std::string updated;
  if (!line) {
    // Nothing to remove: the table stays exactly as it is, last line end or not.
    bool marked = false;
    for (std::string_view rest = table; !rest.empty() && !marked;) {
      const size_t end = rest.find('\n');
      marked = IsMarkedLine(rest.substr(0, end), marker);
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    if (!marked) return std::string(table);
  }
  bool placed = false;
  while (!table.empty()) {
    const size_t end = table.find('\n');
    const std::string_view piece = end == std::string_view::npos ? table : table.substr(0, end + 1);
    table.remove_prefix(piece.size());
    std::string_view text = piece;
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (!IsMarkedLine(text, marker)) {
      updated += piece;
      continue;
    }
    if (line && !placed) {
      updated += *line;
      updated += '\n';
      placed = true;
    }
  }
  if (!updated.empty() && !updated.ends_with('\n')) updated += '\n';
  if (line && !placed) {
    updated += *line;
    updated += '\n';
  }
  return updated;
}

}  // namespace nvx::scheduler
