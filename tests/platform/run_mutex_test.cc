// The run mutex between processes and the process helpers of the job runner.
#include "platform/run_mutex.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/support/fake_clock.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::platform {
namespace {

constexpr char kName[] = "NVX-SDK Sync";

TEST(RunMutex, TwoHoldersExcludeEachOtherUntilRelease) {
  test::TempDir folder;
  RunMutex first = RunMutex::Open(kName, folder.path());
  RunMutex second = RunMutex::Open(kName, folder.path());
  ASSERT_TRUE(first.is_open()) << first.error();
  ASSERT_TRUE(second.is_open());
  EXPECT_EQ(first.path(), folder.path() + "/NVX-SDK Sync.lock");
  EXPECT_TRUE(first.TryAcquire());
  EXPECT_FALSE(second.TryAcquire());
  EXPECT_EQ(second.error(), 0) << "being held is no failure";
  first.Release();
  EXPECT_TRUE(second.TryAcquire());
  EXPECT_FALSE(first.TryAcquire());
}

TEST(RunMutex, ClosingReleases) {
  test::TempDir folder;
  RunMutex other = RunMutex::Open(kName, folder.path());
  {
    RunMutex holder = RunMutex::Open(kName, folder.path());
    ASSERT_TRUE(holder.TryAcquire());
    EXPECT_FALSE(other.TryAcquire());
    RunMutex moved = std::move(holder);
    EXPECT_TRUE(moved.held());
    EXPECT_FALSE(other.TryAcquire());
  }
  EXPECT_TRUE(other.TryAcquire());
}

TEST(RunMutex, AWaitGivesUpAfterItsLimitWithoutRealWaiting) {
  test::TempDir folder;
  test::FakeClock clock;
  ScopedClockOverride use_clock(&clock);
  RunMutex holder = RunMutex::Open(kName, folder.path());
  ASSERT_TRUE(holder.TryAcquire());
  RunMutex waiter = RunMutex::Open(kName, folder.path());
  const int64_t day = 24LL * 3600 * 1000;
  EXPECT_EQ(waiter.Acquire(day, 250), RunMutex::WaitResult::kTimedOut);
  std::vector<int64_t> sleeps = clock.Sleeps();
  ASSERT_EQ(sleeps.size(), static_cast<size_t>(day / 250));
  EXPECT_EQ(sleeps.front(), 250);
  holder.Release();
  EXPECT_EQ(waiter.Acquire(day, 250), RunMutex::WaitResult::kAcquired);
  EXPECT_TRUE(waiter.held());
}

TEST(RunMutex, AMutexLeftByAProcessThatDiedIsFree) {
  test::TempDir folder;
  test::ChildHolding holder([&folder] {
    // Kept open in the child until it dies.
    static RunMutex held;
    held = RunMutex::Open(kName, folder.path());
    return held.TryAcquire();
  });
  ASSERT_TRUE(holder.took());
  RunMutex waiter = RunMutex::Open(kName, folder.path());
  EXPECT_FALSE(waiter.TryAcquire());
  holder.Kill();
  EXPECT_TRUE(waiter.TryAcquire());
}

TEST(RunMutex, AFolderThatCannotHoldTheLockFails) {
  test::TempDir folder;
  RunMutex mutex = RunMutex::Open(kName, folder.File("missing"));
  EXPECT_FALSE(mutex.is_open());
  EXPECT_NE(mutex.error(), 0);
  EXPECT_FALSE(mutex.TryAcquire());
  EXPECT_EQ(mutex.Acquire(1000, 250), RunMutex::WaitResult::kFailed);
}

TEST(RunMutex, NamesNeverLeaveTheFolder) {
  test::TempDir folder;
  RunMutex mutex = RunMutex::Open("a/../b", folder.path());
  ASSERT_TRUE(mutex.is_open());
  EXPECT_EQ(mutex.path(), folder.path() + "/a_.._b.lock");
}

TEST(RunMutex, TheLockFolderIsTheUsersRuntimeFolderElseTmp) {
  std::optional<std::string> saved = EnvironmentValue("XDG_RUNTIME_DIR");
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(DefaultRunMutexFolder(), "/run/user/4242");
  ::setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(DefaultRunMutexFolder(), "/tmp");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(DefaultRunMutexFolder(), "/tmp");
  EXPECT_FALSE(EnvironmentValue("XDG_RUNTIME_DIR"));
  if (saved) ::setenv("XDG_RUNTIME_DIR", saved->c_str(), 1);
}

// In a child, so that the test process keeps its priority.
TEST(Process, IdlePriorityIsTheLowestNiceValue) {
  int result = test::RunInChild(
      [] { return LowerToIdlePriority() == 0 && test::CurrentNiceValue() == 19 ? 0 : 1; });
  EXPECT_EQ(result, 0);
}

TEST(Process, APipeIsNoTerminal) {
  int result = test::RunInChild([] { return StandardOutputIsTerminal() ? 1 : 0; }, true);
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace nvx::platform
