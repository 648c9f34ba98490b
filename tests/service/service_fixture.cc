#include "tests/service/service_fixture.h"

#include <sstream>

#include "tests/support/login_token.h"

namespace nvx::test {

void ServiceFixture::SetUp() {
  Admin({"account", "add", "alice", "secret", "--quota", "1000000"});
}

void ServiceFixture::TearDown() {
  if (server_) StopServer();
}

std::string ServiceFixture::Admin(const std::vector<std::string>& arguments) {
  RunResult result = RunNvxServer(data(), arguments);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return result.out;
}

void ServiceFixture::StartServer(const std::vector<std::string>& options) {
  tls_ca_.clear();
  server_ = std::make_unique<ServerProcess>(data(), log_file(), options);
  ASSERT_NE(server_->port(), 0) << ReadFileText(log_file());
}

const TestCertificates& ServiceFixture::certificates() {
  if (!certificates_) certificates_ = std::make_unique<TestCertificates>(temp_.File("certs"));
  return *certificates_;
}

void ServiceFixture::StartTlsServer(const std::vector<std::string>& options) {
  WriteFileText(tls_cert(), ReadFileText(certificates().server().cert));
  WriteFileText(tls_key(), ReadFileText(certificates().server().key));
  std::vector<std::string> all = {"--tls-cert", tls_cert(), "--tls-key",
                                  tls_key(),    "--listen", "127.0.0.1:0"};
  all.insert(all.end(), options.begin(), options.end());
  StartServer(all);
  ASSERT_NE(plain_port(), 0);
  tls_ca_ = certificates().authority();
}

void ServiceFixture::StopServer() {
  EXPECT_EQ(server_->Stop(), 0) << ReadFileText(log_file());
  server_.reset();
}

std::string ServiceFixture::ScriptRequest(const std::string& method, const std::string& query,
                                          const HeaderList& headers, const std::string& token) {
  std::string request = method + " /scripts/rizezi7.dll?" + query +
                        " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-NVX-RATTART: " + token +
                        "\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\n";
  for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
  return request + "\r\n";
}

RawHttpReply ServiceFixture::Command(const std::string& query, const HeaderList& headers) {
  return Exchange(ScriptRequest("GET", query, headers, MakeLoginToken("alice", "secret")));
}

RawHttpReply ServiceFixture::Exchange(const std::string& request, bool head) {
  std::optional<RawHttpReply> reply = RawHttpExchange(port(), request, head, tls_ca_);
  EXPECT_TRUE(reply.has_value()) << "no reply to: " << request;
  return reply.value_or(RawHttpReply{});
}

std::string ServiceFixture::AddDocument(const std::string& account, const std::string& path,
                                        const std::string& content,
                                        const std::vector<std::string>& options) {
  std::string file = temp_.File("document" + std::to_string(++document_files_));
  WriteFileText(file, content);
  std::vector<std::string> arguments = {"doc", "add", account, path, file};
  arguments.insert(arguments.end(), options.begin(), options.end());
  std::string vid = Admin(arguments);
  while (!vid.empty() && vid.back() == '\n') vid.pop_back();
  return vid;
}

std::string ServiceFixture::FolderId(const std::string& account, const std::string& name) {
  std::istringstream lines(Admin({"folder", "list", account}));
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    std::string field;
    while (std::getline(parts, field, '\t')) fields.push_back(field);
    if (fields.size() == 4 && fields[1] == name) return fields[3];
  }
  ADD_FAILURE() << "no folder " << name;
  return {};
}

}  // namespace nvx::test
