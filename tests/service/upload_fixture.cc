#include "tests/service/upload_fixture.h"

#include <chrono>
#include <random>
#include <sstream>
#include <thread>

#include "codec/base64.h"
#include "codec/md5.h"
#include "codec/transfer_cipher.h"
#include "tests/support/hex.h"
#include "tests/support/login_token.h"

namespace nvx::test {

void UploadFixture::SetUp() {
  ServiceFixture::SetUp();
  Admin({"folder", "add", "alice", "\\MyFiles\\Docs"});
  docs_ = FolderId("alice", "Docs");
}

std::string UploadFixture::PutRequest(const std::string& query, const HeaderList& headers,
                                      const std::string& body, int64_t content_length) {
  HeaderList all = {
      {"Content-Length",
       std::to_string(content_length < 0 ? static_cast<int64_t>(body.size()) : content_length)}};
  all.insert(all.end(), headers.begin(), headers.end());
  return ScriptRequest("PUT", query, all, MakeLoginToken("alice", "secret")) + body;
}

RawHttpReply UploadFixture::Put(const std::string& query, const HeaderList& headers,
                                const std::string& body) {
  return Exchange(PutRequest(query, headers, body));
}

RawHttpReply UploadFixture::Head(const std::string& query, const HeaderList& headers) {
  return Exchange(ScriptRequest("HEAD", query, headers, MakeLoginToken("alice", "secret")), true);
}

std::map<std::string, ListedDocument> UploadFixture::List(const std::string& path) {
  std::map<std::string, ListedDocument> documents;
  std::istringstream lines(Admin({"doc", "list", "alice", path}));
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    std::string field;
    while (std::getline(parts, field, '\t')) fields.push_back(field);
    EXPECT_EQ(fields.size(), 6u) << line;
    if (fields.size() != 6) continue;
    documents[fields[0]] = ListedDocument{
        fields[0], std::stoll(fields[1]), fields[2], fields[3], fields[4], fields[5]};
  }
  return documents;
}

std::string UploadFixture::Get(const std::string& path) {
  std::string file = temp_.File("got");
  Admin({"doc", "get", "alice", path, file});
  return ReadFileText(file);
}

bool UploadFixture::WaitForListed(const std::string& name, int64_t size, const std::string& path) {
  for (int tries = 0; tries < 100; ++tries) {
    std::map<std::string, ListedDocument> documents = List(path);
    auto found = documents.find(name);
    if (found != documents.end() && found->second.size == size) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

size_t UploadFixture::BlobCount() {
  return StoredBlobCount(data());
}

size_t UploadFixture::TemporaryCount() {
  size_t count = 0;
  for (const std::string& name : ListFolder(data() + "/blobs")) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) ++count;
  }
  return count;
}

std::string UploadFixture::Base64Md5(const std::string& bytes) {
  Md5Digest digest = Md5Of(bytes);
  return Base64Encode(std::string_view(reinterpret_cast<const char*>(digest.data()), 16));
}

std::string UploadFixture::HexMd5(const std::string& bytes) {
  Md5Digest digest = Md5Of(bytes);
  return ToHex(digest.data(), digest.size());
}

std::string UploadFixture::Bytes(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string UploadFixture::Encipher(const std::string& plain, size_t key_index, std::string* fang) {
  std::string body(RoundUpToBlock(plain.size()), '\0');
  TransferCipher cipher(key_index);
  cipher.Encipher(plain.data(), plain.size(), body.data());
  *fang = std::to_string(plain.size()) + "," + std::to_string(KeyCodeOf(key_index)) + ",0,0," +
          std::to_string(plain.size());
  return body;
}

}  // namespace nvx::test
