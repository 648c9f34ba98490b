// The bytes the library puts on the wire: UrlEscape, date stamps, request lines and the
// service's request headers, byte for byte.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "codec/transfer_cipher.h"
#include "platform/file_time.h"
#include "protocol/request_builder.h"
#include "protocol/transfer_requests.h"
#include "protocol/url_escape.h"
#include "tests/support/temp_dir.h"
#include "wire/date_stamp.h"

namespace nvx {
namespace {

TEST(UrlEscape, EscapesReservedCharactersAndBlanks) {
  struct Case {
    std::string input, expected;
  } cases[] = {
      {"", ""},
      {"My File(1).txt", "My+File%281%29.txt"},
      {"a b&c", "a+b%26c"},
      {"100%", "100%25"},
      {"a:b", "a%3Ab"},
      {"dir\\file.txt", "dir\\file.txt"},
      {"$[x]", "$[x]"},
      {";/?:@&=+!*'(),\"#%<>", "%3B%2F%3F%3A%40%26%3D%2B%21%2A%27%28%29%2C%22%23%25%3C%3E"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"  ", "++"},
  };
  for (const Case& c : cases) EXPECT_EQ(UrlEscape(c.input), c.expected) << c.input;
}

TEST(UrlEscape, ControlBytesCannotEndTheRequestLine) {
  EXPECT_EQ(UrlEscape("evil\r\nX-NVX-LUPIN: 0,1;"), "evil%0D%0AX-NVX-LUPIN%3A+0%2C1%3B");
  EXPECT_EQ(UrlEscape(std::string("a\0b", 3)), "a%00b");
  EXPECT_EQ(UrlEscape("\t\x1F\x7F"), "%09%1F%7F");
}

TEST(DateStamp, FormatsAndParsesUtcTimes) {
  struct Case {
    int64_t seconds;
    const char* stamp;
  } cases[] = {
      {1078495629, "07D403050E0709"},  // 2004-03-05 14:07:09
      {0, "07B20101000000"},
      {951782400, "07D0021D000000"},   // 2000-02-29, a leap day
      {4102444799, "08330C1F173B3B"},  // 2099-12-31 23:59:59
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDateStamp(c.seconds), std::optional<std::string>(c.stamp));
    EXPECT_EQ(ParseDateStamp(c.stamp), std::optional<int64_t>(c.seconds));
  }
  for (int64_t seconds : {int64_t{-86400}, int64_t{253402300799}, int64_t{-11644473600}}) {
    std::optional<std::string> stamp = FormatDateStamp(seconds);
    ASSERT_TRUE(stamp) << seconds;
    EXPECT_EQ(ParseDateStamp(*stamp), std::optional<int64_t>(seconds)) << *stamp;
  }
}

TEST(DateStamp, RefusesTimesAndStampsOutsideTheCalendar) {
  EXPECT_FALSE(FormatDateStamp(-12000000000));  // before 1601
  EXPECT_FALSE(ParseDateStamp(""));
  EXPECT_FALSE(ParseDateStamp("07D40"));           // shorter than 6 characters
  EXPECT_FALSE(ParseDateStamp("07D400050E0709"));  // month 0
  EXPECT_FALSE(ParseDateStamp("07D4021E000000"));  // 2004-02-30
  EXPECT_FALSE(
      ParseDateStamp("07D403051800"
                     "00"));                       // hour 24
  EXPECT_FALSE(ParseDateStamp("07D4030G0E0709"));  // not hexadecimal
  EXPECT_FALSE(ParseDateStamp(" "));               // an incomplete document's date
  EXPECT_FALSE(ParseDateStamp("07D403"));          // no day: not a calendar date
  // Missing time groups read as 0.
  EXPECT_EQ(ParseDateStamp("07D40305"), std::optional<int64_t>(1078444800));
  EXPECT_EQ(ParseDateStamp("07d403050e0709"), std::optional<int64_t>(1078495629));
}

TEST(DateStamp, SetsALocalFilesLastWriteTime) {
  test::TempDir dir;
  std::string path = dir.File("f.txt");
  test::WriteFileText(path, "x");
  EXPECT_TRUE(ApplyDateStamp(path, "07D403050E0709"));
  EXPECT_EQ(platform::ModificationTime(path), std::optional<int64_t>(1078495629));
  int error = -1;
  EXPECT_FALSE(ApplyDateStamp(path, "07D4", &error));
  EXPECT_EQ(error, 0);
  EXPECT_FALSE(ApplyDateStamp(dir.File("missing"), "07D403050E0709", &error));
  EXPECT_NE(error, 0);
}

TEST(RequestLines, DirectAndProxyForms) {
  RequestRoute direct{"b2.norrvault.com", false, ""};
  EXPECT_EQ(ScriptRequestLine("GET", "FolderList", direct),
            "GET /scripts/rizezi7.dll?FolderList HTTP/1.1\r\nHost: b2.norrvault.com\r\n");
  EXPECT_EQ(ScriptRequestLine("HEAD", "My+File%281%29.txt", direct),
            "HEAD /scripts/rizezi7.dll?My+File%281%29.txt HTTP/1.1\r\nHost: b2.norrvault.com\r\n");
  RequestRoute proxy{"127.0.0.1:8080", true, "Proxy-Authorization: Basic dTpw\r\n"};
  EXPECT_EQ(ScriptRequestLine("PUT", "email.txt", proxy),
            "PUT http://127.0.0.1:8080/scripts/rizezi7.dll?email.txt HTTP/1.1\r\n"
            "Host: 127.0.0.1:8080\r\nProxy-Authorization: Basic dTpw\r\n");
  EXPECT_EQ(ScriptRequestLine("GET", "DownLoadX", RequestRoute{"h", true, ""}),
            "GET http://h/scripts/rizezi7.dll?DownLoadX HTTP/1.1\r\nHost: h\r\n");
  EXPECT_EQ(UploadManagerRequestLine("version.txt", direct),
            "GET /uploadmanager/version.txt HTTP/1.1\r\nHost: b2.norrvault.com\r\n");
  EXPECT_EQ(UploadManagerRequestLine("version.txt", proxy),
            "GET http://127.0.0.1:8080/uploadmanager/version.txt HTTP/1.1\r\n"
            "Host: 127.0.0.1:8080\r\nProxy-Authorization: Basic dTpw\r\n");
}

TEST(RequestHeaders, ExactLines) {
  struct Case {
    std::string built, expected;
  } cases[] = {
      {RattartHeader("dG9rZW4="), "X-NVX-RATTART: dG9rZW4=\r\n"},
      {UserAgentHeader(), "User-Agent: NVX Upload Manager(1.0.8)\r\n"},
      {BlacmangeTwoFieldHeader("", true, false), "X-NVX-BLACMANGE: NO,2\r\n"},
      {BlacmangeTwoFieldHeader("123-C", true, true), "X-NVX-BLACMANGE: 123-C,3\r\n"},
      {BlacmangeTwoFieldHeader("7", false, true), "X-NVX-BLACMANGE: 7,1\r\n"},
      {BlacmangeTwoFieldHeader("7", false, false), "X-NVX-BLACMANGE: 7,0\r\n"},
      {BlacmangeOneFieldHeader("101"), "X-NVX-BLACMANGE: 101\r\n"},
      {BigglesHeader("New"), "X-NVX-BIGGLES: New\r\n"},
      {LupinReferenceHeader(""), "X-NVX-LUPIN: 0,;\r\n"},
      {LupinReferenceHeader("A17"), "X-NVX-LUPIN: 0,A17;\r\n"},
      {LupinDigestHeader("1B2M2Y8AsgTpgAmY7PhCfg==", 5368709120),
       "X-NVX-LUPIN: 1B2M2Y8AsgTpgAmY7PhCfg==,5368709120\r\n"},
      {LupinReplacementHeader(true, "A17"), "X-NVX-LUPIN: 1,A17;\r\n"},
      {LupinReplacementHeader(false, "A17"), "X-NVX-LUPIN: 0,A17;\r\n"},
      {RestartHeader(4096, "A17"), "X-NVX-RESTART: 4096,A17;\r\n"},
      {Restart2Header("1B2M2Y8AsgTpgAmY7PhCfg==", 6442450944, "9"),
       "X-NVX-RESTART2: 1B2M2Y8AsgTpgAmY7PhCfg==,6442450944,9;\r\n"},
      {*DinsdaleHeader(1078495629), "X-NVX-DINSDALE: 07D403050E0709\r\n"},
      {NeeHeader("1B2M2Y8AsgTpgAmY7PhCfg==", 10),
       "X-NVX-NEE: 0,0,1B2M2Y8AsgTpgAmY7PhCfg==,10;\r\n"},
      {BeavercheeseHeader(true, false, "File Transfer"),
       "X-NVX-BEAVERCHEESE: 1,0,File Transfer;\r\n"},
      {ContentLengthHeader(5368709120), "Content-Length: 5368709120\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.built, c.expected);
}

TEST(RequestHeaders, ValuesCannotStartHeadersOfTheirOwn) {
  EXPECT_EQ(BigglesHeader("New\r\nX-NVX-LUPIN: 0,1;"), "X-NVX-BIGGLES: New\r\n");
  EXPECT_EQ(BeavercheeseHeader(false, true, "Job\nX: y"), "X-NVX-BEAVERCHEESE: 0,1,Job;\r\n");
  EXPECT_EQ(LupinReferenceHeader("1\r\n2"), "X-NVX-LUPIN: 0,1;\r\n");
  EXPECT_EQ(ScriptRequestLine("GET", "TestId\r\nX: y", RequestRoute{"h", false, ""}),
            "GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\nHost: h\r\n");
}

TEST(RequestHeaders, BigglesOfAServiceCommand) {
  EXPECT_EQ(ServiceCommandBiggles("Docs", "*.txt"), std::optional<std::string>("Docs"));
  EXPECT_EQ(ServiceCommandBiggles("", "*.txt"), std::optional<std::string>("*.txt"));
  EXPECT_EQ(ServiceCommandBiggles("", "a?c"), std::optional<std::string>("a?c"));
  EXPECT_EQ(ServiceCommandBiggles("", "[ab]"), std::optional<std::string>("[ab]"));
  EXPECT_EQ(ServiceCommandBiggles("", "dir\\f"), std::optional<std::string>("dir\\f"));
  EXPECT_EQ(ServiceCommandBiggles("", "report.doc"), std::nullopt);
  EXPECT_EQ(ServiceCommandBiggles("", ""), std::nullopt);
}

TEST(RequestHeaders, FangFieldsAndKeyCodes) {
  EXPECT_EQ(KeyCodeOf(300), 11265);  // 0x012C swapped: 0x2C01
  EXPECT_EQ(KeyCodeOf(0), 0);
  EXPECT_EQ(KeyCodeOf(1), 256);
  EXPECT_EQ(UploadKeyIndex(1078495629), 1078495629u % 496);
  EXPECT_EQ(UploadKeyIndex(496 + 300), 300u);
  EXPECT_EQ(UploadKeyIndex(-1), 495u);
  // Enciphered: true length and key code of seconds % 496.
  int64_t seconds = 496 * 1000 + 300;
  EXPECT_EQ(FangHeader(FangFor(true, 13, seconds, false, true, 13)),
            "X-NVX-FANG: 13,11265,0,1,13\r\n");
  // Plain: fillers from the seconds clock.
  EXPECT_EQ(FangHeader(FangFor(false, 13, 5000, true, false, 6442450944)),
            "X-NVX-FANG: " + std::to_string(5000 % 1025) + "," + std::to_string(5000 & 0xFFF) +
                ",1,0,6442450944\r\n");
}

TEST(TransferRequests, HeaderBlocksInTheirOrder) {
  TransferRequestBase base{RequestRoute{"b2.norrvault.com", false, ""}, "TOKEN", "101"};
  IsItThereFields there{"My File(1).txt", 1078495629, "1B2M2Y8AsgTpgAmY7PhCfg==", 6442450944};
  EXPECT_EQ(FormatIsItThere(base, there),
            "HEAD /scripts/rizezi7.dll?My+File%281%29.txt HTTP/1.1\r\nHost: b2.norrvault.com\r\n"
            "X-NVX-RATTART: TOKEN\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\n"
            "X-NVX-DINSDALE: 07D403050E0709\r\n"
            "X-NVX-LUPIN: 1B2M2Y8AsgTpgAmY7PhCfg==,6442450944\r\n"
            "X-NVX-BLACMANGE: 101\r\n\r\n");
  there.last_write_time.reset();
  there.digest_base64.reset();
  EXPECT_EQ(FormatIsItThere(base, there).find("X-NVX-DINSDALE"), std::string::npos);
  EXPECT_EQ(FormatIsItThere(base, there).find("X-NVX-LUPIN"), std::string::npos);

  PutFileFields put;
  put.file_name = "a b.txt";
  put.resume_offset = 4096;
  put.version_id = "A17";
  put.content_length = 5368709120;
  put.fang = FangFor(false, 0, 5000, true, false, 6442450944);
  put.last_write_time = 1078495629;
  put.nee_digest_base64 = "ZGlnZXN0";
  put.nee_size = 6442450944;
  RequestRoute proxy{"h:81", true, "Proxy-Authorization: Basic eDp5\r\n"};
  EXPECT_EQ(FormatPutFile(TransferRequestBase{proxy, "TOKEN", "7-C"}, put),
            "PUT http://h:81/scripts/rizezi7.dll?a+b.txt HTTP/1.1\r\nHost: h:81\r\n"
            "Proxy-Authorization: Basic eDp5\r\n"
            "X-NVX-RATTART: TOKEN\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\n"
            "X-NVX-RESTART: 4096,A17;\r\nContent-Length: 5368709120\r\n" +
                FangHeader(put.fang) +
                "X-NVX-BLACMANGE: 7-C\r\nX-NVX-DINSDALE: 07D403050E0709\r\n"
                "X-NVX-NEE: 0,0,ZGlnZXN0,6442450944;\r\n\r\n");
  put.resume_offset.reset();
  put.delta = true;
  std::string replacement = FormatPutFile(base, put);
  EXPECT_NE(replacement.find("User-Agent: NVX Upload Manager(1.0.8)\r\nX-NVX-LUPIN: 1,A17;\r\n"
                             "Content-Length: "),
            std::string::npos);
  put.version_id.clear();
  EXPECT_EQ(FormatPutFile(base, put).find("X-NVX-LUPIN"), std::string::npos);

  // 2004-03-05 14:07:09 UTC: the offered copy's date follows its digest.
  DownloadFields download{"A17", "ZGln", 6442450944, FangFor(false, 0, 5000, false, true, 0),
                          1078495629};
  EXPECT_EQ(FormatDownload(base, download),
            "GET /scripts/rizezi7.dll?DownLoad HTTP/1.1\r\nHost: b2.norrvault.com\r\n"
            "X-NVX-RATTART: TOKEN\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\n"
            "X-NVX-LUPIN: 0,A17;\r\nX-NVX-RESTART2: ZGln,6442450944,A17;\r\n"
            "X-NVX-DINSDALE: 07D403050E0709\r\n" +
                FangHeader(download.fang) + "\r\n");
  EXPECT_EQ(FormatSignatureDownload(base, download),
            "GET /scripts/rizezi7.dll?DownLoadX HTTP/1.1\r\nHost: b2.norrvault.com\r\n"
            "X-NVX-RATTART: TOKEN\r\nUser-Agent: NVX Upload Manager(1.0.8)\r\n"
            "X-NVX-LUPIN: 0,A17;\r\n" +
                FangHeader(download.fang) + "\r\n");
}

}  // namespace
}  // namespace nvx
