#include "recovery/job_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <stdexcept>

#include "recovery/run_commands.h"
#include "storage/database_file.h"
#include "support/catalog_image.h"
#include "support/recording_sink.h"
#include "support/recording_view.h"
#include "support/synthetic.h"
#include "support/tree_dump.h"

namespace ravelin {
namespace {

using namespace testing;
using namespace std::chrono_literals;

// Generous: only a broken runner ever waits this long.
constexpr auto kPatience = 60s;

// Waits until `flag` is set or the patience runs out.
bool WaitFor(const std::atomic<bool>& flag) {
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (!flag.load() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  return flag.load();
}

TEST(JobRunner, OneJobAtATimeAndAStoppedJobEndsBeforeTheNextBegins) {
  RecoverySettings settings;
  JobRunner runner(settings);
  std::atomic<bool> aRunning{false}, aEnded{false}, bStarted{false}, bSawAEnded{false}, bSawStop{true};
  std::atomic<bool> releaseB{false};

  ASSERT_TRUE(runner.Start([&](JobToken& token) {
    aRunning = true;
    WaitFor(settings.stopRequested);
    // Ends some time after the stop, as a worker between two polls does.
    std::this_thread::sleep_for(20ms);
    aEnded = true;
    token.EndJob();
  }));
  ASSERT_TRUE(WaitFor(aRunning));
  std::atomic<bool> refusedRan{false};
  EXPECT_FALSE(runner.Start([&](JobToken&) { refusedRan = true; }));
  EXPECT_EQ(settings.busy.load(), 1);

  ASSERT_TRUE(runner.Stop());
  EXPECT_EQ(settings.busy.load(), 0);
  EXPECT_TRUE(settings.stopRequested.load());
  ASSERT_TRUE(runner.Start([&](JobToken& token) {
    bSawAEnded = aEnded.load();
    bSawStop = settings.stopRequested.load();
    bStarted = true;
    WaitFor(releaseB);
    token.EndJob();
  }));
  ASSERT_TRUE(WaitFor(bStarted));
  // The stopped job ended after the new one was started: the new one still
  // owns the flag, and a third job is refused.
  EXPECT_EQ(settings.busy.load(), 1);
  EXPECT_FALSE(runner.Start([&](JobToken&) { refusedRan = true; }));
  EXPECT_FALSE(runner.RunInline([&] { refusedRan = true; }));
  releaseB = true;
  runner.Wait();
  EXPECT_TRUE(bSawAEnded.load());
  EXPECT_FALSE(bSawStop.load());
  EXPECT_FALSE(refusedRan.load());
  EXPECT_EQ(settings.busy.load(), 0);
  EXPECT_FALSE(runner.Stop());
}

TEST(JobRunner, StopWhileWaitingReachesTheWaitingJob) {
  RecoverySettings settings;
  JobRunner runner(settings);
  std::atomic<bool> releaseA{false}, bSawStop{false};
  ASSERT_TRUE(runner.Start([&](JobToken&) { WaitFor(releaseA); }));
  ASSERT_TRUE(runner.Stop());
  ASSERT_TRUE(runner.Start([&](JobToken&) { bSawStop = settings.stopRequested.load(); }));
  // Stopped before it began, it begins with the request still set.
  ASSERT_TRUE(runner.Stop());
  // The stopped workers have not ended: nothing runs on this thread either.
  EXPECT_FALSE(runner.RunInline([] {}));
  releaseA = true;
  runner.Wait();
  EXPECT_TRUE(bSawStop.load());

  // A job that throws still ends.
  ASSERT_TRUE(runner.Start([](JobToken&) { throw std::runtime_error("lost"); }));
  runner.Wait();
  EXPECT_EQ(settings.busy.load(), 0);
  EXPECT_TRUE(runner.RunInline([] {}));
}

// Holds the worker at its first progress position of the mapping pass
// until the test has acted.
class PausingSink : public RecordingSink {
 public:
  void SetStatusText(const std::string& text) override {
    RecordingSink::SetStatusText(text);
    mapping_ = text == kTextMapping;
  }
  void SetProgressPos(int64_t position) override {
    RecordingSink::SetProgressPos(position);
    if (!mapping_ || position == 0 || paused_.exchange(true)) return;
    reached = true;
    WaitFor(resume);
  }

  std::atomic<bool> reached{false};
  std::atomic<bool> resume{false};
  // A whole pass gives about a hundred.
  int MappingPositions() const {
    int n = 0;
    bool inMapping = false;
    for (const Event& e : events()) {
      if (e.kind == 'S') inMapping = e.text == kTextMapping;
      if (e.kind == 'P' && inMapping) ++n;
    }
    return n;
  }

 private:
  bool mapping_ = false;
  std::atomic<bool> paused_{false};
};

TEST(JobRunner, StopDuringMappingOfALargeFileKeepsThePagesMappedSoFar) {
  TempDir dir;
  const std::string path = dir.Write("large.mdf", SmallCatalogImage().Build());
  // The catalog's pages first, then half a gigabyte of (sparse) zeros.
  constexpr uint64_t kPages = 65536;
  std::filesystem::resize_file(path, kPages * kPageSize);

  RecoverySettings settings;
  RecordingView view;
  RecoveryState state(settings, view);
  PausingSink front;
  ActivityLog log;
  LoggingSink sink(front, log);
  JobRunner runner(settings);
  std::atomic<bool> firstDone{false}, firstCompleted{false}, secondSawFirstDone{false}, secondSawStop{true};
  const OpenChoice choice{.dataFilePath = path, .logFolder = dir.path()};
  ASSERT_EQ(StartOpenRun(runner, state, sink, choice,
                         [&](bool completed) {
                           firstCompleted = completed;
                           firstDone = true;
                         }),
            "");
  EXPECT_EQ(StartOpenRun(runner, state, sink, choice), kTextPleaseWait);

  ASSERT_TRUE(WaitFor(front.reached));
  ASSERT_TRUE(runner.Stop());
  ASSERT_TRUE(runner.Start([&](JobToken&) {
    secondSawFirstDone = firstDone.load();
    secondSawStop = settings.stopRequested.load();
  }));
  front.resume = true;
  runner.Wait();

  EXPECT_TRUE(secondSawFirstDone.load());
  EXPECT_FALSE(secondSawStop.load());
  // The mapping ended at the stop; the catalog pages lay before it, so the
  // scan went on with them.
  EXPECT_LE(front.MappingPositions(), 3);
  EXPECT_TRUE(firstCompleted.load());
  EXPECT_NE(DumpTree(state.tree).find("      dbo.Customers *\n"), std::string::npos);
  EXPECT_EQ(front.Texts('E'), std::vector<std::string>{});
}

}  // namespace
}  // namespace ravelin
