// Video read as players show it, on clips that ffmpeg makes here from
// frames of known pixels (stored losslessly, as PNG in QuickTime): turned by
// the display matrix, stretched to square pixels, a variable frame rate
// whose frames each arrive once and number the same in a chunk as in one
// run, a truncated clip that is an error naming the frames that arrived (a
// warning when allowed), sound noticed. ffprobe's output read into the
// video's facts: the fuzz target's seeds and their damage.
#include "host/media/FrameReader.h"
#include "host/media/FrameWriter.h"
#include "host/media/Video.h"
#include "host/media/VideoReader.h"
#include "host/media/VideoWriter.h"
#include "tests/FuzzSeeds.h"
#include "tests/host/TestSupport.h"
#include "tests/host/media/ProbeCheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <tuple>

namespace mattix::media {
namespace {

using test::ReadFrames;

// Runs ffmpeg in `dir`: whether it succeeded, else its error.
::testing::AssertionResult Ffmpeg(const test::TempDir& dir, const std::string& args) {
  return test::Ran("cd '" + dir.path() + "' && ffmpeg -v error -nostdin -y " + args);
}

// The frame turned a quarter turn counter-clockwise, as a display matrix
// of 90 degrees shows it (ffprobe's angle counts counter-clockwise).
BgraImage QuarterTurn(const BgraImage& f) {
  BgraImage out(f.height, f.width);
  for (int r = 0; r < out.height; ++r)
    for (int c = 0; c < out.width; ++c)
      std::memcpy(out.Row(r) + c * 4, f.Row(c) + (f.width - 1 - r) * 4, 4);
  return out;
}

// Frames 1 to 10 of noise: plain (its index first, as a streamed file
// has it), turned by the display matrix, with
// pixels twice as wide as high and sound; at a variable rate (frames 1 to
// 6 shown at 0, 0.1, 0.3, 0.6, 1 and 1.5 seconds), whose frames arrive
// once and number the same in a chunk as in one run; and cut at 60 % of
// its file, where the frames before the cut arrive, then an error says how
// many of the ten did, with ffmpeg's own lines (when allowed, a warning
// says it instead).
TEST(Video, ClipsAreReadAsPlayersShowThem) {
  MATTIX_SKIP_WITHOUT_FFMPEG("reading turned, stretched, variable-rate and truncated video");
  test::TempDir dir;
  const std::vector<BgraImage> frames =
      test::WriteNoiseFrames(dir, "f_", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 6, 4);
  const std::string png = " -c:v png -pix_fmt rgb24 ";
  ASSERT_TRUE(Ffmpeg(dir, "-framerate 5 -i f_%d.png" + png + "-movflags +faststart plain.mov"));
  for (const char* turn : {"90", "180"})
    ASSERT_TRUE(Ffmpeg(dir, "-i plain.mov -c copy -metadata:s:v:0 rotate=" + std::string(turn) +
                                " turned" + turn + ".mov"));
  ASSERT_TRUE(Ffmpeg(dir, "-framerate 5 -i f_%d.png -f lavfi -i sine=d=1" + png +
                              "-vf setsar=2 -shortest wide.mov"));
  const std::vector<BgraImage> plain = ReadFrames(dir / "plain.mov");
  const std::vector<BgraImage> turned = ReadFrames(dir / "turned90.mov");
  const std::vector<BgraImage> upside = ReadFrames(dir / "turned180.mov");
  ASSERT_EQ(std::tuple(plain.size(), turned.size(), upside.size()), std::tuple(10u, 10u, 10u));
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(plain[i].pixels, frames[i].pixels) << i;  // upright: converted in place
    EXPECT_EQ(turned[i].width, 4) << i;
    EXPECT_EQ(turned[i].pixels, QuarterTurn(frames[i]).pixels) << i;
    EXPECT_EQ(upside[i].pixels, QuarterTurn(QuarterTurn(frames[i])).pixels) << i;
  }
  // Pixels twice as wide as high: 12 x 4 square pixels; sound is noticed.
  const std::unique_ptr<FrameReader> wide = FrameReader::Open(dir / "wide.mov");
  EXPECT_EQ(std::tuple(wide->width(), wide->height(), wide->audio()), std::tuple(12, 4, true));
  EXPECT_EQ(ReadFrames(dir / "wide.mov").at(0).width, 12);
  EXPECT_FALSE(ProbeVideo(dir / "plain.mov").audio);

  const std::string vfr = "-fps_mode vfr -vf 'setpts=N*(N+1)/20/TB'";
  ASSERT_TRUE(Ffmpeg(dir, "-framerate 100 -i f_%d.png -frames:v 6 " + vfr + png + "vfr.mov"));
  EXPECT_FALSE(ProbeVideo(dir / "vfr.mov").constantRate);
  const std::vector<BgraImage> whole = ReadFrames(dir / "vfr.mov");
  ASSERT_EQ(whole.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(whole[i].pixels, frames[i].pixels) << i;
  std::vector<long> numbers;
  const std::vector<BgraImage> chunk = ReadFrames(dir / "vfr.mov", std::pair(4L, 5L), &numbers);
  ASSERT_EQ(numbers, (std::vector<long>{4, 5}));  // a number for each frame read
  for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(chunk[i].pixels, frames[i + 3].pixels) << i;

  const std::uintmax_t size = std::filesystem::file_size(dir / "plain.mov");
  std::filesystem::copy_file(dir / "plain.mov", dir / "cut.mov");
  std::filesystem::resize_file(dir / "cut.mov", size * 6 / 10);
  for (bool allowShort : {false, true}) {
    auto reader = FrameReader::Open(dir / "cut.mov", FrameSelection{{}, false, allowShort});
    EXPECT_EQ(reader->frameCount(), 10);
    long arrived = 0;
    const std::string error = test::ErrorOf([&] {
      while (std::optional<InputFrame> f = reader->Next()) {
        EXPECT_EQ(reader->Load(*f).pixels, frames[std::size_t(arrived)].pixels);
        ++arrived;
      }
    });
    EXPECT_TRUE(arrived > 0 && arrived < 10) << arrived;
    // The error, or when allowed the one warning: how many arrived, and what ffmpeg said.
    const std::vector<std::string> said = allowShort ? reader->warnings() : std::vector{error};
    EXPECT_TRUE(!allowShort || error == "(no error)") << error;
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(
        test::Holds(said[0], "cut.mov: only " + std::to_string(arrived) +
                                 " of its 10 frames arrived: the video ends early (truncated or "
                                 "damaged; its container declares 10 frames)" +
                                 (allowShort ? "; keying the frames that arrived"
                                             : " (--allow-short keys the frames that arrive)") +
                                 "; ffmpeg said:\n"));
  }
}

// The reader's and the writer's tables of swscale's conversions, made after
// one frame's pixels (the next frame converted both ways, the last through
// the table alone), give the frames that swscale alone gives, for clips of
// each matrix and range: a 4:2:0 clip of noise read, and the frames read
// written as ProRes 4444 and read back.
TEST(Video, ConversionTablesGiveSwscalesFrames) {
  MATTIX_SKIP_WITHOUT_FFMPEG("reading and writing 4:2:0 video");
  test::TempDir dir;
  test::WriteNoiseFrames(dir, "f_", {1, 2, 3}, 66, 34);
  for (const char* tags :
       {"bt709 -color_range tv", "bt470bg -color_range pc", "bt2020nc -color_range tv"}) {
    SCOPED_TRACE(tags);
    ASSERT_TRUE(Ffmpeg(dir, "-framerate 5 -i f_%d.png -c:v ffv1 -pix_fmt yuv420p -colorspace " +
                                std::string(tags) + " clip.mkv"));
    const VideoColour colour = FrameReader::Open(dir / "clip.mkv")->colour();
    const auto readAndWrite = [&](std::int64_t before, const std::string& name) {
      VideoReader::SetPixelsBeforeTable(before);
      VideoWriter::SetPixelsBeforeTable(before);
      const std::vector<BgraImage> frames = ReadFrames(dir / "clip.mkv");
      FrameWriter writer(dir / name, 66, 34, "5", true, {}, {}, false, {}, colour);  // ProRes 4444
      for (std::size_t i = 0; i < frames.size(); ++i)
        writer.Write(writer.Encode(frames[i], long(i) + 1));
      writer.Finish();
      VideoReader::SetPixelsBeforeTable(-1);
      return std::pair(frames, ReadFrames(dir / name));
    };
    const auto tables = [] {
      return std::pair(VideoReader::FramesThroughTable(), VideoWriter::FramesThroughTable());
    };
    const auto atStart = tables();
    const auto direct = readAndWrite(-1, "direct.mov");
    ASSERT_EQ(tables(), atStart);
    const auto tabled = readAndWrite(66 * 34, "tabled.mov");
    // The third frame read and written went through the tables alone.
    EXPECT_TRUE(tables().first > atStart.first && tables().second > atStart.second);
    ASSERT_EQ(direct.second.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(tabled.first[i].pixels, direct.first[i].pixels) << "read, frame " << i + 1;
      EXPECT_EQ(tabled.second[i].pixels, direct.second[i].pixels) << "written, frame " << i + 1;
    }
  }
  VideoReader::SetPixelsBeforeTable(std::int64_t(1) << 24);
  VideoWriter::SetPixelsBeforeTable(std::int64_t(1) << 24);
}

// ffprobe's output on the clips above and on made-up streams (no video,
// a turn of 45 degrees, an absurd aspect or count): the fuzz target's body
// over its seeds and their damage.
TEST(Video, ProbeOutputIsReadOrRefusedWithTheFilesName) {
  test::ExpectSeedsHold("tests/host/media/fuzz-probe", test::CheckProbeOutput, 200);
  const std::string head = R"({"streams": [{"codec_type": "video", "width": 640, "height": 480)";
  const std::pair<std::string, std::string> refused[] = {
      {R"({"streams": [{"codec_type": "audio"}]})", "clip.mp4: has no video stream"},
      {head + R"(, "side_data_list": [{"rotation": 45}]}]})",
       "clip.mp4: the video is to be shown turned by 45 degrees; Mattix reads videos turned by "
       "quarter turns only"},
      {head + R"(, "sample_aspect_ratio": "1000:1"}]})",
       "clip.mp4: the video's frame is 640000 x 480 pixels"},
      {head + R"(, "width": 0}]})", "clip.mp4 (ffprobe output):1:67: \"width\" appears twice"}};
  for (const auto& [json, message] : refused)
    EXPECT_TRUE(test::Throws([&j = json] { ParseProbeOutput(j, "clip.mp4"); }, message));
  const VideoInfo turned = ParseProbeOutput(
      head + R"(, "side_data_list": [{"rotation": -90}], "nb_frames": "99999999999",
      "sample_aspect_ratio": "4:3", "r_frame_rate": "30/1", "avg_frame_rate": "30/1"}]})",
      "clip.mp4");
  EXPECT_EQ(std::tuple(turned.width, turned.height, turned.rotation, turned.frameCount),
            std::tuple(480, 853, 270, -1L));
  EXPECT_EQ((std::vector<long>{MissingFrames(10, 3, 8, 2), MissingFrames(10, 3, 100, 2),
                               MissingFrames(10, 12, 20, 0), MissingFrames(-1, 1, 100, 0)}),
            (std::vector<long>{4, 6, 0, 0}));
}

}  // namespace
}  // namespace mattix::media
