// Runs a test in a folder of its own for the life of an object: for code that works
// with fixed names in the process's current folder. The old folder comes back at the
// end. Not for tests whose threads look at the current folder meanwhile.
#ifndef NVX_TESTS_SUPPORT_CURRENT_DIRECTORY_H_
#define NVX_TESTS_SUPPORT_CURRENT_DIRECTORY_H_

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/file_system.h"

namespace nvx::test {

class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& path) : old_(platform::CurrentDirectory()) {
    EXPECT_EQ(::chdir(path.c_str()), 0) << path;
  }
  ~ScopedCurrentDirectory() { EXPECT_EQ(::chdir(old_.c_str()), 0) << old_; }
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::string old_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_CURRENT_DIRECTORY_H_
