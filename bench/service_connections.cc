// How long another client's login check takes while the service holds many idle
// connections and a client that drips its header a byte at a time. Starts nvxserver on a
// fresh data folder, measures TestId (a new connection from 127.0.0.2 each time) first
// on a quiet server, then with IDLE idle connections from 127.0.0.1 and the drip from
// 127.0.0.3, and prints the median and the slowest of each.
//
//   service_connections [IDLE] [ROUNDS]      (defaults 1000 and 50)
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/login_token.h"
#include "tests/support/raw_http_client.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"

namespace {

using nvx::test::RawHttpConnection;
using Clock = std::chrono::steady_clock;

std::string TestIdRequest() {
  return "GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\nHost: 127.0.0.1\r\nX-NVX-RATTART: " +
         nvx::test::MakeLoginToken("alice", "secret") + "\r\n\r\n";
}

// Milliseconds of each login check; a failed one counts as -1.
std::vector<double> MeasureLogins(int port, int rounds) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    Clock::time_point start = Clock::now();
    RawHttpConnection connection(port, "127.0.0.2");
    bool ok = connection.Send(TestIdRequest());
    std::optional<nvx::test::RawHttpReply> reply;
    if (ok) reply = connection.ReadReply(false, 30000);
    double millis = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ok = reply && reply->Header("X-NVX-CONCLUSION") == "Successful";
    times.push_back(ok ? millis : -1);
  }
  return times;
}

void Print(const char* what, std::vector<double> times) {
  size_t failed = static_cast<size_t>(std::count(times.begin(), times.end(), -1.0));
  std::sort(times.begin(), times.end());
  std::printf("%-40s median %7.2f ms  slowest %7.2f ms  failed %zu of %zu\n", what,
              times[times.size() / 2], times.back(), failed, times.size());
}

}  // namespace

int main(int argc, char** argv) {
  int idle_count = argc > 1 ? std::atoi(argv[1]) : 1000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 50;
  if (idle_count < 0 || rounds < 1) {
    std::fprintf(stderr, "usage: service_connections [IDLE] [ROUNDS]\n");
    return 2;
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 &&
      limit.rlim_cur < static_cast<rlim_t>(idle_count) + 64) {
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, static_cast<rlim_t>(idle_count) + 64);
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  nvx::test::TempDir temp;
  std::string data = temp.File("data");
  if (nvx::test::RunNvxServer(data, {"account", "add", "alice", "secret"}).exit_code != 0) {
    std::fprintf(stderr, "cannot add the account\n");
    return 1;
  }
  nvx::test::ServerProcess server(data, temp.File("server.log"));
  if (server.port() == 0) {
    std::fprintf(stderr, "nvxserver did not start\n");
    return 1;
  }
  Print("quiet server", MeasureLogins(server.port(), rounds));

  std::vector<std::unique_ptr<RawHttpConnection>> idle;
  for (int i = 0; i < idle_count; ++i) {
    idle.push_back(std::make_unique<RawHttpConnection>(server.port()));
  }
  RawHttpConnection drip(server.port(), "127.0.0.3");
  std::atomic<bool> stop{false};
  std::thread dripper([&] {
    std::string request = TestIdRequest();
    for (size_t i = 0; i + 1 < request.size() && !stop.load(); ++i) {
      drip.Send(request.substr(i, 1));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::string label = std::to_string(idle_count) + " idle connections and a drip";
  Print(label.c_str(), MeasureLogins(server.port(), rounds));
  stop = true;
  dripper.join();
  return 0;
}
