#include "stdfx/Critical_Section.h"

#include <gtest/gtest.h>

#include <thread>
#include <type_traits>
#include <vector>

namespace {

using stdfx::Critical_Section;

static_assert(!std::is_copy_constructible_v<Critical_Section> &&
              !std::is_copy_assignable_v<Critical_Section>);

TEST(Critical_Section, OwnerMayReenterAndOthersAreExcluded) {
  // Unsynchronised increments of a plain int would lose updates; under the
  // lock (taken twice: the owner may re-enter) every one counts.
  Critical_Section lock;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        lock.acquire();
        lock.acquire();
        ++counter;
        lock.release();
        lock.release();
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 4 * 20000);
}

}  // namespace
