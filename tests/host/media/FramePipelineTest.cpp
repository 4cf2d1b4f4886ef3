// Frames in and out. Sequence patterns against printf and the frames found
// on disk; the preview kernel against its reference and the matte; then
// renders: matte and preview, the same files for any number of jobs, broken
// frames named with nothing after them written (no video either), and one
// video round trip;
// child processes, and video errors through ffmpeg. Output safety: a
// temporary beside the output renamed into place, nothing left behind when
// abandoned or interrupted, no overwrite without --force (also at the
// rename), and never an input as output, however spelt. The job pool:
// results in order with bounded look-ahead, and failures that sink exactly
// the items before the first failing one, whatever the number of jobs; and
// the progress line's text.
#include "host/base/FileBytes.h"
#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/base/OutputLock.h"
#include "host/media/Composite.h"
#include "host/media/FramePipeline.h"
#include "host/media/FrameSequence.h"
#include "host/media/FrameWriter.h"
#include "host/media/JobPool.h"
#include "host/media/PngFile.h"
#include "host/media/Progress.h"
#include "host/media/Subprocess.h"
#include "tests/host/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <tuple>

namespace mattix::media {
namespace {

using test::ErrorOf, test::Listing;
namespace fs = std::filesystem;

TEST(FrameSequence, PatternsNameFramesAsPrintfDoes) {
  const struct {
    const char* pattern;
    long number;
  } cases[] = {{"shot_%04d.png", 7}, {"shot_%04d.png", 12345}, {"dir/f%d.png", 0},
               {"/abs/x%09dy", 123}, {"100%%_%02d.png", 5},    {"f%d", 42}};
  for (const auto& c : cases) {
    char expected[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(expected, sizeof expected, c.pattern, int(c.number));
#pragma GCC diagnostic pop
    EXPECT_EQ(FrameName(ParseSequencePattern(c.pattern).value(), c.number), expected);
  }
  for (const char* plain : {"plain.png", "50%%.png"}) EXPECT_FALSE(ParseSequencePattern(plain));
  // A width must be zero-padded ("%1d" is refused), and one placeholder only.
  for (const char* path : {"a%s.png", "a%1d.png", "a%00d.png", "a%010d.png", "a%d_%d.png", "a%",
                           "dir%d/x.png", "a%0d.png", "a%-4d.png"})
    EXPECT_TRUE(test::Throws([&] { ParseSequencePattern(path); }, path)) << path;
}

TEST(FrameSequence, ExpandListsCanonicalNamesAndRefusesGaps) {
  test::TempDir dir;
  for (const char* n :
       {"shot_0003.png",  "shot_0004.png", "shot_0005.png", "shot_0006.png",  "shot_3.png",
        "shot_00002.png", "shot_0002.jpg", "shot_000x.png", "other_0001.png", "f98.png",
        "f99.png",        "f100.png",      "f0101.png",     "a_000.png",      "a_001.png",
        "g_0.png",        "g_2.png",       "g_3.png",       "h_1.png",        "h_3.png",
        "h_5.png",        "h_7.png",       "h_9.png",       "h_11.png",       "h_13.png"})
    dir.Write(n, std::string("x"));
  std::filesystem::create_directory(dir / "shot_0001.png");  // a folder is not a frame
  const FrameList list = ExpandSequence(dir / "shot_%04d.png");
  EXPECT_EQ(list.numbers, (std::vector<long>{3, 4, 5, 6}));
  EXPECT_EQ(std::pair(list.paths.front(), list.paths.back()),
            std::pair(dir / "shot_0003.png", dir / "shot_0006.png"));
  // With %02d, 100 is canonical too (printf writes it in full); 0101 is not.
  EXPECT_EQ(ExpandSequence(dir / "f%02d.png").numbers, (std::vector<long>{98, 99, 100}));
  EXPECT_EQ(ExpandSequence(dir / "a_%03d.png").numbers, (std::vector<long>{0, 1}));
  const std::pair<std::string, std::string> refused[] = {
      {dir / "none_%04d.png", "no frame of this sequence exists"},
      {dir / "nofolder/x_%04d.png", "cannot list folder"},
      {dir / "g_%d.png",
       "the sequence has a gap: frame " + dir / "g_1.png is missing between frames 0 and 3"},
      {dir / "h_%d.png", "the sequence has a gap: frames " + dir / "h_2.png, " + dir / "h_4.png, " +
                             dir / "h_6.png, " + dir / "h_8.png, " +
                             dir / "h_10.png and 1 more are missing"}};
  for (const auto& [pattern, message] : refused) {
    const std::string error = ErrorOf([&, &p = pattern] { ExpandSequence(p); });
    EXPECT_EQ(error.rfind(pattern + ": " + message, 0), 0u) << error;
  }
}

TEST(Composite, PreviewKernelMatchesReferenceAndSquaresAlternate) {
  std::vector<std::uint8_t> row;  // every colour byte with every alpha
  for (unsigned i = 0; i < 256 * 256; ++i)
    row.insert(row.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i ^ 0x55),
                           std::uint8_t(i >> 8)});
  for (int grey : {0, 1, 102, 153, 254, 255}) {
    const Checkerboard board{256 * 256, std::uint8_t(grey), 0};  // one square over the row
    std::vector<std::uint8_t> fast(row.size()), ref(row.size());
    PreviewRow(row.data(), fast.data(), 256 * 256, 0, board);
    PreviewRow_ref(row.data(), ref.data(), 256 * 256, 0, board);
    ASSERT_EQ(fast, ref) << "grey " << grey;
    // Opaque keeps the colour, transparent shows the square.
    EXPECT_EQ(ref[255 * 256 * 4 + 7 * 4 + 2], 7 ^ 0x55);
    EXPECT_EQ(ref[9 * 4 + 1], grey);
  }
  // The squares alternate by (x / cell + y / cell); the matte is checked in the renders below.
  const BgraImage board = MakePreview(BgraImage(10, 7), Checkerboard{3, 10, 200});
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x)
      ASSERT_EQ(board.Row(y)[x * 4], (x / 3 + y / 3) % 2 ? 200 : 10) << x << "," << y;
}

BgraImage Frame(int w, int h, int seed) {
  BgraImage f(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint8_t bgra[4] = {std::uint8_t(x * 9 + seed * 31), std::uint8_t(y * 13 + seed),
                                    std::uint8_t(x * y + seed * 7), 255};
      std::copy(bgra, bgra + 4, f.Row(y) + x * 4);
    }
  return f;
}

// A stand-in for keying: alpha from the blue channel, so every output byte
// is known from the input.
BgraImage FakeKey(const BgraImage& in, const InputFrame&) {
  BgraImage out = in;
  for (std::size_t i = 0; i < out.pixels.size(); i += 4) out.pixels[i + 3] = 255 - out.pixels[i];
  return out;
}

// The name of frame n (FrameName is checked against printf above).
std::string Numbered(const std::string& pattern, long n) {
  return FrameName(*ParseSequencePattern(pattern), n);
}

void WriteSequence(const test::TempDir& dir, int count, int w = 24, int h = 16) {
  for (int n = 1; n <= count; ++n)
    dir.Write(Numbered("shot_%04d.png", n), EncodePng(Frame(w, h, n), ""));
}

// Renders with FakeKey, calling `afterOpen` once the input is open; returns
// the error or "(no error)", and the frame count.
std::string Render(
    const std::string& input, const std::vector<std::string>& outputs, int jobs,
    long* frames = nullptr, const std::function<void()>& afterOpen = [] {}) {
  return ErrorOf([&] {
    std::unique_ptr<FrameReader> reader = FrameReader::Open(input);
    afterOpen();
    host::InputFiles inputs;
    for (const std::string& f : reader->files()) inputs.Add(f);
    std::vector<std::unique_ptr<FrameWriter>> w;
    for (const std::string& path : outputs)
      w.push_back(std::make_unique<FrameWriter>(path, reader->width(), reader->height(),
                                                reader->frameRate(), false, inputs,
                                                reader->numbers()));
    w.resize(3);
    const long n = RunFramePipeline(*reader, {w[0].get(), w[1].get(), w[2].get()}, jobs, FakeKey);
    if (frames) *frames = n;
  });
}

TEST(FramePipeline, SequenceWithMatteAndPreviewSameFilesForAnyJobs) {
  test::TempDir in, one, three;
  WriteSequence(in, 7);
  for (const auto& [dir, jobs] : {std::pair{&one, 1}, {&three, 3}}) {
    long frames = 0;
    ASSERT_EQ(Render(in / "shot_%04d.png",
                     {*dir / "k_%03d.png", *dir / "m_%03d.png", *dir / "p_%d.png"}, jobs, &frames),
              "(no error)");
    EXPECT_EQ(frames, 7);
  }
  ASSERT_EQ(Listing(one.path()).size(), 21u);
  ASSERT_EQ(Listing(one.path()), Listing(three.path()));
  for (const std::string& name : Listing(one.path()))
    EXPECT_EQ(host::ReadFileBytes(one / name), host::ReadFileBytes(three / name)) << name;
  for (int n = 1; n <= 7; ++n) {
    const BgraImage expected = FakeKey(Frame(24, 16, n), InputFrame{});
    EXPECT_EQ(ReadPng(one / Numbered("k_%03d.png", n)).pixels, expected.pixels);
    const BgraImage matte = ReadPng(one / Numbered("m_%03d.png", n));
    const BgraImage preview = ReadPng(one / Numbered("p_%d.png", n));
    for (std::size_t i = 0; i < expected.pixels.size(); i += 4) {
      ASSERT_EQ(matte.pixels[i], expected.pixels[i + 3]);  // grey = alpha
      ASSERT_EQ(preview.pixels[i + 3], 255);               // the preview is opaque
    }
  }
}

// A broken frame stops the render with an error naming it, and only the
// frames before it are written (of a video output beside, when ffmpeg is
// here, neither the video nor its temporary), whatever the number of jobs:
// frames 3 and 1 cut short, frame 4 of another size, and frame 2 swapped,
// once the sequence is open, for a FIFO (which would block its reader for
// ever) or for /dev/zero (endless), refused when it is opened.
TEST(FramePipeline, BrokenFrameIsNamedAndOnlyEarlierFramesAreWritten) {
  enum Damage { kCut, kWider, kFifo, kDevice };
  const std::tuple<int, Damage, const char*> cases[] = {
      {3, kCut, "corrupt or unreadable PNG"},
      {1, kCut, "corrupt or unreadable PNG"},
      {4, kWider, "size 25 x 16 differs from the first frame's 24 x 16"},
      {2, kFifo, "is not a regular file (a FIFO)"},
      {2, kDevice, "is not a regular file (a character device)"}};
  for (const auto& [frame, damage, message] : cases)
    for (int jobs : {1, 3}) {
      test::TempDir in, out;
      WriteSequence(in, 7);
      const std::string name = Numbered("shot_%04d.png", frame), path = in / name;
      std::vector<std::uint8_t> bytes = host::ReadFileBytes(path);
      bytes.resize(bytes.size() / 2);
      std::function<void()> swap = [] {};
      if (damage == kCut || damage == kWider)
        in.Write(name, damage == kWider ? EncodePng(Frame(25, 16, 0), name) : bytes);
      else
        swap = [&, fifo = damage == kFifo] {
          fs::remove(path);
          ASSERT_EQ(fifo ? ::mkfifo(path.c_str(), 0600) : ::symlink("/dev/zero", path.c_str()), 0);
        };
      std::vector<std::string> outputs = {out / "k_%04d.png"};
      if (FindOnPath("ffmpeg")) outputs.push_back(out / "k.mov");
      const std::string error = Render(in / "shot_%04d.png", outputs, jobs, {}, swap);
      const std::string start = path + ": frame " + std::to_string(frame) + ": " + message;
      EXPECT_EQ(error.rfind(start, 0), 0u) << error;
      std::vector<std::string> expected;
      for (int n = 1; n < frame; ++n) expected.push_back(Numbered("k_%04d.png", n));
      EXPECT_EQ(Listing(out.path()), expected) << "no half-written or later frame";
    }
}

// Two writers of one output: the second is refused at its start while the
// first lives, for a video (whole) and for overlapping frames of a sequence;
// disjoint frames (a farm's chunks) write side by side. The lock file goes
// with the last writer.
TEST(FramePipeline, ASecondWriterOfAnOutputIsRefusedAtItsStart) {
  MATTIX_SKIP_WITHOUT_FFMPEG("video outputs");
  test::TempDir out;
  const host::InputFiles inputs;
  const auto writer = [&](const std::string& name, std::vector<long> numbers) {
    return std::make_unique<FrameWriter>(out / name, 8, 8, "25", true, inputs, numbers);
  };
  auto video = writer("k.mov", {});
  auto first = writer("k_%04d.png", {1, 2, 3, 4, 5, 6, 7});
  const std::pair<std::string, std::string> refused[] = {
      {"k.mov", out / "k.mov: another render is writing it (" + out / ".k.mov.mattix-lock" +
                    " is locked); wait for it to end, or choose another output"},
      {"k_%04d.png", out / "k_%04d.png: another render is writing its frames 5 to 9 ("}};
  for (const auto& [name, message] : refused)
    EXPECT_TRUE(test::Throws([&, &n = name] { writer(n, {5, 6, 7, 8, 9}); }, message));
  auto chunk = writer("k_%04d.png", {8, 9});
  first.reset();
  EXPECT_NO_THROW(writer("k_%04d.png", {5, 6, 7}));
  EXPECT_TRUE(fs::exists(out / ".k_%04d.png.mattix-lock"));  // the chunk holds it
  chunk.reset();
  video.reset();
  EXPECT_TRUE(Listing(out.path()).empty());
}

// Sequence -> VP9 with alpha and a ProRes 4444 matte, read back. ProRes keeps
// 16-bit alpha (exact to 1); VP9 is lossy (alpha within 3).
TEST(FramePipeline, VideoRoundTrip) {
  MATTIX_SKIP_WITHOUT_FFMPEG("video");
  test::TempDir in, out;
  WriteSequence(in, 4, 32, 24);
  long frames = 0;
  ASSERT_EQ(Render(in / "shot_%04d.png", {out / "k.webm", out / "m.mov"}, 2, &frames),
            "(no error)");
  EXPECT_EQ(frames, 4);
  EXPECT_EQ(Listing(out.path()), (std::vector<std::string>{"k.webm", "m.mov"}));
  for (const auto& [name, tolerance] : {std::pair{"k.webm", 3}, {"m.mov", 1}}) {
    std::unique_ptr<FrameReader> video = FrameReader::Open(out / name);
    EXPECT_EQ(std::pair(video->width(), video->frameRate()), std::pair(32, std::string("25/1")));
    long n = 0;
    while (std::optional<InputFrame> f = video->Next()) {
      const BgraImage got = video->Load(*f), keyed = FakeKey(Frame(32, 24, int(f->number)), *f);
      int worst = 0;  // the matte is grey: its blue is the keyed alpha
      for (std::size_t i = 0; i < got.pixels.size(); i += 4)
        worst = std::max(worst,
                         std::abs(got.pixels[i + (name[0] == 'k' ? 3 : 0)] - keyed.pixels[i + 3]));
      EXPECT_LE(worst, tolerance) << f->label;
      ++n;
    }
    EXPECT_EQ(n, 4) << name;
  }
}

// Child processes: exit statuses and the error tail, and a missing program
// explained.
TEST(Subprocess, StatusesErrorTailAndAChildThatLeft) {
  const std::tuple<const char*, int, std::string> cases[] = {
      {"echo first >&2; echo ' oops ' >&2; exit 3", 3, "first\n oops"},
      {"kill -TERM $$", 128 + 15, ""},
      // Long output keeps at most 2000 bytes: whole lines, the last ones.
      {"i=0; while [ $i -lt 3000 ]; do echo line $i >&2; i=$((i+1)); done", 0, "line 2999"}};
  for (const auto& [script, status, tail] : cases) {
    Subprocess sh({"sh", "-c", script}, {}, "sh missing");
    EXPECT_EQ(sh.Wait(), status) << script;
    const std::string got = sh.ErrorTail();
    EXPECT_LE(got.size(), 2000u);
    EXPECT_EQ(got.rfind(got.size() > 100 ? "line " : tail, 0), 0u) << got;
    EXPECT_EQ(got.substr(got.size() - tail.size()), tail) << script;
  }
  EXPECT_EQ(ErrorOf([] { Subprocess({"mattix-no-such-program-x"}, {}, "install x"); }),
            "install x");
}

const std::vector<std::uint8_t> kBytes = {'k', 'e', 'y', 'e', 'd'};

TEST(OutputFile, CommitPutsTheWholeFileInPlaceNeedsForceToReplaceAndSparesInputs) {
  test::TempDir dir;
  {
    host::OutputFile out(dir / "a.png", false), abandoned(dir / "b.png", false);
    out.Write(kBytes.data(), 2);
    // Before the commit only the temporaries exist, beside the outputs.
    EXPECT_EQ(Listing(dir.path()).size(), 2u);
    EXPECT_FALSE(fs::exists(dir / "a.png"));
    out.Write(kBytes.data() + 2, 3);
    out.Commit();
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.png"});
  EXPECT_EQ(host::ReadFileBytes(dir / "a.png"), kBytes);
  // New files get 0666 less the umask, like any file the user creates.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  EXPECT_EQ(fs::status(dir / "a.png").permissions(), fs::perms(0666 & ~mask));
  // Existing files need --force, even when they appear during the render.
  dir.Write("a.png", std::string("old"));
  host::WriteFileAtomically(dir / "a.png", kBytes, true);
  EXPECT_EQ(host::ReadFileText(dir / "a.png"), "keyed");
  auto out = std::make_unique<host::OutputFile>(dir / "b.png", false);
  out->Write(kBytes.data(), kBytes.size());
  dir.Write("b.png", std::string("someone else's"));
  EXPECT_TRUE(test::Throws([&] { out->Commit(); }, "already exists"));
  out.reset();
  EXPECT_EQ(host::ReadFileText(dir / "b.png"), "someone else's");
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.png", "b.png"}));
  fs::create_directory(dir / "sub");
  // A folder under a file cannot be made; a missing folder is.
  for (const std::string& p : {dir / "a.png/x.png", dir / "sub", dir / "sub/"})
    EXPECT_TRUE(test::Throws([&] { host::OutputFile o(p, true); }, p)) << p;
  host::WriteFileAtomically(dir / "new/deeper/c.png", kBytes, false);
  EXPECT_EQ(host::ReadFileText(dir / "new/deeper/c.png"), "keyed");
  // An output equal to an input is refused even with --force, however spelt.
  for (const char* name : {"in.png", "other.png"}) dir.Write(name, std::string("x"));
  fs::create_hard_link(dir / "in.png", dir / "hard.png");
  fs::create_symlink(dir / "in.png", dir / "soft.png");
  host::InputFiles inputs;
  inputs.Add(dir / "in.png");
  for (const char* p : {"in.png", "./in.png", "sub/../in.png", "hard.png", "soft.png"})
    EXPECT_TRUE(
        test::Throws([&] { host::CheckOutputAllowed(dir / p, true, inputs); }, "one of the inputs"))
        << p;
  EXPECT_NO_THROW(host::CheckOutputAllowed(dir / "new.png", false, inputs);
                  host::CheckOutputAllowed(dir / "other.png", true, inputs));
  // Without --force any existing frame of a sequence refuses the writer
  // before a frame is written, not only the first.
  dir.Write("k_0002.png", std::string("x"));
  const std::string k = dir / "k_%04d.png";
  const auto sequence = [&] { FrameWriter(k, 8, 8, "25", false, inputs, {1, 2, 3}); };
  EXPECT_TRUE(test::Throws(sequence, dir / "k_0002.png: already exists (use --force"));
}

// A signal to the render's process while its outputs are open (two
// pictures; two video outputs that took a frame, when ffmpeg is here; two
// sequences, locked): no file is left (and no process that could make one)
// but the lock of a sequence another render holds a part of, and the
// message says what was kept.
TEST(OutputFile, InterruptLeavesNoTemporaryFile) {
  // Orphaned descendants, were there any, become this process's children,
  // to be waited for.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  test::TempDir dir;
  std::optional<host::OutputLock> chunk(std::in_place, dir / "t_%04d.png", std::pair(3L, 4L));
  ::testing::internal::CaptureStderr();  // the child's too
  const auto [child, status] = test::InChild([&] {
    host::InstallInterruptCleanup();
    host::OutputFile a(dir / "a.png", false), b(dir / "b.png", false);
    a.Write(kBytes.data(), kBytes.size());
    // A sequence's lock file goes too, unless another render holds a part.
    std::vector<std::unique_ptr<FrameWriter>> writers;
    for (const std::string name : {"s_%04d.png", "t_%04d.png", "k.mov", "k.webm"}) {
      const bool video = name[0] == 'k';
      if (video && !FindOnPath("ffmpeg")) break;
      writers.push_back(std::make_unique<FrameWriter>(dir / name, 16, 16, "25", false,
                                                      host::InputFiles{}, std::vector<long>{1, 2}));
      if (video) writers.back()->Write(writers.back()->Encode(BgraImage(16, 16), 1));
    }
    std::raise(SIGTERM);  // the handler ends the process by the signal
  });
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  while (::waitpid(-1, nullptr, 0) > 0) continue;
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{".t_%04d.png.mattix-lock"});
  chunk.reset();
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{});
  EXPECT_TRUE(
      test::Holds(said, "mattix: interrupted: the render stopped; files it had finished are kept"));
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// A render killed outright (no handler runs) leaves its temporary file; the
// next output in that folder removes it, and only files whose process is
// gone and whose lock is free.
TEST(OutputFile, StaleTemporaryFilesOfKilledRendersAreRemoved) {
  test::TempDir dir;
  const auto [child, status] = test::InChild([&] {
    host::OutputFile k(dir / "k.png", false);
    k.Write(kBytes.data(), kBytes.size());
    std::raise(SIGKILL);
  });
  ASSERT_EQ(Listing(dir.path()).size(), 1u);  // the killed render's
  const std::string dead = std::to_string(child), locked = ".x.png.mattix-" + dead + "-abcdef";
  // In the listing's order ('-' sorts before the digits, '.' before 'k').
  const std::string kept[] = {".k.png.mattix-1-abcdef",  // process 1 is alive
                              ".k.png.mattix-" + dead + "-abc", ".notes.mattix-" + dead, locked};
  for (const std::string& name : kept) dir.Write(name, std::string("x"));
  const int fd = ::open((dir / locked).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  host::WriteFileAtomically(dir / "k.png", kBytes, false);
  ::close(fd);
  std::vector<std::string> expected(std::begin(kept), std::end(kept));
  expected.push_back("k.png");
  EXPECT_EQ(Listing(dir.path()), expected);
  // A live output's temporary is locked, so that no other process takes it for stale.
  host::OutputFile live(dir / "live.png", false);
  const int other = ::open(live.temporaryPath().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0) << live.temporaryPath();
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::close(other);
}

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
              if (i == c.failSource) throw host::HostError("source failed at " + std::to_string(i));
              return i < 40 ? std::optional<long>(i) : std::nullopt;
            },
            [&](long i, long&& v) {
              std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 13 * 150));
              if (std::count(c.failWork.begin(), c.failWork.end(), i))
                throw host::HostError("work failed at " + std::to_string(i));
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

// 64 bytes a pixel and 1 MiB a job, within half of the memory less 192 MiB
// of shared tables: the expected counts worked out by hand.
TEST(JobPool, JobsAreLoweredToFitTheMemory) {
  constexpr std::uint64_t GiB = std::uint64_t(1) << 30;
  const struct {
    int jobs, width, height;
    std::uint64_t memory;
    int expected;
    bool deep = false;
  } cases[] = {{8, 1920, 1080, 16 * GiB, 8},       // 133.8 MB a job, 7.8 GiB to spend
               {8, 1920, 1080, 1 * GiB, 2},        // 320 MiB: 2.51 fit
               {8, 1920, 1080, 1 * GiB, 1, true},  // deep, 266.5 MB a job: 1.26 fit
               {8, 8192, 8192, 32 * GiB, 3},       // 4 GiB + 1 MiB a job: 3.95 fit
               {8, 8192, 8192, 9 * GiB, 1},        // 4.31 GiB: 1.08 fit
               {5, 8192, 4320, 0, 5},              // memory unknown
               {8, 64, 64, 384 * (GiB >> 10), 1},  // all of it to the tables: still 1
               {256, 4, 4, 1 * GiB, 256},          // 1 MiB a job: 320 fit
               {600, 4, 4, 1 * GiB, 319}};         // 1 MiB and 1024 bytes: 319.7 fit
  for (const auto& c : cases)
    EXPECT_EQ(JobsWithinMemory(c.jobs, c.width, c.height, c.memory, c.deep), c.expected)
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

}  // namespace
}  // namespace mattix::media
