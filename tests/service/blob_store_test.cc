// The blob folder: a blob appears whole under a fresh name or not at all, names never
// collide with another process's, and what is left over is swept by lock or by age.
#include "service/store/blob_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/error_text.h"
#include "tests/support/temp_dir.h"

namespace nvx::service {
namespace {

TEST(BlobStoreTest, FinishedBlobsAppearWholeUnderFreshNames) {
  test::TempDir temp;
  BlobStore store(temp.path());
  std::string names[2];
  for (std::string& name : names) {
    BlobWriter writer(store);
    ASSERT_TRUE(writer.Write("hello ", 6));
    ASSERT_TRUE(writer.Write("world", 5));
    EXPECT_EQ(writer.size(), 11);
    ASSERT_TRUE(writer.Finish(&name));
  }
  EXPECT_NE(names[0], names[1]);
  EXPECT_EQ(test::ReadFileText(store.PathOf(names[0])), "hello world");
  EXPECT_EQ(test::ListFolder(temp.path()).size(), 2u);
  store.Remove(names[0]);
  store.Remove(names[0]);  // already gone: no failure
  EXPECT_EQ(test::ListFolder(temp.path()), (std::vector<std::string>{names[1]}));
}

TEST(BlobStoreTest, AnAbandonedWriterLeavesNothing) {
  test::TempDir temp;
  BlobStore store(temp.path());
  {
    BlobWriter writer(store);
    ASSERT_TRUE(writer.Write("partial", 7));
  }
  EXPECT_TRUE(test::ListFolder(temp.path()).empty());
  BlobStore missing(temp.File("no-such-folder"));
  BlobWriter failing(missing);
  EXPECT_FALSE(failing.ok());
  EXPECT_FALSE(failing.Write("x", 1));
  std::string name;
  EXPECT_FALSE(failing.Finish(&name));
}

TEST(BlobStoreTest, OnlyTemporaryFilesNoWriterHoldsAreSwept) {
  test::TempDir temp;
  BlobStore store(temp.path());
  test::WriteFileText(temp.File("left.tmp"), "left by a writer that died");
  test::WriteFileText(temp.File("kept.blob"), "blob");
  BlobWriter live(store);
  ASSERT_TRUE(live.Write("at work", 7));
  EXPECT_EQ(store.RemoveStaleTemporaryFiles(), 1);
  EXPECT_EQ(test::ListFolder(temp.path()).size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(temp.File("kept.blob")));
  EXPECT_TRUE(std::filesystem::exists(live.temporary_path()));
  std::string blob;
  ASSERT_TRUE(live.Finish(&blob));
  EXPECT_EQ(test::ReadFileText(store.PathOf(blob)), "at work");
}

TEST(BlobStoreTest, NamesCarryTheProcessPrefixAndNothingIsReplaced) {
  test::TempDir temp;
  BlobStore store(temp.path(), "f7-");
  BlobWriter writer(store);
  ASSERT_TRUE(writer.Write("mine", 4));
  EXPECT_EQ(std::filesystem::path(writer.temporary_path()).filename().string().rfind("f7-", 0), 0u);
  std::string blob;
  ASSERT_TRUE(writer.Finish(&blob));
  EXPECT_EQ(blob.rfind("f7-", 0), 0u);
  // A name another process took is never written over.
  test::WriteFileText(temp.File("other.tmp"), "theirs");
  int error = 0;
  EXPECT_FALSE(store.Publish(temp.File("other.tmp"), blob, &error));
  EXPECT_EQ(error, platform::kErrorFileExists);
  EXPECT_EQ(test::ReadFileText(store.PathOf(blob)), "mine");
}

TEST(BlobStoreTest, ASharedFolderIsSweptByAgeWhoeverHoldsTheFiles) {
  test::TempDir temp;
  BlobStore store(temp.path());
  auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
  // A writer of another machine, whose lock this one cannot see, stopped long ago; one
  // at work here wrote a moment ago.
  BlobWriter stopped(store);
  ASSERT_TRUE(stopped.Write("stopped", 7));
  std::filesystem::last_write_time(stopped.temporary_path(), old);
  BlobWriter working(store);
  ASSERT_TRUE(working.Write("working", 7));
  test::WriteFileText(temp.File("kept.blob"), "blob");
  std::filesystem::last_write_time(temp.File("kept.blob"), old);
  EXPECT_EQ(store.RemoveExpiredTemporaryFiles(60), 1);
  EXPECT_FALSE(std::filesystem::exists(stopped.temporary_path()));
  EXPECT_TRUE(std::filesystem::exists(working.temporary_path()));
  EXPECT_TRUE(std::filesystem::exists(temp.File("kept.blob")));
}

TEST(BlobStoreTest, OnlyOldBlobsThatNoDocumentNamesAreSwept) {
  test::TempDir temp;
  BlobStore store(temp.path());
  auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
  for (const char* name : {"named-old.blob", "named-young.blob", "orphan-old.blob",
                           "orphan-young.blob", "orphan-old.txt"}) {
    test::WriteFileText(temp.File(name), name);
    if (std::string(name).find("-old") != std::string::npos) {
      std::filesystem::last_write_time(temp.File(name), old);
    }
  }
  EXPECT_EQ(store.RemoveUnreferencedBlobs({"named-old.blob", "named-young.blob"}, 60), 1);
  EXPECT_EQ(test::ListFolder(temp.path()),
            (std::vector<std::string>{"named-old.blob", "named-young.blob", "orphan-old.txt",
                                      "orphan-young.blob"}));
}

}  // namespace
}  // namespace nvx::service
