// The console progress display, fed with snapshots by a scripted worker: what a user sees
// on the console, and when the worker is let go after each file.
#include "runner/progress_display.h"

#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"

namespace nvx {
namespace {

struct Frame {
  int32_t sequence = 0;
  int32_t phase = 0;
  std::string name;
  bool waiting = false;
  int32_t block = 0;
  int32_t total_blocks = 0;
  int32_t uploaded = 3;  // files sent so far
};

// Plays a worker: one frame per poll, except that a paused worker stays on its waiting
// frame until the display releases it.
class ScriptedWatch final : public TransferWatch {
 public:
  // A released worker goes on after `wake_polls` more polls (0: at once).
  ScriptedWatch(Frame initial, std::vector<Frame> frames, int wake_polls = 0)
      : frames_(std::move(frames)), wake_polls_(wake_polls) {
    current_ = initial;
  }

  int32_t Status() override {
    if (started_) {
      if (current_.waiting && !released_) {
        ++stalled_polls_;
      } else if (current_.waiting && waking_ < wake_polls_) {
        ++waking_;
      } else {
        ++position_;
        waking_ = 0;
        released_ = false;
      }
    }
    started_ = true;
    if (position_ >= frames_.size()) {
      if (!frames_.empty()) current_ = frames_.back();
      current_.waiting = false;
      return 2;
    }
    current_ = frames_[position_];
    return 1;
  }

  TransferProgress Snapshot() override {
    TransferProgress snapshot{};
    snapshot.sequence = current_.sequence;
    snapshot.phase = current_.phase;
    snapshot.waiting = current_.waiting ? 1 : 0;
    snapshot.block = current_.block;
    snapshot.total_blocks = current_.total_blocks;
    name_ = current_.name;
    snapshot.file_name = name_.c_str();
    snapshot.files_uploaded = current_.uploaded;
    snapshot.files_upload_error = 1;
    snapshot.files_downloaded = 4;
    return snapshot;
  }

  void ReleasePause() override {
    if (current_.waiting) {
      released_ = true;
      releases_.push_back(position_);
    } else {
      ++spurious_releases_;
    }
  }

  // A paused worker the display has not let go yet.
  bool Held() const { return current_.waiting && !released_; }

  std::string StatusMessage() override { return "Upload complete"; }
  int32_t ErrorCode() override { return 0; }
  std::string HttpResponse() override { return "HTTP/1.1 200 OK"; }

  std::vector<size_t> releases_;
  int stalled_polls_ = 0;
  int spurious_releases_ = 0;

 private:
  std::vector<Frame> frames_;
  Frame current_;
  std::string name_;
  size_t position_ = 0;
  bool started_ = false;
  bool released_ = false;
  int wake_polls_ = 0;
  int waking_ = 0;
};

struct Shown {
  std::string out;
  std::string err;
};

class ProgressDisplay : public ::testing::Test {
 protected:
  Shown RunTransfer(ScriptedWatch& watch, const DisplaySettings& settings) {
    std::ostringstream out;
    std::ostringstream err;
    Console console(out, err);
    RunTransferLoop(watch, settings, console);
    return {out.str(), err.str()};
  }

  static DisplaySettings Settings(bool progress, bool debug, int interval = 200) {
    DisplaySettings settings;
    settings.progress = progress;
    settings.debug = debug;
    settings.pause_on = progress;
    settings.display_interval = interval;
    settings.results_type = "Backup";
    return settings;
  }

  test::FakeClock clock_;
  platform::ScopedClockOverride use_clock_{&clock_};
};

// Three small files, each paused after it ends.
std::vector<Frame> ThreeFiles() {
  return {
      {1, 1, "a.txt", false}, {1, 1, "a.txt", true},  {2, 3, "b.txt", false},
      {2, 3, "b.txt", true},  {3, 4, "c.txt", false}, {3, 4, "c.txt", true},
  };
}

TEST_F(ProgressDisplay, WithProgressEachFileIsShownFinishedAndReleasedAtOnce) {
  ScriptedWatch watch(Frame{}, ThreeFiles());
  DisplaySettings settings = Settings(true, false);
  // The worker goes on before the display's own work of the poll (the status file here).
  int held_during_poll_work = 0;
  settings.on_poll = [&] { held_during_poll_work += watch.Held() ? 1 : 0; };
  Shown shown = RunTransfer(watch, settings);
  EXPECT_EQ(shown.out,
            "\nFile name a.txt\nStarting"
            "\rUpdating file     Complete              "
            "\nFile name b.txt\nStarting"
            "\rSkipping File               "
            "\nFile name c.txt\nStarting"
            "\rSkipping File                            ");
  EXPECT_EQ(shown.err, "");
  EXPECT_EQ(watch.releases_, (std::vector<size_t>{1, 3, 5}));
  EXPECT_EQ(watch.stalled_polls_, 0) << "a paused worker waited past the poll that saw it";
  EXPECT_EQ(watch.spurious_releases_, 0);
  EXPECT_EQ(held_during_poll_work, 0);
}

// The worker may have begun (and paused after) the first file before the display's first
// look: that file is still shown and let go.
TEST_F(ProgressDisplay, AFileBegunBeforeTheFirstLookIsStillShown) {
  std::vector<Frame> frames = {{1, 1, "a.txt", true}, {2, 1, "b.txt", false}};
  ScriptedWatch watch(Frame{1, 1, "a.txt", true}, frames);
  Shown shown = RunTransfer(watch, Settings(true, false));
  EXPECT_EQ(shown.out.rfind("\nFile name a.txt\nStarting", 0), 0u) << shown.out;
  EXPECT_EQ(watch.releases_, (std::vector<size_t>{0}));
}

// A worker slow to wake keeps showing waiting for a few polls: its pause is let go once,
// so that the event does not keep a second release that would skip the next pause.
TEST_F(ProgressDisplay, APauseIsLetGoOnceWhileTheWorkerWakes) {
  ScriptedWatch watch(Frame{}, ThreeFiles(), 5);
  Shown shown = RunTransfer(watch, Settings(true, false, 200));
  EXPECT_EQ(watch.releases_, (std::vector<size_t>{1, 3, 5}));
  EXPECT_EQ(watch.spurious_releases_, 0);
  EXPECT_NE(shown.out.find("\nFile name b.txt\nStarting"), std::string::npos);
}

// The same file still waiting a whole display interval after its release may be a new
// pause that looks the same: it is let go again rather than left waiting for good.
TEST_F(ProgressDisplay, AWaitThatOutlastsTheDisplayIntervalIsLetGoAgain) {
  ScriptedWatch watch(Frame{}, {{1, 1, "a.txt", false}, {1, 1, "a.txt", true}}, 10);
  RunTransfer(watch, Settings(true, false, 3));
  EXPECT_EQ(watch.releases_, (std::vector<size_t>{1, 1, 1}));
}

TEST_F(ProgressDisplay, WithProgressAndDebugOffNothingIsPrintedAndNothingReleased) {
  // The pause flag is off, so the engines never wait; frames never show waiting.
  std::vector<Frame> frames = {{1, 1, "a.txt"}, {1, 1, "a.txt"}, {2, 1, "b.txt"}};
  ScriptedWatch watch(Frame{}, frames);
  Shown shown = RunTransfer(watch, Settings(false, false, 0));
  EXPECT_EQ(shown.out, "");
  EXPECT_TRUE(watch.releases_.empty());
  EXPECT_EQ(watch.spurious_releases_, 0);
}

TEST_F(ProgressDisplay, EveryPollSleepsThePollSleep) {
  ScriptedWatch watch(Frame{}, ThreeFiles());
  DisplaySettings settings = Settings(true, false);
  settings.poll_sleep_millis = 100;
  RunTransfer(watch, settings);
  EXPECT_EQ(clock_.Sleeps(), std::vector<int64_t>(6, 100));
}

TEST_F(ProgressDisplay, DebugPrintsALinePerFileAndTheCountersAtTheEnd) {
  std::vector<Frame> frames = {{0, 0, ""}, {1, 1, "a.txt"}, {2, 2, "b.txt"}};
  ScriptedWatch watch(Frame{5, 0, ""}, frames);
  Shown shown = RunTransfer(watch, Settings(false, true));
  EXPECT_EQ(shown.out,
            "File Transfer 1 name a.txt\n"
            "File Transfer 2 name b.txt\n"
            "  Status message Upload complete\n"
            "  Error Code     0\n"
            "  Last HTTP Response HTTP/1.1 200 OK\n"
            "  Files Uploaded 3\n"
            "  Files Upload Updated 0\n"
            "  Files Upload Matched 0\n"
            "  Files Upload Zero Length 0\n"
            "  Files Upload Error 1\n"
            "  Files Downloaded 4\n"
            "  Files Download Updated 0\n"
            "  Files Download Matched 0\n"
            "  Files Download Error 0\n");
}

TEST_F(ProgressDisplay, ABlockCountIsShownWhileAFileIsSent) {
  std::vector<Frame> frames = {{1, 1, "big.bin", false, 1, 10}};
  for (int poll = 0; poll < 3; ++poll) frames.push_back({1, 1, "big.bin", false, 3, 10});
  ScriptedWatch watch(Frame{}, frames);
  Shown shown = RunTransfer(watch, Settings(true, false, 2));
  EXPECT_EQ(shown.out,
            "\nFile name big.bin\nStarting"
            "\rTransfer file   Block 3 of 10     "
            "\rBackup   Complete                        ");
}

// A file found on the service travels nothing: its size leaves the total. The line gains
// the rate once it is measured, and the time left once the bytes have moved a few seconds.
TEST_F(ProgressDisplay, TheMeterCountsWhatTravelsAndEstimatesTheTimeLeft) {
  std::vector<Frame> frames(2, Frame{1, 4, "a.txt", false, 0, 0, 0});
  for (int poll = 0; poll < 1000; ++poll)
    frames.push_back({2, 1, "b.bin", false, poll / 100, 10, 0});
  frames.push_back({2, 1, "b.bin", false, 10, 10, 1});
  ScriptedWatch watch(Frame{}, frames);
  TransferMeter meter(WorkCount{2, 4096 + 20480}, 2048, [](const std::string& path) {
    return std::optional<int64_t>(path == "a.txt" ? 4096 : 20480);
  });
  DisplaySettings settings = Settings(true, false, 100);
  settings.meter = &meter;
  Shown shown = RunTransfer(watch, settings);

  // 2048 bytes every 100 polls of 5 ms: 4 KB/s; the estimate appears 3 s after the first.
  const size_t rate = shown.out.find("KB/s");
  const size_t left = shown.out.find(" s left");
  ASSERT_NE(rate, std::string::npos) << shown.out;
  ASSERT_NE(left, std::string::npos) << shown.out;
  EXPECT_LT(shown.out.find("\r", rate), left) << "the first redraws have no estimate";
  EXPECT_NE(shown.out.find("Block 7 of 10     4.0 KB/s, "), std::string::npos) << shown.out;

  const TransferReading reading = meter.Reading(clock_.MonotonicMillis());
  EXPECT_EQ(reading.files_done, 2);
  EXPECT_EQ(reading.files_total, 2);
  EXPECT_EQ(reading.bytes_total, 20480);
  EXPECT_EQ(reading.bytes_done, 20480);
}

TEST_F(ProgressDisplay, RedrawsFollowThePhase) {
  struct Case {
    int32_t phase;
    int32_t total_blocks;
    const char* redraw;
  };
  const Case cases[] = {
      {1, 0, "\rTransfer file   "},
      {2, 4, "\rTransfer file   Block 2 of 4     "},
      {3, 4, "\rUpdating file    Block 2 of 4     "},
      {4, 4, "\rSkipping file        "},
      {5, 0, "\rBackup Fail ( File in use)        "},
      {6, 0, "\rGetting Server Information about file        "},
      {7, 0, "\rCompressing file   |                          "},
      {8, 0, "\rUncompressing file   |                          "},
      {9, 0, "\rDetermining file changes since last Backup                           "},
      {10, 0, "\rProcessing changes since last Backup                           "},
      {0, 0, "\r                               "},
      {11, 0, "\r                               "},
  };
  for (const Case& c : cases) {
    // The file is seen, then two unchanged polls pass an interval of 1.
    std::vector<Frame> frames(3, Frame{1, c.phase, "f", false, 2, c.total_blocks});
    ScriptedWatch watch(Frame{}, frames);
    Shown shown = RunTransfer(watch, Settings(true, false, 1));
    std::string expected_start = std::string("\nFile name f\nStarting") + c.redraw;
    EXPECT_EQ(shown.out.substr(0, expected_start.size()), expected_start) << c.phase;
  }
}

TEST_F(ProgressDisplay, NoBlockTextBeforeTheFirstFileOfAPass) {
  // The sequence is 0 (a folder pass started): no block numbers, whatever the counts say.
  std::vector<Frame> frames(3, Frame{0, 1, "f", false, 2, 9});
  ScriptedWatch watch(Frame{}, frames);
  Shown shown = RunTransfer(watch, Settings(true, false, 1));
  EXPECT_EQ(shown.out, "\rTransfer file   ");
}

TEST_F(ProgressDisplay, TheSpinnerTurnsWhileALargeFileIsCompressed) {
  std::vector<Frame> frames(7, Frame{1, 7, "big.pst"});
  ScriptedWatch watch(Frame{}, frames);
  Shown shown = RunTransfer(watch, Settings(true, false, 0));
  std::string expected = "\nFile name big.pst\nStarting";
  for (char frame : std::string("|/-\\||")) {  // five frames, then again from the first
    expected += std::string("\rCompressing file   ") + frame + "                          ";
  }
  EXPECT_EQ(shown.out.substr(0, expected.size()), expected);
}

TEST_F(ProgressDisplay, LinesAreFinishedByPhase) {
  struct Case {
    int32_t phase;
    const char* in_loop;
    const char* at_end;
  };
  const Case cases[] = {
      {1, "\rBackup   Complete                              ",
       "\rBackup   Complete                        "},
      {2, "\rBackup   Complete                              ",
       "\rBackup   Complete                        "},
      {3, "\rUpdating file     Complete              ",
       "\rUpdating file     Complete              "},
      {4, "\rSkipping File               ", "\rSkipping File                            "},
      {5, "\rBackup Failed ( File in use) ", "\rBackup Fail ( File in use)       "},
      {6, "\r                               ", "\r                                           "},
  };
  for (const Case& c : cases) {
    std::vector<Frame> frames = {{1, 1, "a"}, {2, c.phase, "b"}};
    ScriptedWatch watch(Frame{}, frames);
    Shown shown = RunTransfer(watch, Settings(true, false));
    EXPECT_EQ(shown.out, std::string("\nFile name a\nStarting") + c.in_loop +
                             "\nFile name b\nStarting" + c.at_end)
        << c.phase;
  }
}

TEST_F(ProgressDisplay, TheCleanSpinnerTurnsOnlyWithProgress) {
  for (bool progress : {true, false}) {
    ScriptedWatch watch(Frame{}, std::vector<Frame>(7, Frame{}));
    std::ostringstream out;
    std::ostringstream err;
    Console console(out, err);
    RunCleanSpinner(watch, Settings(progress, false, 1), console);
    std::string expected;
    if (progress) {
      for (char frame : std::string("|/-")) {
        expected += std::string("\rClean NVX Processing   ") + frame + "                          ";
      }
    }
    EXPECT_EQ(out.str(), expected) << progress;
  }
}

}  // namespace
}  // namespace nvx
