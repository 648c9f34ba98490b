// Whether a downloaded file is a program or library this machine can run: an ELF file of
// the same class (32 or 64 bits), byte order and machine as the running program, of type
// executable or shared object. The running program's own header is the reference, so no
// table of machines is kept here. GUI thread.
#ifndef NVX_WIZARD_CORE_EXECUTABLE_FORMAT_H_
#define NVX_WIZARD_CORE_EXECUTABLE_FORMAT_H_

#include <QByteArray>
#include <QString>

namespace nvx::wizard {

// The bytes of an ELF header that the check reads.
inline constexpr int kElfHeaderBytes = 20;

// True when `header` (the first bytes of a file) matches `reference` (the first bytes of
// a program of this machine); otherwise false with the reason in *reason.
bool SameExecutableFormat(const QByteArray& header, const QByteArray& reference, QString* reason);

// The first kElfHeaderBytes bytes of the running program; empty when unreadable.
QByteArray OwnExecutableHeader();

// True when the file at `path` is a program or library of this machine.
bool IsExecutableOfThisMachine(const QString& path, QString* reason);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_EXECUTABLE_FORMAT_H_
