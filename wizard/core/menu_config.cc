#include "wizard/core/menu_config.h"

#include <QFile>

#include "jobfiles/config_keywords.h"
#include "wizard/core/config_line.h"
#include "wizard/core/job_file.h"

namespace nvx::wizard {

namespace {

using enum jobfiles::ConfigKeyword;

constexpr char kCrLf[] = "\r\n";

QString FromView(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The words after "LogLevel ", in the order of LogLevelChoice.
constexpr std::string_view kLevelWords[] = {jobfiles::kLogLevelActivity, jobfiles::kLogLevelDebug1,
                                            jobfiles::kLogLevelDebug2, jobfiles::kLogLevelDebug3,
                                            jobfiles::kLogLevelErrorOnly};

// The text after `keyword` and one blank, or the empty text when the line is shorter.
QString ValueAfter(const QString& line, const QString& keyword) {
  return line.mid(keyword.size() + 1);
}

QString ValueAfter(const QString& line, jobfiles::ConfigKeyword keyword) {
  return ValueAfter(line, Keyword(keyword));
}

QString LastComponent(const QString& path) {
  QString trimmed = path;
  while (trimmed.size() > 1 && trimmed.endsWith('/')) trimmed.chop(1);
  return trimmed.mid(trimmed.lastIndexOf('/') + 1);
}

// Splits a file path into its folder (ending with "/") and its name.
void SplitFilePath(const QString& path, QString* folder, QString* name) {
  const qsizetype slash = path.lastIndexOf('/');
  *folder = path.left(slash + 1);
  *name = path.mid(slash + 1);
}

// The summary: one text per recognised line, with the list headings written once.
class SummaryBuilder {
 public:
  void Add(const QString& line) {
    if (line.startsWith("#My Documents not")) {
      lines_ << "The My Documents folder is NOT included in the backup,";
    } else if (line.startsWith("#My Documents included")) {
      lines_ << "The My Documents folder is included in the backup,";
    } else if (BeginsWith(line, kSkipFolder)) {
      AddListed(skip_heading_,
                "but not including the following subfolders:", ValueAfter(line, kSkipFolder));
    } else if (line.startsWith("#Favorites not")) {
      lines_ << "The Favorites folder is NOT included in the backup,";
    } else if (line.startsWith("#Favorites included")) {
      lines_ << "The Favorites folder is included in the backup,";
    } else if (line.startsWith("#Desktop FILES included")) {
      lines_ << QString("Desktop FILES are included in the backup ") +
                    "(excluding programs and shortcuts)";
    } else if (line.startsWith("#Desktop FILES NOT included")) {
      lines_ << "Desktop FILES are NOT included in the backup ";
    } else if (line.startsWith("#Desktop folder")) {
      AddListed(desktop_heading_, "These Desktop FOLDERS are included in the backup:",
                ValueAfter(line, "#Desktop folder"));
    } else if (line.startsWith("#Other folder")) {
      AddListed(other_heading_, "These other folders are included in the backup:",
                ValueAfter(line, "#Other folder:"));
    } else if (line.startsWith("#Outlook file:")) {
      AddListed(outlook_heading_, "These Outlook files are included in the backup:",
                ValueAfter(line, "#Outlook file:"));
    } else if (line.startsWith("#Individual File:")) {
      AddListed(file_heading_, "These individual files are included in the backup:",
                ValueAfter(line, "#Individual File:"));
    }
  }

  QString Text(const QString& login_id) const {
    return (QStringList{"Backup Configuration for user " + login_id} + lines_).join(kCrLf);
  }

 private:
  void AddListed(bool& heading_written, const char* heading, const QString& item) {
    if (!heading_written) lines_ << heading;
    heading_written = true;
    lines_ << "\t" + item;
  }

  QStringList lines_;
  bool skip_heading_ = false;
  bool desktop_heading_ = false;
  bool other_heading_ = false;
  bool outlook_heading_ = false;
  bool file_heading_ = false;
};

enum class SectionKind {
  kNone,
  kMyDocuments,
  kFavorites,
  kDesktopFiles,
  kDesktopFolder,
  kOtherFolder,
  kOutlookFile,
  kIndividualFile
};

SectionKind KindOfComment(const QString& line) {
  if (line.startsWith("#My Documents included")) return SectionKind::kMyDocuments;
  if (line.startsWith("#Favorites included")) return SectionKind::kFavorites;
  if (line.startsWith("#Desktop FILES included")) return SectionKind::kDesktopFiles;
  if (line.startsWith("#Desktop folder")) return SectionKind::kDesktopFolder;
  if (line.startsWith("#Other folder:")) return SectionKind::kOtherFolder;
  if (line.startsWith("#Outlook file:")) return SectionKind::kOutlookFile;
  if (line.startsWith("#Individual File:")) return SectionKind::kIndividualFile;
  return SectionKind::kNone;
}

// The restore entry of the section whose comment is lines[start]; scans up to its
// SendToNVX line.
RestoreItem RestoreItemAt(const QStringList& lines, qsizetype start, SectionKind kind,
                          bool notify_user) {
  const QString comment = lines[start];
  QString local_path;
  QStringList server_paths;
  for (qsizetype i = start + 1; i < lines.size() && !BeginsWith(lines[i], kSendToNVX); ++i) {
    if (BeginsWith(lines[i], kLocalPath)) local_path = ValueAfter(lines[i], kLocalPath);
    if (BeginsWith(lines[i], kServerPath)) server_paths << lines[i];
  }
  const QString notify = YesNoLine(kNotifyUser, notify_user);
  const QStringList folder_lines{YesNoLine(kTransferCompress, true),
                                 YesNoLine(kIncludeSubFolders, true),
                                 YesNoLine(kUseNvxDate, true),
                                 notify,
                                 VerbLine(kCopyFromNVX),
                                 ""};
  RestoreItem item;
  item.local_path = local_path;
  QStringList block = server_paths;
  // The backup put a folder's files in the server folder of the local folder's name below
  // the section's server folder, unless that has the name already: the restore names the
  // same folder, so that it lands in the destination once, not in a folder within it.
  const auto name_uploaded_folder = [&block, &local_path] {
    const QString name = LastComponent(local_path);
    for (QString& server_path : block) {
      const QString server_name = server_path.mid(server_path.lastIndexOf('\\') + 1);
      if (name.isEmpty() || server_name.compare(name, Qt::CaseInsensitive) == 0) {
        continue;
      }
      server_path += "\\" + name;
    }
  };
  switch (kind) {
    case SectionKind::kMyDocuments:
      item.entry = "FOLDER: My Documents";
      name_uploaded_folder();
      block << folder_lines;
      break;
    case SectionKind::kFavorites:
      item.entry = "FOLDER: Favorites";
      name_uploaded_folder();
      block << YesNoLine(kTransferCompress, false) << YesNoLine(kIncludeSubFolders, true)
            << YesNoLine(kUseNvxDate, true) << notify << VerbLine(kCopyFromNVX) << "";
      break;
    case SectionKind::kDesktopFiles:
      item.entry = "FOLDER: Desktop";
      name_uploaded_folder();
      block << folder_lines;
      break;
    case SectionKind::kDesktopFolder: {
      const QString name = ValueAfter(comment, "#Desktop folder");
      item.entry = "FOLDER: " + name + " (Location: Desktop)";
      for (QString& path : block) path += "\\" + name;
      block << folder_lines;
      break;
    }
    case SectionKind::kOtherFolder: {
      const QString path = ValueAfter(comment, "#Other folder:");
      item.entry = "FOLDER: " + path;
      for (QString& server_path : block) server_path += "\\" + LastComponent(path);
      block << folder_lines;
      break;
    }
    case SectionKind::kOutlookFile:
    case SectionKind::kIndividualFile: {
      QString folder;
      QString name;
      SplitFilePath(local_path, &folder, &name);
      item.local_path = folder;
      item.kind = name;
      item.entry = kind == SectionKind::kOutlookFile
                       ? "FILE: " + ValueAfter(comment, "#Outlook file:")
                       : "FILE: " + name + " (Location: " + folder + ")";
      for (QString& server_path : block) server_path += "\\";
      block << ConfigLine(kServerFile, name) << YesNoLine(kTransferCompress, true)
            << YesNoLine(kUseNvxDate, true) << notify << VerbLine(kCopyFromNVX) << "";
      break;
    }
    case SectionKind::kNone:
      break;
  }
  item.stored_block = block.join(kCrLf) + kCrLf;
  return item;
}

// Any of the words anywhere in the line, tested in the order of LogLevelChoice so that
// the last one found wins; none found is Activity.
void ReadLogLevel(const QString& line, MenuConfig& config) {
  if (!BeginsWith(line, kLogLevel, Qt::CaseInsensitive)) return;
  config.log_level_present = true;
  config.log_level = LogLevelChoice::kActivity;
  int choice = 0;
  for (std::string_view word : kLevelWords) {
    if (line.contains(FromView(word), Qt::CaseInsensitive)) {
      config.log_level = static_cast<LogLevelChoice>(choice);
    }
    ++choice;
  }
}

}  // namespace

StartupScan ScanConfigForStartup(const QString& config_path) {
  StartupScan scan;
  const QStringList lines = ReadLines(config_path, &scan.exists);
  for (const QString& line : lines) {
    if (BeginsWith(line, kSendLog, Qt::CaseInsensitive)) scan.send_log_present = true;
    if (line.startsWith("#END")) scan.complete = true;
  }
  scan.server = ServerChoiceFromLines(lines);
  return scan;
}

MenuConfig ParseMenuConfig(const QStringList& lines) {
  MenuConfig config;
  SummaryBuilder summary;
  for (const QString& line : lines) {
    if (BeginsWith(line, kUser)) config.login_id = ValueAfter(line, kUser);
    if (BeginsWith(line, kPasswordEncrypt)) config.password = ValueAfter(line, kPasswordEncrypt);
    if (line.startsWith(YesNoLine(kNotifyUser, true))) config.notify_user = true;
    ReadLogLevel(line, config);
    if (BeginsWith(line, kDesktopNotify, Qt::CaseInsensitive)) {
      config.notify_every_run =
          ValueAfter(line, kDesktopNotify)
              .startsWith(FromView(jobfiles::kDesktopNotifyAlways), Qt::CaseInsensitive);
    }
    summary.Add(line);
  }
  config.summary = summary.Text(config.login_id);
  config.server = ServerChoiceFromLines(lines);
  // The restore blocks carry the notify choice, known only once the whole file is read.
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const SectionKind kind = KindOfComment(lines[i]);
    if (kind != SectionKind::kNone) {
      config.restore_items.push_back(RestoreItemAt(lines, i, kind, config.notify_user));
    }
  }
  return config;
}

MenuConfig ReadMenuConfig(const QString& config_path) {
  return ParseMenuConfig(ReadLines(config_path));
}

void ApplyMenuConfig(const MenuConfig& config, WizardState& state) {
  state.login_id = config.login_id;
  state.password = config.password;
  state.server = config.server;
  state.notify_user = config.notify_user;
  state.log_level = config.log_level;
  state.log_level_present = config.log_level_present;
  state.notify_every_run = config.notify_every_run;
  state.restore_items = config.restore_items;
}

QString CurrentLogLevelText(LogLevelChoice level) {
  static const char* const kNames[] = {" Activity (recommended default)", " Debug1", " Debug2",
                                       " Debug3", " Errors Only"};
  return QString("Current level is:") + kNames[static_cast<int>(level)];
}

QString LogLevelWord(LogLevelChoice level) {
  return FromView(kLevelWords[static_cast<int>(level)]);
}

}  // namespace nvx::wizard
