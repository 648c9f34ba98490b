#include "wizard/core/executable_format.h"

#include <QFile>

namespace nvx::wizard {
namespace {

// Offsets in the ELF identification and header.
constexpr int kClassAt = 4;     // 1: 32 bits, 2: 64 bits
constexpr int kDataAt = 5;      // 1: little-endian, 2: big-endian
constexpr int kTypeAt = 16;     // two bytes in the file's byte order
constexpr int kMachineAt = 18;  // two bytes in the file's byte order
constexpr int kTypeExecutable = 2;
constexpr int kTypeSharedObject = 3;

int TwoBytes(const QByteArray& header, int at) {
  auto low = static_cast<unsigned char>(header[at]);
  auto high = static_cast<unsigned char>(header[at + 1]);
  if (header[kDataAt] == 2) std::swap(low, high);
  return low | (high << 8);
}

}  // namespace

bool SameExecutableFormat(const QByteArray& header, const QByteArray& reference, QString* reason) {
  if (reference.size() < kElfHeaderBytes) {
    *reason = "the format of this program is unknown";
    return false;
  }
  if (header.size() < kElfHeaderBytes || !header.startsWith("\x7f"
                                                            "ELF")) {
    *reason = "not a program or library";
    return false;
  }
  if (header[kClassAt] != reference[kClassAt] || header[kDataAt] != reference[kDataAt] ||
      header.mid(kMachineAt, 2) != reference.mid(kMachineAt, 2)) {
    *reason = "a program or library of another kind of machine";
    return false;
  }
  int type = TwoBytes(header, kTypeAt);
  if (type != kTypeExecutable && type != kTypeSharedObject) {
    *reason = "neither a program nor a library";
    return false;
  }
  return true;
}

QByteArray OwnExecutableHeader() {
  static const QByteArray header = [] {
    QFile self("/proc/self/exe");
    if (!self.open(QIODevice::ReadOnly)) return QByteArray();
    return self.read(kElfHeaderBytes);
  }();
  return header;
}

bool IsExecutableOfThisMachine(const QString& path, QString* reason) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *reason = file.errorString();
    return false;
  }
  return SameExecutableFormat(file.read(kElfHeaderBytes), OwnExecutableHeader(), reason);
}

}  // namespace nvx::wizard
