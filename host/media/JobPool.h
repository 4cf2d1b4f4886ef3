#pragma once
// Ordered parallel processing of frames for --jobs N.
//
// RunOrdered pulls items from `source` one at a time and in index order
// (0, 1, 2 ...; serially, so a source may read a stream), hands each to
// `work` on one of `jobs` threads, and passes the results to `sink` on the
// calling thread in index order. At most 2 x jobs items are in flight, so
// memory stays bounded however fast the source is.
//
// Failure is deterministic: when source or work fails for item i, every item
// before i is still completed and sunk, nothing after i is sunk, and the
// exception of the lowest failing index is rethrown once all threads have
// stopped. A failing sink stops everything and its exception is rethrown.
// So what reaches the sink never depends on the number of jobs.
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mattix::media {

// The most jobs --jobs accepts: far above any processor count this runs on,
// low enough that 2 x jobs frames in flight stay within memory.
inline constexpr int kMaxJobs = 256;

// The number of processors available to this process (1 to kMaxJobs).
int DefaultJobCount();

// Memory one job of a render holds at most, per pixel of its frames. The 2 x
// jobs items in flight are at most one frame being keyed and one waiting
// for the writer per job:
//   - the frame being keyed: its decoded input (4 bytes a pixel), while the
//     effect runs the effect's copy of it (4) and the keyed frame (4); then
//     the input, the keyed frame and the encoded forms of the keyed frame,
//     the matte and the preview (8 each at most: a video frame in the
//     encoder's pixels, ProRes's 10-bit Y'CbCrA; a PNG is at most 4) and
//     the one being encoded, twice (a PNG encoder's buffer and its result:
//     8): 40;
//   - the frame waiting for the writer: its three encoded outputs, 24.
// (A sequence frame's file is read and decoded before any of these exist.)
inline constexpr std::uint64_t kBytesPerPixelPerJob = 40 + 24;
// What a deep input adds (DeepKey.h): the input and the keyed frame at full
// precision (16 each), their 16-bit samples or OpenEXR's premultiplied copy
// for the encoder (16), and the keyed output's encoded form, up to float
// OpenEXR's 16 more than the 8 counted above, in both items: 64.
inline constexpr std::uint64_t kDeepBytesPerPixelPerJob = 64;
// And, whatever the frame size: the job's effect instance, which decodes the
// mask record for every frame and blurs a copy of it. A project's record is
// the wheel's 241 x 209 mask (projects refuse any other), so this is about
// 0.1 MiB; counted as 1 MiB.
inline constexpr std::uint64_t kBytesPerJob = std::uint64_t(1) << 20;
// What the process holds once for all its jobs, at most: the key's colour
// table (64 MiB in its spill form, ColourTable.h), and a video's reader's
// and writer's conversion tables (64 MiB each, internal/YuvTable.h and
// YuvaTable.h).
inline constexpr std::uint64_t kSharedBytes = std::uint64_t(192) << 20;

// What one job keying frames of width x height holds at most (above);
// `deep`: the input has more than 8 bits a sample.
std::uint64_t BytesPerJob(int width, int height, bool deep = false);

// The jobs a render of width x height frames may run so that what they hold,
// with kSharedBytes, takes at most half of `memoryBytes`: `jobs`, lowered as
// far as needed, never below 1.
int JobsWithinMemory(int jobs, int width, int height, std::uint64_t memoryBytes, bool deep = false);

// The machine's physical memory in bytes (0 when unknown).
std::uint64_t PhysicalMemoryBytes();

template <class In, class Out>
void RunOrdered(int jobs, const std::function<std::optional<In>(long)>& source,
                const std::function<Out(long, In&&)>& work,
                const std::function<void(long, Out&&)>& sink) {
  if (jobs < 1) jobs = 1;
  const long window = 2L * jobs;
  std::mutex sourceMutex;  // serialises source calls; taken before `m`
  std::mutex m;
  std::condition_variable cv;
  long nextIndex = 0;         // next index to take from the source
  long nextSink = 0;          // next index to hand to the sink
  long total = LONG_MAX;      // number of items, once the source has ended
  long failIndex = LONG_MAX;  // lowest index whose source or work failed
  std::exception_ptr failure;
  bool sinkFailed = false;
  std::map<long, Out> done;

  auto fail = [&](long i, std::exception_ptr e) {  // with `m` held
    if (i < failIndex) {
      failIndex = i;
      if (!sinkFailed) failure = e;
    }
  };

  auto worker = [&] {
    for (;;) {
      std::unique_lock<std::mutex> sourceLock(sourceMutex);
      std::unique_lock<std::mutex> lock(m);
      cv.wait(lock, [&] {
        return sinkFailed || nextIndex >= failIndex || nextIndex >= total ||
               nextIndex < nextSink + window;
      });
      if (sinkFailed || nextIndex >= failIndex || nextIndex >= total) return;
      const long i = nextIndex;
      lock.unlock();
      std::optional<In> in;
      try {
        in = source(i);
      } catch (...) {
        lock.lock();
        fail(i, std::current_exception());
        cv.notify_all();
        return;
      }
      lock.lock();
      if (!in) {
        total = i;
        cv.notify_all();
        return;
      }
      ++nextIndex;
      lock.unlock();
      sourceLock.unlock();
      try {
        Out out = work(i, std::move(*in));
        lock.lock();
        done.emplace(i, std::move(out));
      } catch (...) {
        lock.lock();
        fail(i, std::current_exception());
      }
      cv.notify_all();
    }
  };

  std::vector<std::thread> threads;
  threads.reserve(std::size_t(jobs));
  for (int t = 0; t < jobs; ++t) threads.emplace_back(worker);

  {
    std::unique_lock<std::mutex> lock(m);
    for (;;) {
      cv.wait(lock,
              [&] { return done.count(nextSink) || nextSink >= failIndex || nextSink >= total; });
      auto it = done.find(nextSink);
      if (it == done.end()) break;
      Out out = std::move(it->second);
      done.erase(it);
      lock.unlock();
      try {
        sink(nextSink, std::move(out));
      } catch (...) {
        lock.lock();
        sinkFailed = true;
        failure = std::current_exception();
        cv.notify_all();
        break;
      }
      lock.lock();
      ++nextSink;
      cv.notify_all();
    }
  }
  for (std::thread& t : threads) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace mattix::media
