// The service's parsers of request text: names, query unescaping, wildcard patterns,
// targets, raw header blocks, request lines, the library's header fields and date stamps;
// the header block of a reply, byte for byte; and the replies of an SMTP relay.
#include <gtest/gtest.h>

#include <string>

#include "service/commands/names.h"
#include "service/commands/raw_headers.h"
#include "service/commands/request_target.h"
#include "service/http/reply_writer.h"
#include "service/http/request_line.h"
#include "service/smtp_client.h"
#include "wire/date_stamp.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

TEST(NamesTest, ValidNames) {
  struct Case {
    std::string name;
    bool valid;
  };
  const Case cases[] = {
      {"Docs", true},
      {"My File(1).txt", true},
      {"C++ 100%", true},
      {"..x", true},
      {"\xC3\xA9t\xC3\xA9", true},
      {"", false},
      {".", false},
      {"..", false},
      {"a/b", false},
      {"a\\b", false},
      {"a\tb", false},
      {std::string("a\0b", 3), false},
      {"a\x7F", false},
      {std::string(255, 'x'), true},
      {std::string(256, 'x'), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidName(c.name), c.valid) << c.name;
}

TEST(NamesTest, UnescapeQuery) {
  struct Case {
    std::string escaped;
    std::optional<std::string> plain;
  };
  const Case cases[] = {
      {"My+File%281%29.txt", "My File(1).txt"},
      {"a+b%26c", "a b&c"},
      {"100%25", "100%"},
      {"a%3Ab", "a:b"},
      {"C%2B%2B", "C++"},
      {"back\\slash", "back\\slash"},
      {"%e9t%E9", "\xE9t\xE9"},
      {"", ""},
      {"100%", std::nullopt},
      {"%4", std::nullopt},
      {"%zz", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(UnescapeQuery(c.escaped), c.plain) << c.escaped;
}

TEST(NamesTest, Patterns) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.txt", "a.txt", true},
      {"*.txt", "A.TXT", true},
      {"*.txt", "a.doc", false},
      {"*.*", "README", true},
      {"*", "", true},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"[ab]*", "beta", true},
      {"[ab]*", "gamma", false},
      {"[a-c]x", "Bx", true},
      {"[!a]x", "ax", false},
      {"[!a]x", "bx", true},
      {"[abc", "[abc", true},
      {"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
      {"report*.log", "report-2004.log", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  }
  EXPECT_TRUE(HasWildcard("*.txt"));
  EXPECT_TRUE(HasWildcard("[a]"));
  EXPECT_FALSE(HasWildcard("Docs"));
}

TEST(RequestTargetTest, Forms) {
  struct Case {
    const char* target;
    bool parsed;
    RequestTarget::Kind kind;
    const char* path;
    const char* query;
  };
  using Kind = RequestTarget::Kind;
  const Case cases[] = {
      {"/scripts/rizezi7.dll?FolderList", true, Kind::kScript, "/scripts/rizezi7.dll",
       "FolderList"},
      {"http://b2.example:8080/scripts/rizezi7.dll?a+b%20c", true, Kind::kScript,
       "/scripts/rizezi7.dll", "a+b%20c"},
      {"HTTP://host/Scripts/RIZEZI7.DLL?TestId", true, Kind::kScript, "/Scripts/RIZEZI7.DLL",
       "TestId"},
      {"/scripts/rizezi7.dll", true, Kind::kScript, "/scripts/rizezi7.dll", ""},
      {"/scripts/other.dll?TestId", true, Kind::kOtherScript, "/scripts/other.dll", "TestId"},
      {"/uploadmanager/v.txt", true, Kind::kPath, "/uploadmanager/v.txt", ""},
      {"http://host", false, Kind::kPath, "", ""},
      {"http:///scripts/rizezi7.dll", false, Kind::kPath, "", ""},
      {"scripts/rizezi7.dll", false, Kind::kPath, "", ""},
      {"*", false, Kind::kPath, "", ""},
      {"", false, Kind::kPath, "", ""},
  };
  for (const Case& c : cases) {
    std::optional<RequestTarget> target = ParseRequestTarget(c.target);
    ASSERT_EQ(target.has_value(), c.parsed) << c.target;
    if (!target) continue;
    EXPECT_EQ(target->kind, c.kind) << c.target;
    EXPECT_EQ(target->path, c.path) << c.target;
    EXPECT_EQ(target->query, c.query) << c.target;
  }
}

TEST(RawHeadersTest, ValuesAsTheyArrived) {
  std::string block =
      "GET /scripts/rizezi7.dll?FolderCreate HTTP/1.1\r\n"
      "Host: x\r\n"
      "X-NVX-BIGGLES: C++ 100%41 \r\n"
      "x-nvx-lupin:0,17;\r\n"
      "X-NVX-BIGGLES: second\r\n"
      "X-Empty:\r\n"
      "\r\n";
  RawHeaders headers(block);
  EXPECT_TRUE(headers.well_formed());
  EXPECT_EQ(headers.request_line(), "GET /scripts/rizezi7.dll?FolderCreate HTTP/1.1");
  EXPECT_EQ(headers.Find("x-nvx-biggles"), "C++ 100%41 ");
  EXPECT_EQ(headers.Find("X-NVX-LUPIN"), "0,17;");
  EXPECT_EQ(headers.Find("X-Empty"), "");
  EXPECT_EQ(headers.Find("X-NVX-RATTART"), std::nullopt);
  EXPECT_EQ(headers.size(), block.size());
}

TEST(RawHeadersTest, MalformedBlocks) {
  const char* blocks[] = {
      "GET / HTTP/1.1\r\nNoColonHere\r\n\r\n",
      "GET / HTTP/1.1\r\n: no name\r\n\r\n",
      "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n",
  };
  for (const char* block : blocks) EXPECT_FALSE(RawHeaders(block).well_formed()) << block;
  EXPECT_FALSE(RawHeaders(std::string("GET / HTTP/1.1\r\nX: a\0b\r\n\r\n", 27)).well_formed());
}

TEST(HeaderFieldsTest, FolderReferences) {
  struct Case {
    const char* header;
    bool parsed;
    bool my_files;
    int64_t id;
  };
  const Case cases[] = {
      {"NO,2", true, true, 0},       {"", true, true, 0},
      {"NO", true, true, 0},         {"123", true, false, 123},
      {"123-C,3", true, false, 123}, {" 45 ,0", true, false, 45},
      {"12x", false, false, 0},      {"-C", false, false, 0},
      {"1-C-C", false, false, 0},    {"99999999999999999999", false, false, 0},
  };
  for (const Case& c : cases) {
    std::optional<FolderReference> reference = ParseFolderReference(c.header);
    ASSERT_EQ(reference.has_value(), c.parsed) << c.header;
    if (!reference) continue;
    EXPECT_EQ(reference->my_files, c.my_files) << c.header;
    if (!c.my_files) {
      EXPECT_EQ(reference->id, c.id) << c.header;
    }
  }
}

TEST(HeaderFieldsTest, VersionReferences) {
  EXPECT_EQ(ParseVersionReference("0,17;"), 17);
  EXPECT_EQ(ParseVersionReference("1,42;"), 42);
  EXPECT_EQ(ParseVersionReference("0,;"), std::nullopt);
  EXPECT_EQ(ParseVersionReference("0,17"), std::nullopt);
  EXPECT_EQ(ParseVersionReference("17;"), std::nullopt);
  EXPECT_EQ(ParseVersionReference("0,1a;"), std::nullopt);
  EXPECT_EQ(ParseVersionReference("0,123456789012345;"), 123456789012345);
  EXPECT_EQ(ParseVersionReference("0,1234567890123456;"), std::nullopt);
}

TEST(HeaderFieldsTest, TransferAndEmailFields) {
  std::optional<FangFields> fields = ParseFangFields("13,11265,0,1,13");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->content_length_or_filler, 13);
  EXPECT_EQ(fields->key_code_or_filler, 11265);
  EXPECT_EQ(fields->size_before_compression, 13);
  EXPECT_TRUE(ParseFangFields("5,6"));
  EXPECT_FALSE(ParseFangFields("1,2,3,4,5,6"));
  EXPECT_FALSE(ParseFangFields("1,x"));

  std::optional<EmailRouting> routing = ParseEmailRouting("1,0,Backup;");
  ASSERT_TRUE(routing);
  EXPECT_TRUE(routing->to_user);
  EXPECT_FALSE(routing->to_admin);
  EXPECT_EQ(routing->results_type, "Backup");
  EXPECT_FALSE(ParseEmailRouting("1;"));
  EXPECT_FALSE(ParseEmailRouting("a,b,c;"));
}

TEST(HeaderFieldsTest, UploadReferences) {
  // "k,vid;" of a replacement or delta, "offset,vid;" of a continuation: a table of texts
  // and what each parser makes of them (-1: refused).
  struct Case {
    const char* text;
    int64_t document_kind;   // ParseDocumentReference
    int64_t restart_offset;  // ParseRestartReference
    int64_t vid;
  };
  const Case cases[] = {
      {"0,17;", 0, 0, 17},
      {"1,17;", 1, 1, 17},
      {" 0 , 17 ;", 0, 0, 17},
      {"2,17;", -1, 2, 17},
      {"5368709120,9;", -1, 5368709120, 9},
      {"0,17", -1, -1, 0},
      {"0;17,", -1, -1, 0},
      {"-1,17;", -1, -1, 0},
      {"0,-17;", -1, -1, 0},
      {"0,;", -1, -1, 0},
      {",17;", -1, -1, 0},
      {"0,1234567890123456;", -1, -1, 0},
      {"99999999999999999999,1;", -1, -1, 0},
      {"", -1, -1, 0},
  };
  for (const Case& c : cases) {
    std::optional<DocumentReference> document = ParseDocumentReference(c.text);
    EXPECT_EQ(document ? document->kind : -1, c.document_kind) << c.text;
    EXPECT_EQ(document ? document->vid : 0, c.document_kind < 0 ? 0 : c.vid) << c.text;
    std::optional<RestartReference> restart = ParseRestartReference(c.text);
    EXPECT_EQ(restart ? restart->offset : -1, c.restart_offset) << c.text;
    EXPECT_EQ(restart ? restart->vid : 0, c.restart_offset < 0 ? 0 : c.vid) << c.text;
  }
}

TEST(HeaderFieldsTest, DigestReferences) {
  // MD5 of "alpha" in Base64.
  const std::string digest = "LBdDo5EwX782ffjk8Gn5+Q==";
  std::optional<DigestReference> reference = ParseDigestReference(digest + ",5");
  ASSERT_TRUE(reference);
  EXPECT_EQ(reference->size, 5);
  EXPECT_EQ(reference->digest[0], 0x2C);
  EXPECT_EQ(reference->digest[15], 0xF9);
  // Short digests are completed with zeros, as the client completes them.
  reference = ParseDigestReference("AAEC,5368709120");
  ASSERT_TRUE(reference);
  EXPECT_EQ(reference->digest[1], 1);
  EXPECT_EQ(reference->digest[3], 0);
  EXPECT_EQ(reference->size, 5368709120);
  for (const char* refused : {"0,17;", "LBdDo5EwX782ffjk8Gn5+Q==", ",5", "LAX36Z,x", "LAX36Z,-5",
                              "LBdDo5EwX782ffjk8Gn5+Q==LBdDo5EwX782ffjk8Gn5+Q==,5", ""}) {
    EXPECT_FALSE(ParseDigestReference(refused)) << refused;
  }
}

TEST(DateStampTest, FormatsAndChecks) {
  EXPECT_EQ(FormatDateStamp(1078495629), "07D403050E0709");  // 2004-03-05 14:07:09 UTC
  EXPECT_EQ(FormatDateStamp(0), "07B20101000000");
  EXPECT_EQ(FormatDateStamp(951868799), "07D0021D173B3B");  // 2000-02-29 23:59:59
  EXPECT_TRUE(IsDateStamp("07D403050E0709"));
  EXPECT_FALSE(IsDateStamp("07d403050e0709"));
  EXPECT_FALSE(IsDateStamp("07D4030"));
  EXPECT_FALSE(IsDateStamp("07D40D050E0709"));  // month 13
  EXPECT_FALSE(IsDateStamp("07D403050E070G"));
}

TEST(RequestLineTest, WordsMethodsAndVersions) {
  struct Case {
    std::string line;
    bool parsed;
    const char* method;  // as kept for the log, also when refused
    const char* target;
  };
  const Case cases[] = {
      {"GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\n", true, "GET", "/scripts/rizezi7.dll?TestId"},
      {"PUT  http://h/scripts/rizezi7.dll?a.txt  HTTP/1.0 \r\n", true, "PUT",
       "http://h/scripts/rizezi7.dll?a.txt"},
      {"OPTIONS * HTTP/1.1\r\n", true, "OPTIONS", "*"},
      {"GET /x?a? HTTP/1.1\r\n", true, "GET", "/x?a?"},
      {"GET /x?a?b HTTP/1.1\r\n", false, "GET", "/x?a?b"},
      {"GET /x HTTP/1.1\n", false, "", ""},
      {std::string("GET /x\0 HTTP/1.1\r\n", 18), false, "", ""},
      {"GET /x HTTP/9.9\r\n", false, "GET", "/x"},
      {"FETCH /x HTTP/1.1\r\n", false, "FETCH", "/x"},
      {"GET /a b HTTP/1.1\r\n", false, "GET", "/a"},
      {"GET\t/x\tHTTP/1.1\r\n", false, "GET\t/x\tHTTP/1.1", ""},
      {"\r\n", false, "", ""},
  };
  for (const Case& c : cases) {
    RequestLine line;
    EXPECT_EQ(ParseRequestLine(c.line, &line), c.parsed) << c.line;
    EXPECT_EQ(line.method, c.method) << c.line;
    EXPECT_EQ(line.target, c.target) << c.line;
  }
  EXPECT_EQ(SplitHeaderLine("Connection:   close \t"),
            std::make_pair(std::string_view("Connection"), std::string_view("close")));
  EXPECT_FALSE(SplitHeaderLine("X-Empty:  "));
  EXPECT_FALSE(SplitHeaderLine("NoColon"));
}

TEST(ReplyHeadTest, HeadersByNameWithTheFramingOnes) {
  Reply reply;
  reply.SetConclusion("Successful");
  reply.SetHeader("X-NVX-LARCH", "100,5");
  reply.SetHeader("X-NVX-Fang", "5,0,0");
  reply.SetHeader("X-Broken", "a\rb");
  reply.SetHeader("content-md5", "x");  // ordered without regard to letter case
  EXPECT_EQ(ReplyHeadText(reply, BodyFraming{"text/plain", 5}, ReplyFraming{}),
            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-md5: x\r\nContent-Type: text/plain\r\n"
            "Keep-Alive: timeout=5, max=1000000\r\nX-NVX-CONCLUSION: Successful\r\n"
            "X-NVX-Fang: 5,0,0\r\nX-NVX-LARCH: 100,5\r\n\r\n");
  Reply refusal;
  refusal.status = 405;
  refusal.SetHeader("Connection", "close");
  EXPECT_EQ(ReplyHeadText(refusal, BodyFraming{}, ReplyFraming{true, true}),
            "HTTP/1.1 405 Method Not Allowed\r\nAccept-Ranges: bytes\r\nConnection: close\r\n"
            "Connection: close\r\nContent-Length: 0\r\n\r\n");
}

TEST(SmtpReplyReaderTest, RepliesSplitAnywhere) {
  struct Case {
    std::string bytes;
    int code;  // 0: not a reply
    size_t lines;
    std::string last;
  };
  std::string many;
  for (int i = 0; i < 70; ++i) many += "250-x\r\n";
  const Case cases[] = {
      {"220 relay ready\r\n", 220, 1, "relay ready"},
      {"250-relay\r\n250-8BITMIME\r\n250 SIZE 1000\r\n", 250, 3, "SIZE 1000"},
      {"250\r\n", 250, 1, ""},
      {"354 go ahead\n", 354, 1, "go ahead"},
      {"25O typo\r\n", 0, 0, ""},
      {"250-a\r\n251 b\r\n", 0, 0, ""},
      {"hello\r\n", 0, 0, ""},
      {"150 too early\r\n", 0, 0, ""},
      {"250x\r\n", 0, 0, ""},
      {"250 " + std::string(3000, 'a') + "\r\n", 0, 0, ""},
      {many + "250 x\r\n", 0, 0, ""},
  };
  for (const Case& c : cases) {
    for (size_t split = 0; split <= c.bytes.size(); ++split) {
      SmtpReplyReader reader;
      std::string_view first(c.bytes.data(), split);
      std::string_view second(c.bytes.data() + split, c.bytes.size() - split);
      SmtpReplyReader::Result result = reader.Feed(&first);
      if (result == SmtpReplyReader::Result::kNeedMore) result = reader.Feed(&second);
      if (c.code == 0) {
        EXPECT_EQ(result, SmtpReplyReader::Result::kBroken) << c.bytes.substr(0, 40) << split;
        continue;
      }
      ASSERT_EQ(result, SmtpReplyReader::Result::kReply) << c.bytes << split;
      EXPECT_EQ(reader.reply().code, c.code);
      EXPECT_EQ(reader.reply().lines.size(), c.lines);
      EXPECT_EQ(reader.reply().lines.back(), c.last);
    }
  }
  // Two replies in one piece come one after the other.
  SmtpReplyReader reader;
  std::string_view both = "250 done\r\n221 bye\r\n";
  ASSERT_EQ(reader.Feed(&both), SmtpReplyReader::Result::kReply);
  EXPECT_EQ(reader.reply().Describe(), "250 done");
  ASSERT_EQ(reader.Feed(&both), SmtpReplyReader::Result::kReply);
  EXPECT_EQ(reader.reply().Describe(), "221 bye");
}

}  // namespace
}  // namespace nvx::service
