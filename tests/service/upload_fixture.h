// The file requests of the service as the library sends them (the is-it-there HEAD and
// the upload PUT), and the store read back through the administration commands, for the
// tests of uploads over HTTP.
#ifndef NVX_TESTS_SERVICE_UPLOAD_FIXTURE_H_
#define NVX_TESTS_SERVICE_UPLOAD_FIXTURE_H_

#include <cstdint>
#include <map>
#include <string>

#include "tests/service/service_fixture.h"

namespace nvx::test {

// The date stamp the tests give their files.
inline constexpr const char* kStamp = "07D403050E0709";

// One line of `doc list`.
struct ListedDocument {
  std::string name;
  int64_t size = 0;
  std::string date_stamp;
  std::string md5;  // hexadecimal
  std::string state;
  std::string vid;
};

class UploadFixture : public ServiceFixture {
 protected:
  void SetUp() override;

  // The request text of a PUT of `body` with Content-Length first, then `headers`.
  static std::string PutRequest(const std::string& query, const HeaderList& headers,
                                const std::string& body, int64_t content_length = -1);
  RawHttpReply Put(const std::string& query, const HeaderList& headers, const std::string& body);
  RawHttpReply Head(const std::string& query, const HeaderList& headers);

  // `doc list` of alice's folder `path`, by name.
  std::map<std::string, ListedDocument> List(const std::string& path = "\\MyFiles\\Docs");
  // `doc get` of alice's document `path`.
  std::string Get(const std::string& path);
  // Waits (at most a few seconds) until `doc list` shows `name` with `size` bytes.
  bool WaitForListed(const std::string& name, int64_t size,
                     const std::string& path = "\\MyFiles\\Docs");
  // Files in the blob folder, and those of them that are temporary.
  size_t BlobCount();
  size_t TemporaryCount();

  // Digest texts of `bytes`: Base64 as on the wire, hexadecimal as `doc list` shows.
  static std::string Base64Md5(const std::string& bytes);
  static std::string HexMd5(const std::string& bytes);
  // `count` pseudo-random bytes (the same for the same seed).
  static std::string Bytes(size_t count, unsigned seed = 1);
  // `plain` enciphered as an upload sends it, with its X-NVX-FANG value.
  static std::string Encipher(const std::string& plain, size_t key_index, std::string* fang);

  HeaderList InDocs() const { return {{"X-NVX-BLACMANGE", docs_}}; }

  std::string docs_;  // the folder id of \MyFiles\Docs
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SERVICE_UPLOAD_FIXTURE_H_
