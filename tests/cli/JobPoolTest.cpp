#include "host/cli/CliError.h"
#include "host/cli/JobPool.h"
#include "host/cli/Progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>

namespace mattix::cli {
namespace {

struct Recorder {
  std::vector<long> sunk;
  std::vector<long> values;
  std::vector<long> sourced;
  long maxAhead = 0;
  std::atomic<long> sunkCount{0};  // read by the source's thread
};

// Runs n items (n < 0: the source ends at -n but says so only by nullopt)
// where work(i) = i * i after a pseudo-random pause, failing where asked.
void RunItems(int jobs, long n, Recorder& rec, long failSourceAt = -1,
              std::vector<long> failWorkAt = {}, long failSinkAt = -1) {
  std::atomic<int> inSource{0};
  std::function<std::optional<long>(long)> source = [&](long i) -> std::optional<long> {
    EXPECT_EQ(inSource.fetch_add(1), 0) << "source called concurrently";
    rec.sourced.push_back(i);
    rec.maxAhead = std::max(rec.maxAhead, i - rec.sunkCount.load());
    inSource.fetch_sub(1);
    if (i == failSourceAt) throw CliError("source failed at " + std::to_string(i));
    if (i >= n) return std::nullopt;
    return i;
  };
  std::function<long(long, long&&)> work = [&](long i, long&& v) {
    std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 13 * 150));
    for (long f : failWorkAt)
      if (i == f) throw CliError("work failed at " + std::to_string(i));
    return v * v;
  };
  std::function<void(long, long&&)> sink = [&](long i, long&& v) {
    if (i == failSinkAt) throw std::runtime_error("sink failed at " + std::to_string(i));
    rec.sunk.push_back(i);
    rec.values.push_back(v);
    rec.sunkCount.fetch_add(1);
  };
  RunOrdered<long, long>(jobs, source, work, sink);
}

class JobPoolTest : public ::testing::TestWithParam<int> {};

TEST_P(JobPoolTest, ResultsArriveInOrderWithBoundedLookAhead) {
  const int jobs = GetParam();
  Recorder rec;
  RunItems(jobs, 40, rec);
  ASSERT_EQ(rec.sunk.size(), 40u);
  for (long i = 0; i < 40; ++i) {
    EXPECT_EQ(rec.sunk[std::size_t(i)], i);
    EXPECT_EQ(rec.values[std::size_t(i)], i * i);
  }
  // The source saw 0..40 in order (40 is where it said it had ended).
  for (std::size_t i = 0; i < rec.sourced.size(); ++i) EXPECT_EQ(rec.sourced[i], long(i));
  EXPECT_EQ(rec.sourced.back(), 40);
  EXPECT_LE(rec.maxAhead, 2L * jobs);
}

TEST_P(JobPoolTest, EmptySource) {
  Recorder rec;
  RunItems(GetParam(), 0, rec);
  EXPECT_TRUE(rec.sunk.empty());
}

struct FailCase {
  const char* label;
  long failSource;
  std::vector<long> failWork;
  long expectedSunk;
  const char* message;
};

TEST_P(JobPoolTest, FailureSinksEverythingBeforeTheFirstFailingItemOnly) {
  const int jobs = GetParam();
  const FailCase cases[] = {
      {"work", -1, {7}, 7, "work failed at 7"},
      {"work twice", -1, {9, 5}, 5, "work failed at 5"},
      {"work first item", -1, {0}, 0, "work failed at 0"},
      {"source", 11, {}, 11, "source failed at 11"},
      {"source after work", 12, {3}, 3, "work failed at 3"},
  };
  for (const FailCase& c : cases) {
    Recorder rec;
    try {
      RunItems(jobs, 30, rec, c.failSource, c.failWork);
      ADD_FAILURE() << c.label << ": no error";
    } catch (const CliError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.label;
    }
    ASSERT_EQ(long(rec.sunk.size()), c.expectedSunk) << c.label << " jobs " << jobs;
    for (long i = 0; i < c.expectedSunk; ++i) EXPECT_EQ(rec.sunk[std::size_t(i)], i);
  }
}

TEST_P(JobPoolTest, FailingSinkStopsEverything) {
  Recorder rec;
  try {
    RunItems(GetParam(), 30, rec, -1, {}, 4);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "sink failed at 4");
  }
  EXPECT_EQ(rec.sunk, (std::vector<long>{0, 1, 2, 3}));
  EXPECT_LE(long(rec.sourced.size()), 4 + 1 + 2L * GetParam());
}

INSTANTIATE_TEST_SUITE_P(Jobs, JobPoolTest, ::testing::Values(1, 2, 3, 8));

struct FormatCase {
  long done;
  long total;
  double elapsed;
  const char* text;
};

TEST(Progress, FormatTable) {
  const FormatCase cases[] = {
      {12, 100, 0.5, "frame 12/100  24.0 fps  0:04 left"},  // 88 / 24 = 3.7 s
      {0, 100, 1.0, "frame 0/100  -- fps"},
      {50, -1, 2.0, "frame 50  25.0 fps"},
      {100, 100, 4.0, "frame 100/100  25.0 fps"},
      {1, 10000, 1.0, "frame 1/10000  1.0 fps  2:46:39 left"},  // 9999 s
      {30, 90, 60.0, "frame 30/90  0.5 fps  2:00 left"},
  };
  for (const FormatCase& c : cases)
    EXPECT_EQ(ProgressLine::Format(c.done, c.total, c.elapsed), c.text);
}

TEST(Progress, RedrawsAtMostFourTimesASecondAndOnlyWhenEnabled) {
  double now = 10.0;
  std::vector<std::string> lines;
  auto clock = [&] { return now; };
  auto writer = [&](const std::string& s) { lines.push_back(s); };
  {
    ProgressLine off(5, false, clock, writer);
    off.Update(1);
    off.Finish();
    EXPECT_TRUE(lines.empty());
  }
  ProgressLine line(5, true, clock, writer);
  const double times[] = {10.1, 10.2, 10.4, 10.5, 10.55};
  for (long done = 1; done <= 5; ++done) {
    now = times[done - 1];
    line.Update(done);
  }
  // Drawn at 10.1, 10.4 (0.3 s later) and at the last frame.
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "\rframe 1/5  10.0 fps  0:01 left\x1b[K");
  EXPECT_EQ(lines[2], "\rframe 5/5  9.1 fps\x1b[K");
  line.Finish();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3].back(), '\n');
}

}  // namespace
}  // namespace mattix::cli
