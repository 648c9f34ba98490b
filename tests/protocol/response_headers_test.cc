// Reading answers: the header reader's end rule, and the parsers of the service's reply
// headers, with their edge cases.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "protocol/header_reader.h"
#include "protocol/library_limits.h"
#include "protocol/response_headers.h"

namespace nvx {
namespace {

// Feeds `bytes` and tells after how many bytes the header was complete (0: never).
size_t CompleteAfter(const std::string& bytes) {
  HeaderAccumulator header;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (header.Feed(bytes[i])) return i + 1;
  }
  return 0;
}

TEST(HeaderReader, EndsAtTheFirstEmptyLine) {
  struct Case {
    std::string bytes;
    size_t complete_after;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\nBODY", 19},     {"HTTP/1.1 200 OK\r\nA: b\r\n\r\n", 25},
      {"HTTP/1.1 200 OK\n\nA: b\r\n\r\n", 25},  // LF LF without CR does not end it
      {"HTTP/1.1 200 OK\r\n\n", 18},            // CR LF LF does
      {"HTTP/1.1 200 OK\r\n\r\r\n", 20},        // only CR and LF between
      {"HTTP/1.1 200 OK\r\nX\r\n", 0},         {"\r\n\r\n", 4},
  };
  for (const Case& c : cases) EXPECT_EQ(CompleteAfter(c.bytes), c.complete_after) << c.bytes;
}

TEST(HeaderReader, ALongHeaderIsCutAtTheLimit) {
  std::string long_header = "HTTP/1.1 200 OK\r\nX-Filler: " + std::string(5000, 'a') + "\r\n\r\n";
  HeaderAccumulator header;
  size_t fed = 0;
  while (fed < long_header.size() && !header.Feed(long_header[fed])) ++fed;
  EXPECT_TRUE(header.complete());
  EXPECT_TRUE(header.cut());
  EXPECT_EQ(header.size(), kResponseHeaderMax);
  EXPECT_EQ(fed + 1, kResponseHeaderMax);
}

TEST(ResponseHeaders, StatusLines) {
  EXPECT_TRUE(IsInterimResponse("HTTP/1.1 100 Continue\r\n\r\n"));
  EXPECT_FALSE(IsInterimResponse("HTTP/1.0 100 Continue\r\n\r\n"));
  EXPECT_FALSE(IsInterimResponse("HTTP/1.1 10"));
  EXPECT_TRUE(IsProxyRefusal("HTTP/1.0 407 Proxy Authentication Required\r\n", false));
  EXPECT_TRUE(IsProxyRefusal("HTTP/1.1 407 Proxy Authentication Required\r\n", true));
  EXPECT_FALSE(IsProxyRefusal("HTTP/1.0 401 Unauthorized\r\n", false));
  EXPECT_TRUE(IsProxyRefusal("HTTP/1.0 401 Unauthorized\r\n", true));
  EXPECT_FALSE(IsProxyRefusal("HTTP/1.1 200 OK\r\n", true));
  EXPECT_EQ(ResponseLineOf("HTTP/1.1 200 OK\r\nA: b\r\n\r\n"), "HTTP/1.1 200 OK");
  EXPECT_EQ(ResponseLineOf(std::string(300, 'x')).size(), kHttpResponseLineMax);
  EXPECT_TRUE(SaysConnectionClose("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"));
  EXPECT_FALSE(SaysConnectionClose("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\n\r\n"));
}

TEST(ResponseHeaders, Conclusion) {
  EXPECT_EQ(ParseConclusion("HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: ID Invalid\r\n\r\n"),
            std::optional<std::string>("ID Invalid"));
  EXPECT_EQ(ParseConclusion("X-NVX-CONCLUSION: \r\n"), std::optional<std::string>(""));
  EXPECT_EQ(ParseConclusion("X-NVX-CONCLUSION: " + std::string(100, 'e') + "\r\n")->size(),
            kConclusionMax);
  EXPECT_EQ(ParseConclusion("HTTP/1.1 200 OK\r\n\r\n"), std::nullopt);
  EXPECT_EQ(ParseConclusion("X-NVX-CONCLUSION: cut"), std::optional<std::string>("cut"));
}

TEST(ResponseHeaders, SpaceFiguresAbove32Bits) {
  std::optional<SpaceFigures> figures = ParseLarch("X-NVX-LARCH: 5368709120,1073741824\r\n");
  ASSERT_TRUE(figures);
  EXPECT_EQ(figures->quota, 5368709120);
  EXPECT_EQ(figures->used, std::optional<int64_t>(1073741824));
  figures = ParseLarch("X-NVX-LARCH: 1000\r\n");
  ASSERT_TRUE(figures);
  EXPECT_EQ(figures->quota, 1000);
  EXPECT_EQ(figures->used, std::nullopt);
  figures = ParseLarch("X-NVX-LARCH: x,y\r\n");
  ASSERT_TRUE(figures);
  EXPECT_EQ(figures->quota, 0);
  EXPECT_EQ(figures->used, std::optional<int64_t>(0));
  EXPECT_EQ(ParseLarch("X-NVX-LARCH: 99999999999999999999999,1\r\n")->quota, 0);
  EXPECT_FALSE(ParseLarch("HTTP/1.1 200 OK\r\n"));
}

TEST(ResponseHeaders, OptionBits) {
  struct Case {
    std::string header;
    std::optional<int32_t> bits;
  } cases[] = {
      {"X-NVX-CRUNCHYFROG: 1,0,1\r\n", 5}, {"X-NVX-CRUNCHYFROG: Y,1,1\r\n", 6},
      {"X-NVX-CRUNCHYFROG: 1,0,0\r\n", 1}, {"X-NVX-CRUNCHYFROG: 1\r\n", 1},
      {"X-NVX-CRUNCHYFROG: \r\n", 0},      {"HTTP/1.1 200 OK\r\n", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseCrunchyfrog(c.header), c.bits) << c.header;
}

TEST(ResponseHeaders, ContentLength) {
  std::optional<ContentLength> length = ParseContentLength("Content-Length: 0\r\n");
  ASSERT_TRUE(length);
  EXPECT_TRUE(length->valid);
  EXPECT_EQ(length->length, 0);
  EXPECT_EQ(ParseContentLength("Content-Length: 6442450944\r\n")->length, 6442450944);
  EXPECT_FALSE(ParseContentLength("Content-Length: -5\r\n")->valid);
  EXPECT_FALSE(ParseContentLength("Content-Length: x\r\n")->valid);
  EXPECT_FALSE(ParseContentLength("Content-Length: 99999999999999999999999\r\n")->valid);
  EXPECT_FALSE(ParseContentLength("Content-length: 5\r\n"));
}

TEST(ResponseHeaders, IsItThereLupin) {
  std::optional<IsItThereLupin> lupin =
      ParseIsItThereLupin("X-NVX-LUPIN: x,A17;\r\n", /*replace_answer=*/true);
  ASSERT_TRUE(lupin);
  EXPECT_TRUE(lupin->usable);
  EXPECT_EQ(lupin->version_id, "A17");
  lupin = ParseIsItThereLupin("X-NVX-LUPIN: 1B2M2Y8AsgTpgAmY7PhCfg==,6442450944,B9;\r\n", false);
  ASSERT_TRUE(lupin);
  EXPECT_TRUE(lupin->usable);
  EXPECT_EQ(lupin->digest_base64, "1B2M2Y8AsgTpgAmY7PhCfg==");
  EXPECT_EQ(lupin->size, 6442450944);
  EXPECT_EQ(lupin->version_id, "B9");
  EXPECT_EQ(ParseIsItThereLupin("X-NVX-LUPIN: d,1," + std::string(40, '7') + ";\r\n", false)
                ->version_id.size(),
            kReplyVersionIdMax);
  EXPECT_FALSE(ParseIsItThereLupin("X-NVX-LUPIN: d,10\r\n", false)->usable);
  EXPECT_FALSE(ParseIsItThereLupin("X-NVX-LUPIN: x\r\n", true)->usable);
  EXPECT_FALSE(ParseIsItThereLupin("HTTP/1.1 200 OK\r\n", false));
}

TEST(ResponseHeaders, FileInfoLupin) {
  std::optional<FileInfoLupin> info =
      ParseFileInfoLupin("X-NVX-LUPIN: 1B2M2Y8AsgTpgAmY7PhCfg==,10,A17,07D403050E0709;a,b.txt\r\n");
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->usable);
  EXPECT_EQ(info->size, 10);
  EXPECT_EQ(info->version_id, std::optional<std::string>("A17"));
  EXPECT_EQ(info->date_stamp, "07D403050E0709");
  EXPECT_EQ(info->name, "a,b.txt");
  // Without the version id; the commas of the name do not count.
  info = ParseFileInfoLupin("X-NVX-LUPIN: d,5368709120,07D403050E0709;x,y,z\r\n");
  ASSERT_TRUE(info && info->usable);
  EXPECT_EQ(info->version_id, std::nullopt);
  EXPECT_EQ(info->size, 5368709120);
  EXPECT_EQ(info->date_stamp, "07D403050E0709");
  EXPECT_EQ(info->name, "x,y,z");
  for (const char* broken : {"X-NVX-LUPIN: d\r\n", "X-NVX-LUPIN: d,10\r\n",
                             "X-NVX-LUPIN: d,10,stamp\r\n", "X-NVX-LUPIN: d,10,stamp;\r\n"}) {
    info = ParseFileInfoLupin(broken);
    ASSERT_TRUE(info) << broken;
    EXPECT_FALSE(info->usable) << broken;
  }
}

TEST(ResponseHeaders, DownloadFangKeepsItsLetterCase) {
  std::optional<DownloadFang> fang = ParseDownloadFang("X-NVX-Fang: 6442450944,300,1\r\n");
  ASSERT_TRUE(fang);
  EXPECT_TRUE(fang->complete);
  EXPECT_EQ(fang->length, 6442450944);
  EXPECT_EQ(fang->key_number, 300);
  EXPECT_TRUE(fang->compressed);
  EXPECT_FALSE(ParseDownloadFang("X-NVX-Fang: 10,0,0\r\n")->compressed);
  EXPECT_FALSE(ParseDownloadFang("X-NVX-Fang: 10\r\n")->complete);
  EXPECT_FALSE(ParseDownloadFang("X-NVX-FANG: 10,0,1\r\n"));
  EXPECT_TRUE(HasRestartHeader("X-NVX-RESTART: 1\r\n"));
  EXPECT_FALSE(HasRestartHeader("X-NVX-RESTART2: d,1,2;\r\n"));
}

TEST(ResponseHeaders, ValuesNeverReachPastTheirLine) {
  std::optional<std::string_view> value =
      HeaderValue("X-NVX-LUPIN: d,1\r\nX-NVX-CONCLUSION: x;\r\n", "X-NVX-LUPIN: ");
  ASSERT_TRUE(value);
  EXPECT_EQ(*value, "d,1");
  EXPECT_FALSE(ParseIsItThereLupin("X-NVX-LUPIN: d,1\r\nX-NVX-CONCLUSION: x;\r\n", false)->usable);
}

}  // namespace
}  // namespace nvx
