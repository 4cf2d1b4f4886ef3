#include "host/cli/FrameWriter.h"

#include "host/cli/CliError.h"
#include "host/cli/PngFile.h"

namespace mattix::cli {

namespace {

// Compression of written PNGs: level 3 selects libpng's fast mode, which
// encodes a 1080p frame in about a third of the default's time (bench_cli)
// for a file about twelve times larger (no row filters); render speed
// matters more here than the size of intermediate frames.
constexpr int kFramePngLevel = 3;

}  // namespace

FrameWriter::FrameWriter(const std::string& output, int width, int height,
                         const std::string& frameRate, bool force, const InputFiles& inputs,
                         const std::vector<long>& numbers, const FfmpegTools& tools)
    : output_(output),
      format_(OutputFormatOf(output)),
      width_(width),
      height_(height),
      force_(force),
      inputs_(inputs) {
  switch (format_) {
    case OutputFormat::PngSequence:
      pattern_ = ParseSequencePattern(output);
      for (long n : numbers) CheckOutputAllowed(FrameName(*pattern_, n), force_, inputs_);
      break;
    case OutputFormat::Png:
      CheckOutputAllowed(output_, force_, inputs_);
      break;
    case OutputFormat::ProRes4444:
    case OutputFormat::Vp9Alpha:
      CheckOutputAllowed(output_, force_, inputs_);
      file_ = std::make_unique<OutputFile>(output_, force_);
      video_ = std::make_unique<VideoWriter>(output_, file_->temporaryPath(), format_, width,
                                             height, frameRate, tools);
      break;
  }
}

FrameWriter::~FrameWriter() {
  // ffmpeg is stopped before its unfinished file is removed.
  video_.reset();
  file_.reset();
}

EncodedFrame FrameWriter::Encode(const BgraImage& frame, long number) const {
  EncodedFrame e;
  e.number = number;
  if (format_ == OutputFormat::Png || format_ == OutputFormat::PngSequence)
    e.png = EncodePng(frame, pattern_ ? FrameName(*pattern_, number) : output_, kFramePngLevel);
  else
    e.pixels = frame;
  return e;
}

EncodedFrame FrameWriter::EncodeGrey(const GreyImage& frame, long number) const {
  EncodedFrame e;
  e.number = number;
  if (format_ == OutputFormat::Png || format_ == OutputFormat::PngSequence) {
    e.png = EncodePngGrey(frame, pattern_ ? FrameName(*pattern_, number) : output_, kFramePngLevel);
    return e;
  }
  e.pixels = BgraImage(frame.width, frame.height);
  for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
    std::uint8_t* p = &e.pixels.pixels[i * 4];
    p[0] = p[1] = p[2] = frame.pixels[i];
    p[3] = 255;
  }
  return e;
}

void FrameWriter::Write(EncodedFrame&& frame) {
  switch (format_) {
    case OutputFormat::PngSequence: {
      const std::string path = FrameName(*pattern_, frame.number);
      if (inputs_.Contains(path))
        throw CliError(path + ": the output is one of the inputs; choose another output name");
      WriteFileAtomically(path, frame.png, force_);
      written_.push_back(path);
      break;
    }
    case OutputFormat::Png:
      if (wroteSingle_) throw CliError(output_ + ": a single picture cannot take a second frame");
      if (inputs_.Contains(output_))
        throw CliError(output_ + ": the output is one of the inputs; choose another output name");
      WriteFileAtomically(output_, frame.png, force_);
      written_.push_back(output_);
      wroteSingle_ = true;
      break;
    case OutputFormat::ProRes4444:
    case OutputFormat::Vp9Alpha:
      video_->WriteFrame(frame.pixels);
      break;
  }
}

void FrameWriter::Finish() {
  if (!video_) return;
  video_->Finish();
  video_.reset();
  file_->Commit();
  file_.reset();
  written_.push_back(output_);
}

}  // namespace mattix::cli
