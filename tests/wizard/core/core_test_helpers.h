// Small helpers of the wizard core's tests: Qt texts as standard strings for readable
// failure output, files with given sizes and times, and the mode bits of a file.
#ifndef NVX_TESTS_WIZARD_CORE_CORE_TEST_HELPERS_H_
#define NVX_TESTS_WIZARD_CORE_CORE_TEST_HELPERS_H_

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace nvx::test {

std::vector<std::string> Std(const QStringList& lines);
inline std::string Std(const QString& text) {
  return text.toStdString();
}
inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The lines joined with CR LF after each, as the job files hold them.
std::string CrLfText(const std::vector<std::string>& lines);

// Creates `path` (and its folders) holding `size` bytes; sets its modification time when
// `modified` is valid.
void MakeFileOfSize(const std::string& path, qint64 size, const QDateTime& modified = {});

// The permission bits of a file (0600, 0644, ...); -1 when it does not exist.
int FileMode(const std::string& path);

}  // namespace nvx::test

#endif  // NVX_TESTS_WIZARD_CORE_CORE_TEST_HELPERS_H_
