// The reference host over the built module: `mattix render` of the shipped
// sample, alone and as a sequence keyed by two jobs, the inputs it refuses
// (the video size limit too), a shot rendered in chunks (--frames) that
// equals one run (and its preview may be any video format), and a sequence
// with a gap rendered with --allow-gaps. The effect
// driven by itself (instances keying at once too) is host/effect's test;
// sequences, corrupt frames and video are the frame pipeline's, tested with
// it.
#include "host/base/FileBytes.h"
#include "host/media/FrameReader.h"
#include "host/media/PngFile.h"
#include "host/media/Subprocess.h"
#include "host/media/Video.h"
#include "host/media/VideoWriter.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace mattix::render {
namespace {

namespace fs = std::filesystem;
const std::string &kSample = test::kSamplePicture, &kProject = test::kSampleProject;

// `mattix render ARGS` through the built module, which must succeed: what it
// said on standard error.
std::string Rendered(const std::string& args) { return test::RunMattixOk("render " + args).err; }

// Two jobs key a sequence with one effect instance each: every frame of a
// sequence of the sample equals the sample keyed alone, whose pixels of
// plain fate (backdrop corners keyed, face and shirt kept) are as the
// project says. (How the engine keys is its own tests'; the hosts' tests
// compare their renders with `mattix render`.)
TEST(RenderCommand, EveryJobsInstanceHoldsTheProjectsSettings) {
  test::TempDir dir;
  const std::vector<std::uint8_t> sample = media::EncodePng(test::SamplePicture(), "");
  for (int n = 1; n <= 4; ++n) dir.Write("in_000" + std::to_string(n) + ".png", sample);
  Rendered(dir / "in_%04d.png -o " + dir / "out_%04d.png --project " + kProject +
           " --despill 0 --jobs 2");
  const media::BgraImage alone = test::RenderPicture(kSample, kProject, {"--despill", "0"});
  const int w = alone.width, h = alone.height;
  for (const auto& [x, y] : {std::pair{2, 2}, {w - 3, 2}, {2, h / 2}, {w - 3, h - 4}})
    EXPECT_EQ(alone.Row(y)[x * 4 + 3], 0) << x << "," << y;
  for (const int y : {int(0.42 * h), h - 10})
    EXPECT_EQ(alone.Row(y)[int(0.40 * w) * 4 + 3], 255) << y;
  for (int n = 1; n <= 4; ++n)
    EXPECT_TRUE(media::ReadPng(dir / ("out_000" + std::to_string(n) + ".png")).pixels ==
                alone.pixels)
        << "frame " << n;
}

// Inputs that cannot be keyed as given end with status 1 and a message
// naming what is wrong, and leave nothing in the output folder: a damaged
// project, a folder, and a video whose frames are larger than the largest
// frame Mattix keys, refused from what ffprobe reports before any frame is
// decoded (a YUV4MPEG2 header claiming 8200 x 8200, more pixels than the
// limit, each side within it, without its frame data), when ffmpeg is here.
// Past a file-size limit the write fails: the render ends with status 1 and
// a message naming the output, not by SIGXFSZ, and leaves nothing behind.
TEST(RenderCommand, RefusedInputsAndFailedWritesExitOneAndLeaveNothing) {
  test::TempDir dir;
  for (const char* folder : {"out", "frames"}) fs::create_directories(dir / folder);
  dir.Write("damaged.json", R"({"format": "mattix-project", "version": 1, "chromaMask": ")" +
                                std::string(192, 'A') + R"(AQID"})");
  dir.Write("many.y4m", std::string("YUV4MPEG2 W8200 H8200 F25:1 Ip A1:1 C420jpeg\nFRAME\n"));
  const std::string &sample = kSample, out = " -o " + dir / "out/k.png";
  std::vector<test::Refusal> refusals = {
      {"render " + sample + out + " --project " + dir / "damaged.json", 1,
       "damaged.json:1:58: \"chromaMask\" is damaged"},
      {"render " + dir / "frames -o " + dir / "out/k_%04d.png", 1, "frames: is a folder"}};
  if (media::FindOnPath("ffmpeg") && media::FindOnPath("ffprobe")) {
    refusals.push_back({"render " + dir / "many.y4m -o " + dir / "out/k.mov", 1,
                        dir / "many.y4m: the video's frame is 8200 x 8200 pixels; Mattix keys "
                              "frames up to 16384 pixels a side and 8192 x 8192"});
    // A video input is one of the inputs that no output may replace.
    ASSERT_TRUE(test::Ffmpeg("-i '" + sample + "' -c:v mpeg4 '" + dir / "v.mp4'"));
    refusals.push_back(
        {"render " + dir / "v.mp4 -o " + dir / "out/k.mov --preview " + dir / "v.mp4 --force", 1,
         dir / "v.mp4: the output is one of the inputs"});
  }
  test::ExpectRefusals(refusals);
  const auto [child, status] = test::InChild([&] {
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(test::RunMattix("render " + kSample + out).status);
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_TRUE(fs::is_empty(dir / "out"));
  // Without a mask the render says that nothing is keyed, and nothing is.
  EXPECT_TRUE(test::Holds(Rendered(sample + out),
                          "has no chroma mask: nothing is keyed, the output equals the input"));
  EXPECT_EQ(media::ReadPng(dir / "out/k.png").pixels, media::ReadPng(sample).pixels);
}

// A shot rendered in chunks equals one run: the sequence, and a video of the
// same frames (numbered from 1, two a second, so the last chunk seeks past
// the 2 seconds it decodes before its first frame) whose chunks start
// between keyframes (MPEG-4, a keyframe every third frame, B-frames). A frame
// picked from the video is that frame of the whole video.
TEST(RenderCommand, ChunksOfAShotEqualOneRun) {
  test::TempDir dir;
  test::WriteNoiseFrames(dir, "f_0", {3, 4, 5, 6, 7, 8, 9}, 12, 8);  // f_03.png...
  const std::string common = " --project " + kProject;
  const bool video = media::FindOnPath("ffmpeg") && media::FindOnPath("ffprobe");
  if (video) {
    ASSERT_TRUE(test::Ffmpeg("-framerate 2 -start_number 3 -i '" + dir / "f_%02d.png" +
                             "' -c:v mpeg4 -g 3 -bf 2 -q:v 2 -pix_fmt yuv420p '" + dir / "v.mp4'"));
  }
  const struct {
    std::string input, name;  // outputs name_NN.png
    std::vector<const char*> chunks;
    int first, last;
  } shots[] = {{dir / "f_%02d.png", "seq", {"3-4", "5-7", "8-9"}, 3, 9},
               {dir / "v.mp4", "video", {"1-2", "3-5", "6-7"}, 1, 7}};
  for (const auto& shot : shots) {
    if (shot.name == "video" && !video) continue;
    // The whole run also writes a preview, which may be a video without alpha.
    const std::string one = dir / (shot.name + "_one_%02d.png");
    const std::string preview = video ? " --preview " + dir / (shot.name + ".mp4") : "";
    Rendered(shot.input + " -o " + one + preview + common);
    for (const char* chunk : shot.chunks)
      Rendered(shot.input + " -o " + dir / (shot.name + "_part_%02d.png") + " --frames " + chunk +
               common);
    for (int n = shot.first; n <= shot.last; ++n) {
      const auto file = [&](const char* run) {
        return host::ReadFileText(dir / (shot.name + run + std::to_string(n) + ".png"));
      };
      EXPECT_TRUE(file("_part_0") == file("_one_0")) << shot.name << " frame " << n;
    }
    // One frame of a shot may be written as a picture.
    Rendered(shot.input + " -o " + dir / (shot.name + "_still.png") + " --frames 5-5" + common);
    EXPECT_TRUE(host::ReadFileText(dir / (shot.name + "_still.png")) ==
                host::ReadFileText(dir / (shot.name + "_one_05.png")))
        << shot.name;
  }
  if (video) {
    // A still that FFmpeg reads (a picture demuxer, no frame count declared)
    // is one frame: keyed into a picture, it equals the same pixels keyed
    // from a PNG.
    ASSERT_TRUE(test::Ffmpeg("-i '" + dir / "f_05.png" + "' '" + dir / "f.bmp'"));
    Rendered(dir / "f.bmp -o " + dir / "bmp.png" + common);
    EXPECT_TRUE(host::ReadFileText(dir / "bmp.png") == host::ReadFileText(dir / "seq_one_05.png"));
    test::ExpectRefusals(
        {{"render " + dir / "v.mp4 -o " + dir / "o.mov --preview " + dir / "p.png", 1,
          "p.png: " + dir / "v.mp4 gives 7 frames, so --preview must be a "
                            "sequence (name_%04d.png) or a video (.mov, .webm, "
                            ".mp4...)"}});
    EXPECT_EQ(media::ProbeVideo(dir / "seq.mp4").frameCount, 7);
    EXPECT_EQ(media::ReadInputFrame(dir / "v.mp4", 5).pixels,
              test::ReadFrames(dir / "v.mp4").at(4).pixels);
    EXPECT_TRUE(
        test::Throws([&] { media::ReadInputFrame(dir / "v.mp4", 9); }, "(its frames are 1 to 7)"));
    // Two jobs convert their keyed frames for ProRes through the writer's
    // one table at once (the ThreadSanitizer build runs this test): the
    // frames written equal swscale's.
    std::vector<std::vector<std::uint8_t>> written;
    for (const std::int64_t before : {std::int64_t(-1), std::int64_t(0)}) {
      media::VideoWriter::SetPixelsBeforeTable(before);
      const std::uint64_t tabled = media::VideoWriter::FramesThroughTable();
      const std::string out = dir / ("k" + std::to_string(before + 1) + ".mov");
      Rendered(dir / "v.mp4 -o " + out + " --jobs 2" + common);
      EXPECT_EQ(media::VideoWriter::FramesThroughTable() > tabled, before == 0);
      written.emplace_back();
      for (const media::BgraImage& f : test::ReadFrames(out))
        written.back().insert(written.back().end(), f.pixels.begin(), f.pixels.end());
    }
    media::VideoWriter::SetPixelsBeforeTable(std::int64_t(1) << 24);
    EXPECT_EQ(written[0].size(), 7u * 12 * 8 * 4);
    EXPECT_EQ(written[0], written[1]);
  }
  EXPECT_EQ(test::Listing(dir.path()).size(), video ? 7u * 3 + 3 + 7 * 2 + 2 + 2 + 2 : 7u * 3 + 1);
  const std::string render = "render " + shots[0].input + " -o " + dir / "x_%02d.png";
  test::ExpectRefusals(
      {{render + " --frames 10-12", 1, "--frames 10-12 holds none of its frames (3 to 9)"},
       {render + " --frames 5-4", 2, "is not a range of frames"}});
  if (!video)
    GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg): chunks of a video "
                    "are not tested";
}

TEST(RenderCommand, GapsAllowedWithAWarning) {
  test::TempDir dir;
  test::WriteNoiseFrames(dir, "f_0", {1, 2, 4}, 12, 8);
  const std::string line = dir / "f_%02d.png" + " -o " + dir / "o_%02d.png";
  EXPECT_TRUE(test::Holds(Rendered(line + " --allow-gaps"), "warning: " + dir / "f_%02d.png" +
                                                                ": the sequence has a gap: frame " +
                                                                dir / "f_03.png is missing"));
  EXPECT_EQ(test::Listing(dir.path()),
            (std::vector<std::string>{"f_01.png", "f_02.png", "f_04.png", "o_01.png", "o_02.png",
                                      "o_04.png"}));
}

// An untagged HD clip (FFV1, 1280 x 720, so BT.709) keyed by `mattix
// render` and by MLT through the frei0r plug-in: the same frames.
TEST(RenderCommand, UntaggedHdEqualsMeltWithTheFrei0rPlugin) {
  if (const std::string why = test::HostUnavailable("melt", "melt"); !why.empty())
    GTEST_SKIP() << why;
  MATTIX_SKIP_WITHOUT_FFMPEG("the comparison with melt");
  test::TempDir dir;
  ASSERT_TRUE(
      test::Ffmpeg("-f lavfi -i testsrc2=s=1280x720:r=25:d=0.12 -c:v ffv1 -pix_fmt yuv420p '" +
                   dir / "hd.mkv" + "'"));
  Rendered(dir / "hd.mkv" + " -o " + dir / "m_%02d.png" + " --project " + kProject);
  ASSERT_TRUE(test::Ran("FREI0R_PATH='" MATTIX_FREI0R_DIR "' melt -quiet '" + dir / "hd.mkv" +
                        "' -filter frei0r.mattix project='" + kProject +
                        "' -consumer 'avformat:" + dir / "l_%02d.png" +
                        "' vcodec=png pix_fmt=rgba real_time=0 width=1280 height=720 "
                        "sample_aspect_num=1 sample_aspect_den=1 frame_rate_num=25 "
                        "frame_rate_den=1 </dev/null"));
  long keyed = 0;
  for (const char* n : {"01", "02", "03"}) {
    const media::BgraImage ours = media::ReadPng(dir / ("m_" + std::string(n) + ".png"));
    const media::BgraImage melts = media::ReadPng(dir / ("l_" + std::string(n) + ".png"));
    EXPECT_TRUE(ours.pixels == melts.pixels) << "frame " << n;
    for (std::size_t i = 3; i < ours.pixels.size(); i += 4) keyed += ours.pixels[i] < 255;
  }
  EXPECT_GT(keyed, 0) << "the key keys part of the clip";
}

}  // namespace
}  // namespace mattix::render
