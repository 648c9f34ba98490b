// The server list (default servers, NVX_SERVER, "host:port"), how failed servers are
// passed over, and the file list of a server folder.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/library_limits.h"
#include "protocol/server_file_list.h"
#include "protocol/server_list.h"
#include "tests/protocol/session_fixture.h"

namespace nvx {
namespace {

using namespace std::string_literals;

std::vector<std::string> Hosts(ServerList& list) {
  std::vector<std::string> hosts;
  for (ServerEntry& entry : list.entries()) hosts.push_back(entry.request_host);
  return hosts;
}

TEST(ServerList, DefaultServersAreB2ThenB1) {
  test::ScopedEnvironment unset(kServerListVariable, nullptr);
  ServerList list;
  list.Assign(DefaultServerSettings());
  EXPECT_EQ(Hosts(list), (std::vector<std::string>{"b2.norrvault.com", "b1.norrvault.com"}));
  EXPECT_EQ(list.entries()[0].port_text, "80");
  EXPECT_EQ(list.entries()[0].connection->port(), 80);
  EXPECT_EQ(list.entries()[0].connection->host(), "b2.norrvault.com");
  // Picking: b2, then b1 after a failure, then b2 again.
  EXPECT_EQ(list.PickServer()->host, "b2.norrvault.com");
  list.current()->failed = true;
  EXPECT_EQ(list.PickServer()->host, "b1.norrvault.com");
  list.current()->failed = true;
  list.entries()[0].failed = false;
  EXPECT_EQ(list.PickServer()->host, "b2.norrvault.com");
}

TEST(ServerList, EnvironmentVariableAndPorts) {
  test::ScopedEnvironment set(kServerListVariable, " 127.0.0.1:8081 ,, localhost,host.example:x ");
  ServerList list;
  list.Assign(DefaultServerSettings());
  EXPECT_EQ(Hosts(list),
            (std::vector<std::string>{"127.0.0.1:8081", "localhost", "host.example:x"}));
  EXPECT_EQ(list.entries()[0].host, "127.0.0.1");
  EXPECT_EQ(list.entries()[0].connection->port(), 8081);
  EXPECT_EQ(list.entries()[1].connection->port(), 80);
  EXPECT_EQ(list.entries()[2].connection->port(), 0);  // non-digits give 0
  test::ScopedEnvironment empty(kServerListVariable, " , ");
  list.Assign(DefaultServerSettings());
  EXPECT_EQ(Hosts(list), (std::vector<std::string>{"b2.norrvault.com", "b1.norrvault.com"}));
}

// "host port request-host", with "tls " in front of a TLS server.
std::string Described(const ServerEntry& entry) {
  return (entry.tls ? "tls " : "") + entry.host + " " + std::to_string(entry.connection->port()) +
         " " + entry.request_host;
}

TEST(ServerList, SchemesChooseTlsAndTheDefaultPortAndListsKeepEachServersOwn) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://127.0.0.1", "tls 127.0.0.1 443 127.0.0.1"},
      {"HTTPS://b2.example:8443/", "tls b2.example 8443 b2.example:8443"},
      {" https://localhost:9 ", "tls localhost 9 localhost:9"},
      {"http://b1.example", "b1.example 80 b1.example"},
      {"Http://b1.example:8080", "b1.example 8080 b1.example:8080"},
      {"httpsx.example", "httpsx.example 80 httpsx.example"},
  };
  for (const auto& [setting, described] : cases) {
    ServerList list;
    list.Assign({setting});
    EXPECT_EQ(Described(list.entries().at(0)), described) << setting;
  }
  const char* list_text = "https://127.0.0.1:8443, http://127.0.0.1:8080 ,,127.0.0.2";
  test::ScopedEnvironment set(kServerListVariable, list_text);
  for (const std::vector<std::string>& settings :
       {DefaultServerSettings(), SplitServerSettings(list_text)}) {
    ServerList list;
    list.Assign(settings);
    std::vector<std::string> described;
    for (const ServerEntry& entry : list.entries()) described.push_back(Described(entry));
    EXPECT_EQ(described, (std::vector<std::string>{"tls 127.0.0.1 8443 127.0.0.1:8443",
                                                   "127.0.0.1 8080 127.0.0.1:8080",
                                                   "127.0.0.2 80 127.0.0.2"}));
  }
}

TEST(ServerList, AFailedServerIsPassedOver51Times) {
  test::ScopedEnvironment unset(kServerListVariable, nullptr);
  ServerList list;
  list.Assign(DefaultServerSettings());
  ServerEntry& b2 = list.entries()[0];
  ServerEntry& b1 = list.entries()[1];
  ASSERT_EQ(list.PickServer(), &b2);
  b2.failed = true;
  ASSERT_EQ(list.PickServer(), &b1);  // next in the list: no pass over b2 yet
  for (int pass = 1; pass <= 51; ++pass) {
    ASSERT_EQ(list.PickServer(), &b1) << "pass " << pass;
  }
  EXPECT_TRUE(b2.failed);
  EXPECT_EQ(b2.skip_count, 51);
  EXPECT_EQ(list.PickServer(), &b2);  // the 52nd pass clears its mark
  EXPECT_FALSE(b2.failed);
  EXPECT_EQ(b2.skip_count, 0);
}

TEST(ServerList, WhenEveryServerFailedTheNextOneIsTriedAnyway) {
  test::ScopedEnvironment unset(kServerListVariable, nullptr);
  ServerList list;
  list.Assign(DefaultServerSettings());
  list.PickServer();
  for (ServerEntry& entry : list.entries()) entry.failed = true;
  EXPECT_EQ(list.PickServer()->host, "b1.norrvault.com");
  EXPECT_EQ(list.PickServer()->host, "b2.norrvault.com");
  ServerList empty;
  EXPECT_EQ(empty.PickServer(), nullptr);
}

TEST(ServerFileList, SixFieldsPerDocument) {
  std::vector<ServerFileEntry> entries =
      ParseServerFileList("A17\tA.txt\t10\t07D403050E0709\t0\t0\t\r\n").entries;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].version_id, "A17");
  EXPECT_EQ(entries[0].name, "A.txt");
  EXPECT_EQ(entries[0].size, 10);
  EXPECT_EQ(entries[0].date, "07D403050E0709");
  EXPECT_EQ(entries[0].duplicate_count, 0);
  EXPECT_EQ(entries[0].present_locally, 0);

  entries = ParseServerFileList(
                "1\tbig.bin\t6442450944\t07D403050E0709\t2\t9\t"
                "2\tpart.bin\t5\t \t0\t0\t\r\n")
                .entries;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].size, 6442450944);
  EXPECT_EQ(entries[0].duplicate_count, 2);
  EXPECT_EQ(entries[0].sixth_value, 9);
  EXPECT_EQ(entries[1].name, "part.bin");
  EXPECT_EQ(entries[1].date, " ");

  EXPECT_TRUE(ParseServerFileList("").entries.empty());
  EXPECT_EQ(ParseServerFileList("\r\n").refused_count, 0u);
  EXPECT_EQ(
      ParseServerFileList("v\t" + std::string(900, 'n') + "\t1\t\t0\t0\t").entries[0].name.size(),
      511u);
}

// A bad entry between two good ones is refused with its reason; the next is read whole.
TEST(ServerFileList, ABadEntryNeverHidesTheEntriesAfterIt) {
  using R = FileListRefusal;
  const std::pair<std::string, R> cases[] = {
      {"3\tx\0y\t1\t\t0\t0\t"s, R::kControlCharacter},
      {"3\r\n\tx\t1\t\t0\t0\t", R::kMalformed},  // an id a header line would cut
      {"\tx\t1\t\t0\t0\t", R::kMalformed},
      {"1234567890123456\tx\t1\t\t0\t0\t", R::kMalformed},
      {"3\tx\t1\t\t\t0\t", R::kMalformed},
  };
  for (const auto& [entry, reason] : cases) {
    const ServerFileList list =
        ParseServerFileList("1\ta\t5\t\t0\t0\t" + entry + "2\tb\t6\tD\t0\t0\t\r\n");
    ASSERT_EQ(list.entries.size(), 2u) << entry;
    EXPECT_EQ(list.entries[1].version_id + list.entries[1].name + list.entries[1].date, "2bD");
    ASSERT_EQ(list.refused.size(), 1u) << entry;
    EXPECT_EQ(list.refused[0].reason, reason) << entry;
  }
}

TEST(ServerFileList, CountsAreBounded) {
  std::string text;
  for (int i = 0; i < 150; ++i) text += "1\tbad\x01\t1\t\t0\t0\t";
  for (size_t i = 0; i < kServerFileListMaxEntries + 2; ++i) text += "1\tf\t1\t\t0\t0\t";
  const ServerFileList list = ParseServerFileList(text);
  EXPECT_EQ(list.entries.size(), kServerFileListMaxEntries);
  EXPECT_EQ(list.refused_count, 152u);
  EXPECT_EQ(list.refused.size(), kServerFileListRefusalsKept);
}

}  // namespace
}  // namespace nvx
