// The job pool: results in order with bounded look-ahead, and failures that
// sink exactly the items before the first failing one, whatever the number
// of jobs; and the progress line's text.
#include "host/cli/CliError.h"
#include "host/cli/JobPool.h"
#include "host/cli/Progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <stdexcept>

namespace mattix::cli {
namespace {

struct PoolRun {
  std::vector<long> sunk, values, sourced;
  long maxAhead = 0;
  std::string error;
};

// Items 0..n-1, work(i) = i * i after an uneven pause, failing where asked;
// the source says it has ended at n.
PoolRun RunItems(int jobs, long n, long failSourceAt, std::vector<long> failWorkAt,
                 long failSinkAt) {
  PoolRun run;
  std::atomic<long> sunkCount{0};
  std::atomic<int> inSource{0};
  try {
    RunOrdered<long, long>(
        jobs,
        [&](long i) -> std::optional<long> {
          EXPECT_EQ(inSource.fetch_add(1), 0) << "source called concurrently";
          run.sourced.push_back(i);
          run.maxAhead = std::max(run.maxAhead, i - sunkCount.load());
          inSource.fetch_sub(1);
          if (i == failSourceAt) throw CliError("source failed at " + std::to_string(i));
          return i < n ? std::optional<long>(i) : std::nullopt;
        },
        [&](long i, long&& v) {
          std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 13 * 150));
          if (std::count(failWorkAt.begin(), failWorkAt.end(), i))
            throw CliError("work failed at " + std::to_string(i));
          return v * v;
        },
        [&](long i, long&& v) {
          if (i == failSinkAt) throw std::runtime_error("sink failed at " + std::to_string(i));
          run.sunk.push_back(i);
          run.values.push_back(v);
          sunkCount.fetch_add(1);
        });
  } catch (const std::exception& e) {
    run.error = e.what();
  }
  return run;
}

std::vector<long> Iota(long n) {
  std::vector<long> v(static_cast<std::size_t>(n));
  std::iota(v.begin(), v.end(), 0L);
  return v;
}

TEST(JobPool, ResultsInOrderAndFailuresDeterministic) {
  const struct {
    long failSource;
    std::vector<long> failWork;
    long failSink;
    long sunk;
    const char* error;
  } cases[] = {{-1, {}, -1, 40, ""},
               {-1, {7}, -1, 7, "work failed at 7"},
               {-1, {9, 5}, -1, 5, "work failed at 5"},  // the lowest index wins
               {-1, {0}, -1, 0, "work failed at 0"},
               {11, {}, -1, 11, "source failed at 11"},
               {12, {3}, -1, 3, "work failed at 3"},
               {-1, {}, 4, 4, "sink failed at 4"}};
  for (int jobs : {1, 3, 8}) {
    for (const auto& c : cases) {
      const PoolRun run = RunItems(jobs, 40, c.failSource, c.failWork, c.failSink);
      EXPECT_EQ(run.error, c.error) << "jobs " << jobs;
      EXPECT_EQ(run.sunk, Iota(c.sunk)) << c.error << ", jobs " << jobs;
      EXPECT_LE(run.maxAhead, 2L * jobs);
      if (c.sunk == 40) {
        EXPECT_EQ(run.sourced, Iota(41));  // 40 is where the source said it had ended
        for (long i = 0; i < 40; ++i) EXPECT_EQ(run.values[std::size_t(i)], i * i);
      }
    }
    EXPECT_TRUE(RunItems(jobs, 0, -1, {}, -1).sunk.empty());
  }
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

}  // namespace
}  // namespace mattix::cli
