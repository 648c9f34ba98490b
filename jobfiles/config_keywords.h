// The keywords of a job configuration file (config.txt and the other job files): the one
// table that the wizard writes them from and the job runner reads them with. Readers
// ignore letter case; each keyword also has the spelling the wizard writes, which its
// own readers of the files it wrote look for, and the name the job runner's messages
// use. Also the words after "LogLevel " and the names of the shared files. Plain
// constants and pure functions; any thread.
#ifndef NVX_JOBFILES_CONFIG_KEYWORDS_H_
#define NVX_JOBFILES_CONFIG_KEYWORDS_H_

#include <optional>
#include <string_view>

namespace nvx::jobfiles {

// The job runner's configuration file in the install folder.
inline constexpr std::string_view kConfigFileName = "config.txt";

enum class ConfigKeyword {
  // Verbs: each ends the job being built.
  kSendToNVX,
  kMoveToNVX,
  kCopyFromNVX,
  kMoveFromNVX,
  kDeleteEmptyNVXFolders,
  kVerifyNVXFolders,
  kCleanNVX,
  kSendLog,
  // Restores chosen files of the job's folders into a temporary folder and compares
  // them; the number of files may follow the verb ("VerifyRestore 5").
  kVerifyRestore,
  // Settings: the keyword, one blank, the value.
  kUser,
  kPassword,
  kResultsType,
  kServer,
  // The PEM file of the authorities a TLS service's certificate must chain to.
  kServerCa,
  kPasswordEncrypt,
  kServerPath,
  kServerFile,
  kLogDirectory,
  kLogCount,
  kLogLevel,
  kLocalPath,
  kLocalFile,
  kProxy,
  kProxyPort,
  kProxyId,
  kProxyPassword,
  kProxyPasswordEncrypt,
  kDebug,
  kProgress,
  kIncludeSubFolders,
  kVerify,
  kCompress,
  kTransferCompress,
  kTransfers,
  kForceMd5,
  kUseNvxDate,
  kDuplicateFiles,
  kNotifyUser,
  kNotifyAdmin,
  kSkipFolder,
  kExcludeExtension,
  kVerifyPath,
  // The desktop notification at the end of a run: "Failures" (the default), "Always" or
  // "Never".
  kDesktopNotify,
};

struct ConfigKeywordSpelling {
  ConfigKeyword keyword;
  std::string_view name;     // as the job runner names it in its messages
  std::string_view written;  // as the wizard writes it; equal to `name` but for letter case
  bool verb;                 // a verb stands alone; a setting is followed by a blank
};

// Every keyword once, in the order a reader tries them: the first that begins a line
// wins. Verbs come first and match without a trailing blank, so a line that begins with a
// verb's letters is that verb whatever follows; settings match only with their blank.
inline constexpr ConfigKeywordSpelling kConfigKeywords[] = {
    {ConfigKeyword::kSendToNVX, "SendToNVX", "SendToNVX", true},
    {ConfigKeyword::kMoveToNVX, "MoveToNVX", "MoveToNVX", true},
    {ConfigKeyword::kCopyFromNVX, "CopyFromNVX", "CopyFromNVX", true},
    {ConfigKeyword::kMoveFromNVX, "MoveFromNVX", "MoveFromNVX", true},
    {ConfigKeyword::kDeleteEmptyNVXFolders, "DeleteEmptyNVXFolders", "DeleteEmptyNVXFolders", true},
    {ConfigKeyword::kVerifyNVXFolders, "VerifyNVXFolders", "VerifyNVXFolders", true},
    {ConfigKeyword::kCleanNVX, "CleanNVX", "CleanNVX", true},
    {ConfigKeyword::kSendLog, "SendLog", "SendLog", true},
    {ConfigKeyword::kVerifyRestore, "VerifyRestore", "VerifyRestore", true},
    {ConfigKeyword::kUser, "NVXUser", "NVXuser", false},
    {ConfigKeyword::kPassword, "NVXPw", "NVXPw", false},
    {ConfigKeyword::kResultsType, "ResultsType", "ResultsType", false},
    {ConfigKeyword::kServer, "NVXServer", "NVXServer", false},
    {ConfigKeyword::kServerCa, "NVXServerCA", "NVXServerCA", false},
    {ConfigKeyword::kPasswordEncrypt, "NVXPwEncrypt", "NVXPwEncrypt", false},
    {ConfigKeyword::kServerPath, "NVXPath", "NVXpath", false},
    {ConfigKeyword::kServerFile, "NVXFile", "NVXfile", false},
    {ConfigKeyword::kLogDirectory, "LogDirectory", "LogDirectory", false},
    {ConfigKeyword::kLogCount, "LogCount", "LogCount", false},
    {ConfigKeyword::kLogLevel, "LogLevel", "LogLevel", false},
    {ConfigKeyword::kLocalPath, "LocalPath", "LocalPath", false},
    {ConfigKeyword::kLocalFile, "LocalFile", "LocalFile", false},
    {ConfigKeyword::kProxy, "Proxy", "Proxy", false},
    {ConfigKeyword::kProxyPort, "ProxyPort", "ProxyPort", false},
    {ConfigKeyword::kProxyId, "ProxyId", "ProxyId", false},
    {ConfigKeyword::kProxyPassword, "ProxyPassword", "ProxyPassword", false},
    {ConfigKeyword::kProxyPasswordEncrypt, "ProxyPasswordEncrypt", "ProxyPasswordEncrypt", false},
    {ConfigKeyword::kDebug, "Debug", "Debug", false},
    {ConfigKeyword::kProgress, "Progress", "Progress", false},
    {ConfigKeyword::kIncludeSubFolders, "IncludeSubFolders", "IncludeSubfolders", false},
    {ConfigKeyword::kVerify, "Verify", "Verify", false},
    {ConfigKeyword::kCompress, "Compress", "Compress", false},
    {ConfigKeyword::kTransferCompress, "TransferCompress", "TransferCompress", false},
    {ConfigKeyword::kTransfers, "Transfers", "Transfers", false},
    {ConfigKeyword::kForceMd5, "ForceMd5", "ForceMd5", false},
    {ConfigKeyword::kUseNvxDate, "UseNvxDate", "UseNVXdate", false},
    {ConfigKeyword::kDuplicateFiles, "DuplicateFiles", "DuplicateFiles", false},
    {ConfigKeyword::kNotifyUser, "NotifyUser", "NotifyUser", false},
    {ConfigKeyword::kNotifyAdmin, "NotifyAdmin", "NotifyAdmin", false},
    {ConfigKeyword::kSkipFolder, "SkipFolder", "SkipFolder", false},
    {ConfigKeyword::kExcludeExtension, "ExcludeExtension", "ExcludeExtension", false},
    {ConfigKeyword::kVerifyPath, "VerifyPath", "VerifyPath", false},
    {ConfigKeyword::kDesktopNotify, "DesktopNotify", "DesktopNotify", false},
};

// The row of `keyword`.
const ConfigKeywordSpelling& SpellingOf(ConfigKeyword keyword);
// The spelling the wizard writes ("NVXpath"), and the name of messages ("NVXPath").
std::string_view Written(ConfigKeyword keyword);
std::string_view NameOf(ConfigKeyword keyword);

// The keyword that begins `line` (letter case ignored), tried in table order, and the
// rest of the line after the keyword (and after a setting's blank). None when no
// keyword begins the line: a comment, a blank line or an unknown word.
struct KeywordMatch {
  const ConfigKeywordSpelling* spelling;
  std::string_view value;
};
[[nodiscard]] std::optional<KeywordMatch> MatchConfigKeyword(std::string_view line);

// The words after "LogLevel ". The wizard offers the first five; the job runner reads
// "ErrorOnly", "Activity", "Script" and "Debug1" (letter case ignored).
inline constexpr std::string_view kLogLevelActivity = "Activity";
inline constexpr std::string_view kLogLevelDebug1 = "Debug1";
inline constexpr std::string_view kLogLevelDebug2 = "Debug2";
inline constexpr std::string_view kLogLevelDebug3 = "Debug3";
inline constexpr std::string_view kLogLevelErrorOnly = "ErrorOnly";
inline constexpr std::string_view kLogLevelScript = "Script";

// The words after "DesktopNotify ".
inline constexpr std::string_view kDesktopNotifyFailures = "Failures";
inline constexpr std::string_view kDesktopNotifyAlways = "Always";
inline constexpr std::string_view kDesktopNotifyNever = "Never";

// The files a restore test restores when its verb names no number, and at most.
inline constexpr int kRestoreTestDefaultFiles = 5;
inline constexpr int kRestoreTestMaxFiles = 1000;

}  // namespace nvx::jobfiles

#endif  // NVX_JOBFILES_CONFIG_KEYWORDS_H_
