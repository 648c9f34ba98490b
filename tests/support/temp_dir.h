// A temporary folder that is removed with everything in it when the object goes (kept
// when NVX_KEEP_TEMP is set, to look into a failed run's logs and data), and small
// helpers to read and write whole files in tests and make their contents.
#ifndef NVX_TESTS_SUPPORT_TEMP_DIR_H_
#define NVX_TESTS_SUPPORT_TEMP_DIR_H_

#include <cstddef>
#include <string>
#include <vector>

namespace nvx::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
// `count` pseudo-random bytes, the same for the same seed.
std::string RandomBytes(size_t count, unsigned seed);
// Names of the entries of a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& path);

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_TEMP_DIR_H_
