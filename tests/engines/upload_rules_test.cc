// The upload's decisions without a connection: the answer table of the is-it-there
// test, the block arithmetic, the quota test with its grace, and which folders and
// files a scan passes over; also the wildcard rules of the local folder search.
#include "engines/upload_rules.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/base64.h"
#include "codec/md5.h"
#include "platform/directory_search.h"
#include "protocol/transfer_answers.h"
#include "wire/date_stamp.h"

namespace nvx {
namespace {

std::string DigestBase64(const Md5Digest& digest) {
  return Base64Encode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

TEST(UploadRulesTest, IsItThereAnswersDecideWhatTravels) {
  using Outcome = IsItThereDecision::Outcome;
  const Md5Digest local = Md5Of("local bytes");
  const Md5Digest other = Md5Of("other bytes");
  const std::string lupin_same = "X-NVX-LUPIN: " + DigestBase64(local) + ",100,V7;\r\n";
  const std::string lupin_other = "X-NVX-LUPIN: " + DigestBase64(other) + ",100,V7;\r\n";
  const std::string lupin_half = "X-NVX-LUPIN: " + DigestBase64(other) + ",40,V9;\r\n";
  struct Case {
    std::string header;
    std::optional<Md5Digest> digest;  // the local digest, when known
    Outcome outcome;
    int64_t server_size;
    std::string version_id;
    bool differential;
    bool incomplete;
    bool clear_conclusion;
  };
  const std::vector<Case> cases = {
      {"X-NVX-CONCLUSION: ItsHere\r\n", {}, Outcome::kUnderstood, 100, "", false, false, true},
      {"X-NVX-CONCLUSION: ItsHereX\r\n", {}, Outcome::kUnderstood, 100, "", true, false, true},
      {"X-NVX-CONCLUSION: NotHere\r\n", {}, Outcome::kUnderstood, 0, "", false, false, true},
      {"X-NVX-CONCLUSION: Replace\r\nX-NVX-LUPIN: x,V1;\r\n",
       {},
       Outcome::kUnderstood,
       0,
       "V1",
       false,
       false,
       true},
      {"X-NVX-CONCLUSION: ReplaceX\r\nX-NVX-LUPIN: x,V2;\r\n",
       {},
       Outcome::kUnderstood,
       0,
       "V2",
       true,
       false,
       true},
      // "Replace" is a prefix; lower case is another word and needs a digest form.
      {"X-NVX-CONCLUSION: Replaced\r\nX-NVX-LUPIN: x,V3;\r\n",
       {},
       Outcome::kUnderstood,
       0,
       "V3",
       false,
       false,
       true},
      {"X-NVX-CONCLUSION: replace\r\nX-NVX-LUPIN: x,V3;\r\n",
       {},
       Outcome::kInvalidLupin,
       0,
       "",
       false,
       false,
       false},
      // Another date: equal digests match, anything else goes whole from 0.
      {"X-NVX-CONCLUSION: DateNoMatch\r\n" + lupin_same, local, Outcome::kUnderstood, 100, "V7",
       false, false, true},
      {"X-NVX-CONCLUSION: DateNoMatch\r\n" + lupin_other, local, Outcome::kUnderstood, 0, "V7",
       false, false, false},
      {"X-NVX-CONCLUSION: DateNoMatch\r\n" + lupin_same,
       {},
       Outcome::kNeedDigest,
       100,
       "V7",
       false,
       false,
       false},
      {"X-NVX-CONCLUSION: DateNoMatch\r\n" + lupin_half,
       {},
       Outcome::kUnderstood,
       0,
       "V9",
       false,
       false,
       false},
      // With "X" equal sizes alone are no match either.
      {"X-NVX-CONCLUSION: DateNoMatchX\r\n" + lupin_other, local, Outcome::kUnderstood, 0, "V7",
       true, false, false},
      {"X-NVX-CONCLUSION: DateNoMatchX\r\n" + lupin_same, local, Outcome::kUnderstood, 100, "V7",
       true, false, true},
      // An incomplete copy resumes where it ends; a size past the file's is no resume point.
      {"X-NVX-CONCLUSION: Incomplete\r\n" + lupin_half,
       {},
       Outcome::kUnderstood,
       40,
       "V9",
       false,
       true,
       false},
      {"X-NVX-CONCLUSION: Incomplete\r\nX-NVX-LUPIN: " + DigestBase64(other) + ",900,V9;\r\n",
       {},
       Outcome::kUnderstood,
       0,
       "V9",
       false,
       true,
       false},
      {"X-NVX-CONCLUSION: Incomplete\r\n", {}, Outcome::kInvalidLupin, 0, "", false, false, false},
      {"X-NVX-CONCLUSION: Incomplete\r\nX-NVX-LUPIN: abc,40\r\n",
       {},
       Outcome::kInvalidLupin,
       0,
       "",
       false,
       false,
       false},
      {"X-NVX-LARCH: 1,2\r\n", {}, Outcome::kNoConclusion, 0, "", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const std::string header = "HTTP/1.1 200 OK\r\n" + c.header + "\r\n";
    IsItThereDecision decision = DecideIsItThere(ParseIsItThereAnswer(header), 100, c.digest);
    EXPECT_EQ(decision.outcome, c.outcome);
    if (decision.outcome != Outcome::kUnderstood) continue;
    EXPECT_EQ(decision.server_size, c.server_size);
    EXPECT_EQ(decision.version_id, c.version_id);
    EXPECT_EQ(decision.differential_allowed, c.differential);
    EXPECT_EQ(decision.incomplete, c.incomplete);
    EXPECT_EQ(decision.clear_conclusion, c.clear_conclusion);
  }
  TransferAnswer failed =
      ParseIsItThereAnswer("HTTP/1.1 500 Oops\r\nX-NVX-CONCLUSION: ItsHere\r\n\r\n");
  EXPECT_EQ(DecideIsItThere(failed, 100, std::nullopt).outcome, Outcome::kServerError);
}

TEST(UploadRulesTest, BlocksAndQuota) {
  const std::vector<std::pair<int64_t, int32_t>> blocks = {
      {0, 0}, {1, 1}, {2048, 1}, {2049, 2}, {4096, 2}, {4097, 3}, {int64_t{5} << 30, 2621440}};
  for (auto [size, count] : blocks) EXPECT_EQ(BlockCount(size), count) << size;

  struct Quota {
    int64_t size, used, limit;
    bool replacement, refused;
  };
  const int64_t gib5 = int64_t{5} << 30;
  const std::vector<Quota> quotas = {
      {100, 0, 1000, false, false},
      {1000 + kQuotaGraceBytes, 0, 1000, false, false},  // the grace itself fits
      {1001 + kQuotaGraceBytes, 0, 1000, false, true},
      {1001 + kQuotaGraceBytes, 0, 1000, true, false},  // a replacement never is refused
      {gib5, gib5, gib5 * 2, false, false},             // figures above 32 bits
      {gib5, gib5 + 20000, gib5 * 2, false, true},
      {INT64_MAX, 1, 10, false, true},  // no wrap into a pass
  };
  for (const Quota& q : quotas) {
    EXPECT_EQ(WouldExceedQuota(q.size, q.used, q.limit, q.replacement), q.refused)
        << q.size << " " << q.used << " " << q.limit;
  }
}

TEST(UploadRulesTest, SkipFoldersExcludedExtensionsAndDates) {
  JobSettings job;
  job.texts.skip_folders = {"Temp", "cache"};
  job.texts.excluded_extensions = {".TMP", "bak", ".tar.gz"};
  const std::vector<std::pair<std::string, bool>> folders = {
      {"temp", true}, {"CACHE", true}, {"Temp2", false}, {"", false}};
  for (const auto& [name, skipped] : folders)
    EXPECT_EQ(IsSkippedFolder(job, name), skipped) << name;
  const std::vector<std::pair<std::string, bool>> files = {
      {"a.tmp", true},     {"a.Tmp", true},  {"bak", false}, {"a.bak", false},  // no dot in entry
      {"a.tar.gz", false}, {"notes", false}, {".tmp", true}, {"a.tmp.txt", false}};
  for (const auto& [name, excluded] : files) {
    EXPECT_EQ(IsExcludedExtension(job, name), excluded) << name;
  }
  job.texts.excluded_extensions.clear();
  EXPECT_FALSE(IsExcludedExtension(job, "a.tmp"));

  const int64_t when = 1078495629;  // 2004-03-05 14:07:09 UTC
  std::vector<ServerFileEntry> list(2);
  list[0].name = "Report.DOC";
  list[0].date = "07D403050E0709";
  list[1].name = "other.txt";
  list[1].date = "07D403050E0709";
  const ServerFileIndex index(list);
  const ServerFileEntry* matched = nullptr;
  EXPECT_TRUE(DateMatchesServerList(index, "report.doc", when, &matched));
  EXPECT_EQ(matched, &list[0]);
  EXPECT_FALSE(DateMatchesServerList(index, "report.doc", when + 1, &matched));
  EXPECT_EQ(matched, &list[0]);  // same name, other date: the digest will be asked for
  EXPECT_FALSE(DateMatchesServerList(index, "report.doc", std::nullopt, &matched));
  EXPECT_FALSE(DateMatchesServerList(index, "missing", when, &matched));
  EXPECT_EQ(matched, nullptr);
}

TEST(UploadRulesTest, WildcardsOfTheLocalSearch) {
  struct Case {
    std::string pattern, name;
    bool matches;
  };
  const std::vector<Case> cases = {
      {"*", "anything", true},
      {"*.*", "no_dot", true},
      {"*.txt", "a.txt", true},
      {"*.txt", "a.TXT", false},
      {"*.txt", "a.txt.bak", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyy", false},
      {"report.doc", "report.doc", true},
      {"report.doc", "Report.doc", false},
      {"**", "", true},
      {"*a", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::MatchesWildcard(c.pattern, c.name), c.matches)
        << c.pattern << " " << c.name;
  }
}

TEST(UploadRulesTest, ServerTextsReachTheLogTamedAndLocalNamesTravelWhole) {
  EXPECT_EQ(TextForLog("Error\x1b[2J\tgone\x7f"), "Error?[2J?gone?");
  EXPECT_EQ(TextForLog(std::string(300, 'a')).size(), 255u);
  const std::vector<std::pair<std::string, bool>> names = {
      {"plain.txt", true},   {"with space & 100%.txt", true},
      {"caf\xc3\xa9", true}, {"a\r\nX-Evil: 1", false},
      {"tab\there", false},  {"", false}};
  for (const auto& [name, travels] : names) EXPECT_EQ(NameCanTravel(name), travels) << name;
}

}  // namespace
}  // namespace nvx
