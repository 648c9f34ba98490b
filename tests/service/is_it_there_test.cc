// The is-it-there test over HTTP: every row of the service's decision, in its order, with
// the X-NVX-LUPIN each row answers and the space figures on every reply.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/service/upload_fixture.h"

namespace nvx::test {
namespace {

constexpr const char* kOtherStamp = "07E80C070E0709";

class IsItThereTest : public UploadFixture {};

TEST_F(IsItThereTest, DecisionTableRowByRow) {
  const std::string small = "alpha";
  const std::string big = Bytes(5000);
  const std::string edge = Bytes(4095, 2);
  const std::string two_blocks = Bytes(4096, 3);
  std::string a = AddDocument("alice", "\\MyFiles\\Docs\\a.txt", small, {"--date", kStamp});
  std::string b = AddDocument("alice", "\\MyFiles\\Docs\\big.bin", big, {"--date", kStamp});
  std::string e = AddDocument("alice", "\\MyFiles\\Docs\\edge.bin", edge, {"--date", kStamp});
  std::string t = AddDocument("alice", "\\MyFiles\\Docs\\two.bin", two_blocks, {"--date", kStamp});
  // "charlie" of which the store holds "cha".
  std::string p = AddDocument("alice", "\\MyFiles\\Docs\\part.txt", "charlie",
                              {"--date", kStamp, "--incomplete", "3"});
  // A large incomplete document never takes the "X".
  std::string q = AddDocument("alice", "\\MyFiles\\Docs\\bigpart.bin", big,
                              {"--date", kStamp, "--incomplete", "4500"});
  Admin({"folder", "add", "alice", "\\MyFiles\\Closed", "--access", "N"});
  std::string closed = FolderId("alice", "Closed");
  StartServer();

  auto digest = [](const std::string& bytes) {
    return Base64Md5(bytes) + "," + std::to_string(bytes.size());
  };
  struct Case {
    std::string query;
    std::string folder;
    std::optional<std::string> lupin;
    std::optional<std::string> date;
    std::string conclusion;
    std::optional<std::string> answer;  // X-NVX-LUPIN of the reply
  };
  const std::string docs = docs_;
  const Case cases[] = {
      {"a.txt", "424242", std::nullopt, std::nullopt, "Error - Folder Not Found", std::nullopt},
      {"a.txt", closed, std::nullopt, std::nullopt, "Error - Folder Not Found", std::nullopt},
      {"none.txt", docs, digest("x"), kStamp, "NotHere", std::nullopt},
      {"A.TXT", docs, std::nullopt, kStamp, "NotHere", std::nullopt},
      {"part.txt", docs, digest("cbx"), std::nullopt, "Replace", "x," + p + ";"},
      {"part.txt", docs, std::nullopt, kStamp, "Incomplete", digest("cha") + "," + p + ";"},
      {"part.txt", docs, digest("charlie"), kStamp, "Incomplete", digest("cha") + "," + p + ";"},
      {"bigpart.bin", docs, std::nullopt, std::nullopt, "Incomplete",
       digest(big.substr(0, 4500)) + "," + q + ";"},
      {"a.txt", docs, digest(small), kOtherStamp, "ItsHere", std::nullopt},
      {"a.txt", docs, digest("alphb"), kStamp, "Replace", "x," + a + ";"},
      {"a.txt", docs, digest("alpha!"), kStamp, "Replace", "x," + a + ";"},
      {"a.txt", docs, std::nullopt, kStamp, "ItsHere", std::nullopt},
      {"a.txt", docs, std::nullopt, kOtherStamp, "DateNoMatch", digest(small) + "," + a + ";"},
      {"a.txt", docs, std::nullopt, std::nullopt, "DateNoMatch", digest(small) + "," + a + ";"},
      // A digest that does not parse counts as none.
      {"a.txt", docs, "not-a-digest", kStamp, "ItsHere", std::nullopt},
      {"big.bin", docs, digest(big), kStamp, "ItsHereX", std::nullopt},
      {"big.bin", docs, digest(edge), kStamp, "ReplaceX", "x," + b + ";"},
      {"big.bin", docs, std::nullopt, kStamp, "ItsHere", std::nullopt},
      {"big.bin", docs, std::nullopt, kOtherStamp, "DateNoMatchX", digest(big) + "," + b + ";"},
      {"edge.bin", docs, std::nullopt, kOtherStamp, "DateNoMatch", digest(edge) + "," + e + ";"},
      {"two.bin", docs, digest(two_blocks), std::nullopt, "ItsHereX", std::nullopt},
      {"two.bin", docs, std::nullopt, kOtherStamp, "DateNoMatchX",
       digest(two_blocks) + "," + t + ";"},
      {"..", docs, std::nullopt, std::nullopt, "Error - Invalid Name", std::nullopt},
      {"a%2Fb", docs, std::nullopt, std::nullopt, "Error - Invalid Name", std::nullopt},
      {"a%01b", docs, std::nullopt, std::nullopt, "Error - Invalid Name", std::nullopt},
      {"a%zz", docs, std::nullopt, std::nullopt, "Error - Invalid Name", std::nullopt},
  };
  int64_t used = 5 + 5000 + 4095 + 4096 + 3 + 4500;
  for (const Case& c : cases) {
    HeaderList headers;
    if (c.date) headers.emplace_back("X-NVX-DINSDALE", *c.date);
    if (c.lupin) headers.emplace_back("X-NVX-LUPIN", *c.lupin);
    headers.emplace_back("X-NVX-BLACMANGE", c.folder);
    RawHttpReply reply = Head(c.query, headers);
    std::string label = c.query + " " + c.lupin.value_or("-") + " " + c.date.value_or("-");
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), c.conclusion) << label;
    EXPECT_EQ(reply.Header("X-NVX-LUPIN"), c.answer) << label;
    EXPECT_EQ(reply.Header("X-NVX-LARCH"), "1000000," + std::to_string(used)) << label;
  }
  // None of these changed the store.
  EXPECT_EQ(List()["part.txt"].state, "incomplete");
}

TEST_F(IsItThereTest, AnIncompleteDocumentThatHoldsTheClientsFileIsCompleted) {
  std::string p = AddDocument("alice", "\\MyFiles\\Docs\\part.txt", "charlie",
                              {"--date", kStamp, "--incomplete", "3"});
  StartServer();
  // The client's file is now exactly the three stored bytes.
  RawHttpReply reply = Head("part.txt", {{"X-NVX-DINSDALE", kOtherStamp},
                                         {"X-NVX-LUPIN", Base64Md5("cha") + ",3"},
                                         {"X-NVX-BLACMANGE", docs_}});
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "ItsHere");
  EXPECT_FALSE(reply.Header("X-NVX-LUPIN"));
  ListedDocument listed = List()["part.txt"];
  EXPECT_EQ(listed.state, "complete");
  EXPECT_EQ(listed.vid, p);
  EXPECT_EQ(Get("\\MyFiles\\Docs\\part.txt"), "cha");
  // Now it is listed with its date, and a date test matches it.
  EXPECT_NE(Command("FolderFileList", InDocs()).body.find(std::string("\tpart.txt\t3\t") + kStamp),
            std::string::npos);
  EXPECT_EQ(Head("part.txt", {{"X-NVX-DINSDALE", kStamp}, {"X-NVX-BLACMANGE", docs_}})
                .Header("X-NVX-CONCLUSION"),
            "ItsHere");
}

}  // namespace
}  // namespace nvx::test
