// A counting TCP relay for the benchmark and main-job scripts: it listens on a loopback
// port, forwards every connection to one target (nvxserver) and counts the bytes that
// travel each way, so that a script can say what a step put on the wire.
//
// It prints the port it listens on as its first line, then, whenever a connection
// closes, rewrites STATS_FILE (whole, by rename) with one line:
//   OPEN_CONNECTIONS CONNECTIONS_SEEN BYTES_TO_TARGET BYTES_FROM_TARGET
// A script reads the file after a step once OPEN_CONNECTIONS is 0. SIGTERM or SIGINT
// ends the relay. One thread; poll() over every socket.
//
// Usage: wire_relay TARGET_PORT STATS_FILE      (the target is 127.0.0.1)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <list>
#include <string>
#include <vector>

namespace {

constexpr size_t kPieceBytes = 256 * 1024;
constexpr int kMaxConnections = 256;

volatile sig_atomic_t g_stop = 0;
void OnStop(int) {
  g_stop = 1;
}

struct Totals {
  int open = 0;
  int64_t seen = 0;
  int64_t to_target = 0;
  int64_t from_target = 0;
};

// One relayed connection: the client's socket and the target's. A side that ended its
// sending is shut down for writing on the other side; both ended closes the pair.
struct Pair {
  int client = -1;
  int target = -1;
  bool client_done = false;
  bool target_done = false;
  ~Pair() {
    if (client >= 0) ::close(client);
    if (target >= 0) ::close(target);
  }
};

void WriteStats(const std::string& path, const Totals& totals) {
  std::string temporary = path + ".new";
  FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return;
  std::fprintf(file, "%d %lld %lld %lld\n", totals.open, static_cast<long long>(totals.seen),
               static_cast<long long>(totals.to_target),
               static_cast<long long>(totals.from_target));
  std::fclose(file);
  std::rename(temporary.c_str(), path.c_str());
}

int Listen(uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

int ConnectTarget(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    return -1;
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return fd;
}

// Moves what `from` has to `to` (blocking write of the whole piece). False when `from`
// ended or either side failed; the byte count grows by what was forwarded.
bool Forward(int from, int to, std::vector<char>& buffer, int64_t* count) {
  ssize_t got = ::read(from, buffer.data(), buffer.size());
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (got <= 0) return false;
  size_t sent = 0;
  while (sent < static_cast<size_t>(got)) {
    ssize_t wrote = ::write(to, buffer.data() + sent, static_cast<size_t>(got) - sent);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    sent += static_cast<size_t>(wrote);
  }
  *count += got;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint16_t target_port = 0;
  if (argc != 3 ||
      std::from_chars(argv[1], argv[1] + std::char_traits<char>::length(argv[1]), target_port).ec !=
          std::errc()) {
    std::fprintf(stderr, "usage: wire_relay TARGET_PORT STATS_FILE\n");
    return 2;
  }
  std::string stats_path = argv[2];
  struct sigaction action {};
  action.sa_handler = OnStop;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  uint16_t port = 0;
  int listener = Listen(&port);
  if (listener < 0) {
    std::perror("wire_relay: listen");
    return 1;
  }
  Totals totals;
  WriteStats(stats_path, totals);
  std::printf("%u\n", port);
  std::fflush(stdout);

  std::list<Pair> pairs;
  std::vector<char> buffer(kPieceBytes);
  while (!g_stop) {
    std::vector<pollfd> watched{{listener, POLLIN, 0}};
    std::vector<Pair*> owners{nullptr};
    for (Pair& pair : pairs) {
      if (!pair.client_done) {
        watched.push_back({pair.client, POLLIN, 0});
        owners.push_back(&pair);
      }
      if (!pair.target_done) {
        watched.push_back({pair.target, POLLIN, 0});
        owners.push_back(&pair);
      }
    }
    if (::poll(watched.data(), watched.size(), 500) < 0) continue;
    if ((watched[0].revents & POLLIN) && totals.open < kMaxConnections) {
      int client = ::accept(listener, nullptr, nullptr);
      int target = client >= 0 ? ConnectTarget(target_port) : -1;
      if (target >= 0) {
        int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        pairs.emplace_back();
        pairs.back().client = client;
        pairs.back().target = target;
        ++totals.open;
        ++totals.seen;
      } else if (client >= 0) {
        ::close(client);
      }
    }
    for (size_t i = 1; i < watched.size(); ++i) {
      if (watched[i].revents == 0) continue;
      Pair& pair = *owners[i];
      bool from_client = watched[i].fd == pair.client;
      int from = from_client ? pair.client : pair.target;
      int to = from_client ? pair.target : pair.client;
      int64_t* count = from_client ? &totals.to_target : &totals.from_target;
      if (!Forward(from, to, buffer, count)) {
        (from_client ? pair.client_done : pair.target_done) = true;
        ::shutdown(to, SHUT_WR);
      }
    }
    bool closed = false;
    for (auto it = pairs.begin(); it != pairs.end();) {
      if (it->client_done && it->target_done) {
        it = pairs.erase(it);
        --totals.open;
        closed = true;
      } else {
        ++it;
      }
    }
    if (closed) WriteStats(stats_path, totals);
  }
  pairs.clear();
  totals.open = 0;
  WriteStats(stats_path, totals);
  ::close(listener);
  return 0;
}
