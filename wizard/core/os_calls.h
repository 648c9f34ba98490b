// The wizard's few direct calls of the operating system, kept in one place: the user
// name from the password database, the system name, loading a library, the file mode
// of job files, and flushing a download to the disk. Everything else goes through Qt. GUI thread.
#ifndef NVX_WIZARD_CORE_OS_CALLS_H_
#define NVX_WIZARD_CORE_OS_CALLS_H_

#include <string>

namespace nvx::wizard::os {

// The login name of the effective user; empty when the password database has none.
std::string EffectiveUserName();

// "sysname release" from uname; false when uname fails.
bool SystemNameAndRelease(std::string* name);

// dlopen with RTLD_NOW | RTLD_LOCAL; nullptr with dlerror's text in *reason on failure.
void* LoadLibrary(const std::string& path, std::string* reason);
// dlsym; nullptr with the reason on failure.
void* FindSymbol(void* library, const char* name, std::string* reason);
void UnloadLibrary(void* library);

// fsync of an open file descriptor: its bytes are on the disk before it is renamed into
// place. False when the file system reports an error.
bool SyncFile(int descriptor);

}  // namespace nvx::wizard::os

#endif  // NVX_WIZARD_CORE_OS_CALLS_H_
