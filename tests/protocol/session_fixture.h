// A worker's session for exchange tests: a shared block with an activity log that takes
// every line, a TransferSession on it, a fake clock (no real 5-second pauses), and
// helpers to read the log and name a loopback peer as the only server.
#ifndef NVX_TESTS_PROTOCOL_SESSION_FIXTURE_H_
#define NVX_TESTS_PROTOCOL_SESSION_FIXTURE_H_

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/activity_log.h"
#include "api/shared_block.h"
#include "api/transfer_session.h"
#include "codec/base64.h"
#include "codec/md5.h"
#include "platform/clock.h"
#include "platform/mutex.h"
#include "protocol/service_link.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {

// Sets (or, with a null value, removes) an environment variable for the lifetime of the
// object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_.has_value()) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() : clock_override_(&clock_) {
    block_.log_directory = logs_.path();
    block_.job.results_type = "File Transfer";
    ReopenActivityLog(block_, kLogDebug);
    block_.job.link.user = "alice";
    block_.job.link.password = "wonderland";
    session_ = std::make_unique<TransferSession>(block_);
  }
  ~SessionTest() override {
    session_.reset();
    nvx::platform::MutexLock lock(block_.trace_lock);
    CloseActivityLog(block_.logs.activity_log);
    block_.logs.results_file.Close();
  }

  TransferSession& session() { return *session_; }
  ServiceLink& link() { return session_->link(); }
  void UseServer(const LoopbackPeer& peer) { link().ReplaceServerList(peer.address()); }
  std::string Log() { return ReadFileText(block_.log_file_name); }
  bool LogHas(const std::string& text) { return Log().find(text) != std::string::npos; }
  std::string Status() { return StatusMessageOf(block_); }
  std::string Conclusion() { return ConclusionOf(block_); }

  FakeClock clock_;
  platform::ScopedClockOverride clock_override_;
  TempDir logs_;
  SharedBlock block_;
  std::unique_ptr<TransferSession> session_;
};

// Scripts one connection of `peer` that answers one request after the other with
// `answers`, keeping the connection open in between, as a keep-alive server does.
inline void AddKeepAliveConnection(LoopbackPeer& peer, const std::vector<std::string>& answers) {
  PeerConnection connection;
  for (const std::string& answer : answers) {
    PeerReply reply;
    reply.bytes = answer;
    reply.close_after = false;
    connection.push_back(reply);
  }
  peer.AddConnection(connection);
}

// A reply that answers one request with a service answer of `headers` (and `body`, with
// its length) and keeps the connection open.
inline PeerReply AnswerReply(const std::string& headers, const std::string& body = "") {
  PeerReply reply;
  reply.bytes = ServiceAnswer(headers, body);
  reply.close_after = false;
  return reply;
}

// A reply that closes the connection without answering.
inline PeerReply CutReply() {
  PeerReply reply;
  reply.close_after = true;
  return reply;
}

// A digest as the wire carries it.
inline std::string Base64Of(const Md5Digest& digest) {
  return Base64Encode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

// The method of a recorded request ("PUT"), and what follows its header block.
inline std::string MethodOf(const std::string& request) {
  return request.substr(0, request.find(' '));
}
inline std::string BodyOf(const std::string& request) {
  size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? "" : request.substr(end + 4);
}

// The value of header `name` ("X-NVX-RATTART: ") in a recorded request, or "".
inline std::string RequestHeader(const std::string& request, const std::string& name) {
  size_t at = request.find(name);
  if (at == std::string::npos) return {};
  size_t end = request.find("\r\n", at);
  return request.substr(at + name.size(), end - at - name.size());
}

// A recorded request without its X-NVX-RATTART line, whose token changes with time.
inline std::string WithoutToken(const std::string& request) {
  size_t at = request.find("X-NVX-RATTART: ");
  if (at == std::string::npos) return request;
  size_t end = request.find("\r\n", at);
  return request.substr(0, at) + request.substr(end + 2);
}

}  // namespace nvx::test

#endif  // NVX_TESTS_PROTOCOL_SESSION_FIXTURE_H_
