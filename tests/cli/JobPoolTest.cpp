// The job pool: results in order with bounded look-ahead, and failures that
// sink exactly the items before the first failing one, whatever the number
// of jobs; and the progress line's text.
#include "host/cli/CliError.h"
#include "host/cli/JobPool.h"
#include "host/cli/Progress.h"

#include <gtest/gtest.h>

#include <cmath>

#include <atomic>
#include <chrono>
#include <stdexcept>

namespace mattix::cli {
namespace {

TEST(JobPool, ResultsInOrderAndFailuresDeterministic) {
  const struct {
    long failSource, failSink;
    std::vector<long> failWork;
    long sunk;
    std::string error;
  } cases[] = {// clang-format off
      {-1, -1, {}, 40, ""}, {-1, -1, {7}, 7, "work failed at 7"},
      // The lowest index wins, whether it fails last (9, 5) or first (2, 6).
      {-1, -1, {9, 5}, 5, "work failed at 5"}, {-1, -1, {2, 6}, 2, "work failed at 2"},
      {-1, -1, {0}, 0, "work failed at 0"}, {11, -1, {}, 11, "source failed at 11"},
      {12, -1, {3}, 3, "work failed at 3"}, {-1, 4, {}, 4, "sink failed at 4"}};
  // clang-format on
  for (int jobs : {1, 3, 8})
    for (const auto& c : cases) {
      // Items 0 to 39 (the source says it has ended at 40); work(i) = i * i
      // after an uneven pause (item 9 ends before 5, 2 before 6); each step
      // fails where the case says.
      std::atomic<long> sunk{0};
      std::atomic<int> inSource{0};
      long sourced = 0;
      std::string error;
      try {
        RunOrdered<long, long>(
            jobs,
            [&](long i) -> std::optional<long> {
              EXPECT_EQ(inSource.fetch_add(1), 0) << "source called concurrently";
              EXPECT_EQ(i, sourced++) << "source called out of order";
              EXPECT_LE(i - sunk.load(), 2L * jobs) << "too many items in flight";
              std::this_thread::sleep_for(std::chrono::microseconds(50));  // a window for races
              inSource.fetch_sub(1);
              if (i == c.failSource) throw CliError("source failed at " + std::to_string(i));
              return i < 40 ? std::optional<long>(i) : std::nullopt;
            },
            [&](long i, long&& v) {
              std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 13 * 150));
              if (std::count(c.failWork.begin(), c.failWork.end(), i))
                throw CliError("work failed at " + std::to_string(i));
              return v * v;
            },
            [&](long i, long&& v) {
              if (i == c.failSink) throw std::runtime_error("sink failed at " + std::to_string(i));
              EXPECT_EQ(i, sunk.load()) << "sunk out of order";
              EXPECT_EQ(v, i * i);
              sunk.fetch_add(1);
            });
      } catch (const std::exception& e) {
        error = e.what();
      }
      EXPECT_EQ(error, c.error) << "jobs " << jobs;
      EXPECT_EQ(sunk.load(), c.sunk) << c.error << ", jobs " << jobs;
      EXPECT_TRUE(c.sunk < 40 || sourced == 41) << sourced;  // at 40 the source said it ended
    }
}

// Two frames in flight per job, 32 bytes a pixel each, within half of the
// memory: the expected counts worked out by hand.
TEST(JobPool, JobsAreLoweredToFitTheMemory) {
  constexpr std::uint64_t GiB = std::uint64_t(1) << 30;
  const struct {
    int jobs, width, height;
    std::uint64_t memory;
    int expected;
  } cases[] = {{8, 1920, 1080, 16 * GiB, 8},  // 132 MB a job, 8 GiB to spend
               {8, 8192, 8192, 16 * GiB, 2},  // 4 GiB a job
               {8, 8192, 8192, 15 * GiB, 1},  {8, 8192, 8192, 4 * GiB, 1},
               {3, 16384, 4096, 64 * GiB, 3}, {5, 8192, 4320, 0, 5},  // memory unknown
               {256, 4, 4, 1 * GiB, 256}};
  for (const auto& c : cases)
    EXPECT_EQ(JobsWithinMemory(c.jobs, c.width, c.height, c.memory), c.expected)
        << c.jobs << " jobs, " << c.width << " x " << c.height;
  EXPECT_GT(PhysicalMemoryBytes(), 0u);
}

TEST(Progress, Format) {
  const struct {
    long done, total;
    double elapsed;
    const char* text;
  } cases[] = {{12, 100, 0.5, "frame 12/100  24.0 fps  0:04 left"},  // 88 / 24 = 3.7 s
               {0, 100, 1.0, "frame 0/100  -- fps"},
               {50, -1, 2.0, "frame 50  25.0 fps"},
               {1, 10000, 1.0, "frame 1/10000  1.0 fps  2:46:39 left"},  // 9999 s
               {30, 90, 60.0, "frame 30/90  0.5 fps  2:00 left"}};
  for (const auto& c : cases) EXPECT_EQ(ProgressLine::Format(c.done, c.total, c.elapsed), c.text);
}

// Every state is drawn once: the quick second update is skipped, the last
// frame is drawn, Finish only ends the line; a line left by an error ends.
TEST(Progress, EachStateDrawnOnceAndTheLineEnded) {
  double now = 0;
  std::string text;
  {
    ProgressLine line(
        3, true, [&] { return now; }, [&](const std::string& t) { text += t; });
    for (const double at : {1.0, 1.1, 1.2}) {
      now = at;
      line.Update(long(std::lround((at - 0.9) * 10)));
    }
    line.Finish();
  }
  EXPECT_EQ(text, "\rframe 1/3  1.0 fps  0:02 left\x1b[K\rframe 3/3  2.5 fps\x1b[K\n");
  text.clear();
  {
    ProgressLine line(
        3, true, [&] { return now; }, [&](const std::string& t) { text += t; });
    line.Update(1);
  }
  EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace mattix::cli
