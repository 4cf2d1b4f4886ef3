#include "host/cli/FrameReader.h"

#include "host/cli/CliError.h"
#include "host/cli/FileBytes.h"
#include "host/cli/PngFile.h"

namespace mattix::cli {

namespace {

std::string FrameLabel(const std::string& path, long number) {
  return path + ": frame " + std::to_string(number);
}

// Decodes a picture of a frame; errors read "PATH: frame N: reason".
BgraImage DecodeFrame(const std::string& path, const std::string& label) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadFileBytes(path);
  } catch (const CliError& e) {
    const std::string message = e.what();
    // "PATH: reason" becomes "PATH: frame N: reason".
    const std::string prefix = path + ": ";
    throw CliError(label + ": " +
                   (message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message));
  }
  return DecodePng(bytes.data(), bytes.size(), label);
}

class PictureReader : public FrameReader {
 public:
  explicit PictureReader(const std::string& path) : path_(path) {
    first_ = ReadPng(path);
    width_ = first_.width;
    height_ = first_.height;
    frameCount_ = 1;
    files_ = {path};
  }
  std::optional<InputFrame> Next() override {
    if (done_) return std::nullopt;
    done_ = true;
    InputFrame f;
    f.label = path_;
    f.image = std::move(first_);
    return f;
  }

 private:
  std::string path_;
  BgraImage first_;
  bool done_ = false;
};

class SequenceReader : public FrameReader {
 public:
  explicit SequenceReader(const std::string& pattern) {
    list_ = ExpandSequence(pattern);
    files_ = list_.paths;
    frameCount_ = long(list_.paths.size());
    ignoredAfterGap_ = list_.ignoredAfterGap;
    first_ =
        DecodeFrame(list_.paths.front(), FrameLabel(list_.paths.front(), list_.numbers.front()));
    width_ = first_.width;
    height_ = first_.height;
  }
  std::optional<InputFrame> Next() override {
    if (next_ >= frameCount_) return std::nullopt;
    InputFrame f;
    f.index = next_;
    f.number = list_.numbers[std::size_t(next_)];
    f.label = FrameLabel(list_.paths[std::size_t(next_)], f.number);
    if (next_ == 0)
      f.image = std::move(first_);
    else
      f.path = list_.paths[std::size_t(next_)];
    ++next_;
    return f;
  }

 private:
  FrameList list_;
  BgraImage first_;
  long next_ = 0;
};

class VideoFrameReader : public FrameReader {
 public:
  VideoFrameReader(const std::string& path, const FfmpegTools& tools) : path_(path) {
    const VideoInfo info = ProbeVideo(path, tools);
    width_ = info.width;
    height_ = info.height;
    frameCount_ = info.frameCount;
    frameRate_ = info.frameRate;
    files_ = {path};
    reader_ = std::make_unique<VideoReader>(path, info, tools);
  }
  std::optional<InputFrame> Next() override {
    InputFrame f;
    if (!reader_->ReadFrame(f.image)) return std::nullopt;
    f.index = reader_->framesRead() - 1;
    f.number = reader_->framesRead();
    f.label = FrameLabel(path_, f.number);
    return f;
  }

 private:
  std::string path_;
  std::unique_ptr<VideoReader> reader_;
};

}  // namespace

std::unique_ptr<FrameReader> FrameReader::Open(const std::string& input, const FfmpegTools& tools) {
  switch (InputKindOf(input)) {
    case MediaKind::Picture:
      return std::make_unique<PictureReader>(input);
    case MediaKind::Sequence:
      return std::make_unique<SequenceReader>(input);
    case MediaKind::Video:
      return std::make_unique<VideoFrameReader>(input, tools);
  }
  throw CliError(input + ": unknown kind of input");
}

BgraImage FrameReader::Load(InputFrame& frame) const {
  BgraImage image =
      frame.path.empty() ? std::move(frame.image) : DecodeFrame(frame.path, frame.label);
  if (image.width != width_ || image.height != height_)
    throw CliError(frame.label + ": size " + std::to_string(image.width) + " x " +
                   std::to_string(image.height) + " differs from the first frame's " +
                   std::to_string(width_) + " x " + std::to_string(height_));
  return image;
}

}  // namespace mattix::cli
