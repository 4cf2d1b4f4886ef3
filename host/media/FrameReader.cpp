#include "host/media/FrameReader.h"

#include "host/base/FileBytes.h"
#include "host/base/HostError.h"
#include "host/media/PictureFile.h"

#include <filesystem>
#include <limits>

namespace mattix::media {

namespace {

std::string FrameLabel(const std::string& path, long number) {
  return path + ": frame " + std::to_string(number);
}

// Decodes a picture of a frame; errors read "PATH: frame N: reason".
Picture DecodeFrame(const std::string& path, const std::string& label) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = host::ReadFileBytes(path);
  } catch (const host::HostError& e) {
    const std::string message = e.what();
    // "PATH: reason" becomes "PATH: frame N: reason".
    const std::string prefix = path + ": ";
    throw host::HostError(
        label + ": " + (message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message));
  }
  return DecodePicture(bytes.data(), bytes.size(), label);
}

// Pictures are sRGB; the matrix is the one a video of their size would
// take untagged.
VideoColour PictureColour(int width, int height) {
  VideoColour colour;
  colour.matrix = MatrixFor(2, width, height);
  colour.transfer = 13;  // AVCOL_TRC_IEC61966_2_1, sRGB
  colour.primaries = 1;  // AVCOL_PRI_BT709, sRGB's
  return colour;
}

class PictureReader : public FrameReader {
 public:
  explicit PictureReader(const std::string& path) : m_path(path) {
    const std::vector<std::uint8_t> bytes = host::ReadFileBytes(path);
    m_first = DecodePicture(bytes.data(), bytes.size(), path);
    m_sampleBits = m_first.sampleBits;
    m_width = m_first.image.width;
    m_height = m_first.image.height;
    m_colour = PictureColour(m_width, m_height);
    m_frameCount = 1;
    m_numbers = {1};
    m_files = {path};
  }
  std::optional<InputFrame> NextFrame() override {
    if (m_done) return std::nullopt;
    m_done = true;
    InputFrame f;
    f.label = m_path;
    f.image = std::move(m_first.image);
    f.deep = std::move(m_first.deep);
    return f;
  }

 private:
  std::string m_path;
  Picture m_first;
  bool m_done = false;
};

class SequenceReader : public FrameReader {
 public:
  SequenceReader(const std::string& pattern, bool allowGaps) {
    m_list = ExpandSequence(pattern, allowGaps);
    m_files = m_list.paths;
    m_frameCount = long(m_list.paths.size());
    m_numbers = m_list.numbers;
    m_gaps = m_list.gaps;
    m_first =
        DecodeFrame(m_list.paths.front(), FrameLabel(m_list.paths.front(), m_list.numbers.front()));
    m_sampleBits = m_first.sampleBits;
    m_width = m_first.image.width;
    m_height = m_first.image.height;
    m_colour = PictureColour(m_width, m_height);
  }
  std::optional<InputFrame> NextFrame() override {
    if (m_next >= long(m_list.paths.size())) return std::nullopt;
    InputFrame f;
    f.index = m_next;
    f.number = m_list.numbers[std::size_t(m_next)];
    f.label = FrameLabel(m_list.paths[std::size_t(m_next)], f.number);
    if (m_next == 0) {
      f.image = std::move(m_first.image);
      f.deep = std::move(m_first.deep);
    } else {
      f.path = m_list.paths[std::size_t(m_next)];
    }
    ++m_next;
    return f;
  }

 private:
  FrameList m_list;
  Picture m_first;
  long m_next = 0;
};

class VideoFrameReader : public FrameReader {
 public:
  explicit VideoFrameReader(const std::string& path) : m_path(path), m_info(ProbeVideo(path)) {
    m_width = m_info.width;
    m_height = m_info.height;
    m_frameCount = m_info.frameCount;
    m_frameRate = m_info.frameRate;
    m_sampleBits = m_info.sampleBits;
    m_audio = m_info.audio;
    m_colour = m_info.colour;
    for (long n = 1; n <= m_frameCount; ++n) m_numbers.push_back(n);
    m_files = {path};
  }
  void StartAt(long number) override {
    if (!m_reader) m_first = std::max(1L, number);
  }
  std::optional<InputFrame> NextFrame() override {
    // ffmpeg starts at the first frame wanted, on the first read.
    if (!m_reader) m_reader = std::make_unique<VideoReader>(m_path, m_info, m_first);
    InputFrame f;
    DeepImage deep;
    if (!m_reader->ReadFrame(f.image, &deep)) {
      // The stream ended before a frame past the range: every frame it
      // declares up to the range's end must have arrived.
      const std::string shortfall =
          m_reader->Shortfall(m_range ? m_range->second : std::numeric_limits<long>::max());
      const std::string errors = m_reader->DecoderErrors();
      const std::string said = errors.empty() ? "" : "; ffmpeg said:\n" + errors;
      if (!shortfall.empty() && !m_allowShort)
        throw host::HostError(shortfall + " (--allow-short keys the frames that arrive)" + said);
      if (!shortfall.empty())
        m_warnings.push_back(shortfall + "; keying the frames that arrived" + said);
      else if (!errors.empty())
        m_warnings.push_back(m_path +
                             ": ffmpeg reported errors while decoding (frames may be "
                             "damaged)" +
                             said);
      return std::nullopt;
    }
    if (!deep.samples.empty()) f.deep = std::move(deep);
    f.number = m_first - 1 + m_reader->framesRead();
    f.index = f.number - 1;
    f.label = FrameLabel(m_path, f.number);
    return f;
  }

 private:
  std::string m_path;
  VideoInfo m_info;
  long m_first = 1;
  std::unique_ptr<VideoReader> m_reader;
};

}  // namespace

std::unique_ptr<FrameReader> FrameReader::Open(const std::string& input,
                                               const FrameSelection& selection) {
  std::unique_ptr<FrameReader> reader;
  switch (InputKindOf(input)) {
    case MediaKind::Picture:
      if (selection.range)
        throw host::HostError(input +
                              ": is one picture; --frames selects frames of a sequence or video");
      return std::make_unique<PictureReader>(input);
    case MediaKind::Sequence:
      // Numbered frames are read by the picture readers; FFmpeg reads a
      // still of another type as one frame, not a numbered run of them.
      if (!PictureTypeOf(input))
        throw host::HostError(
            input + ": a sequence of " +
            (std::filesystem::path(input).has_extension()
                 ? std::filesystem::path(input).extension().string() + " pictures"
                 : std::string("files without a type")) +
            " cannot be read: a sequence must be of .png, .tif, .exr or "
            ".dpx pictures (a single .jpg, .bmp or .webp is read through FFmpeg)");
      reader = std::make_unique<SequenceReader>(input, selection.allowGaps);
      break;
    case MediaKind::Video:
      reader = std::make_unique<VideoFrameReader>(input);
      break;
  }
  if (!reader) throw host::HostError(input + ": unknown kind of input");
  reader->m_allowShort = selection.allowShort;
  if (const auto& range = selection.range) {
    reader->m_range = range;
    reader->StartAt(range->first);
    const std::vector<long> all = std::move(reader->m_numbers);
    for (long n : all)
      if (n >= range->first && n <= range->second) reader->m_numbers.push_back(n);
    if (reader->m_frameCount >= 0) {
      reader->m_frameCount = long(reader->m_numbers.size());
      if (reader->m_numbers.empty())
        throw host::HostError(input + ": --frames " + std::to_string(range->first) + "-" +
                              std::to_string(range->second) + " holds none of its frames (" +
                              std::to_string(all.front()) + " to " + std::to_string(all.back()) +
                              ")");
    }
  }
  return reader;
}

std::optional<InputFrame> FrameReader::Next() {
  // Numbers increase through the input: frames before the range are passed
  // over (a sequence's without decoding them), the first after it ends it.
  while (std::optional<InputFrame> frame = NextFrame()) {
    if (!m_range || (frame->number >= m_range->first && frame->number <= m_range->second))
      return frame;
    if (frame->number > m_range->second) return std::nullopt;
  }
  return std::nullopt;
}

BgraImage FrameReader::Load(InputFrame& frame, std::optional<DeepImage>* deep) const {
  BgraImage image;
  if (frame.path.empty()) {
    image = std::move(frame.image);
    if (deep) *deep = std::move(frame.deep);
  } else {
    Picture picture = DecodeFrame(frame.path, frame.label);
    image = std::move(picture.image);
    if (deep) *deep = std::move(picture.deep);
  }
  if (image.width != m_width || image.height != m_height)
    throw host::HostError(frame.label + ": size " + std::to_string(image.width) + " x " +
                          std::to_string(image.height) + " differs from the first frame's " +
                          std::to_string(m_width) + " x " + std::to_string(m_height));
  return image;
}

BgraImage ReadInputFrame(const std::string& input, std::optional<long> number) {
  std::unique_ptr<FrameReader> reader = FrameReader::Open(input);
  const bool picture = InputKindOf(input) == MediaKind::Picture;
  if (picture && number && *number != 1)
    throw host::HostError(input + ": is one picture; it has no frame " + std::to_string(*number));
  if (number && !picture) reader->StartAt(*number);
  long first = -1, last = -1;
  while (std::optional<InputFrame> frame = reader->Next()) {
    if (!number || picture || frame->number == *number) return reader->Load(*frame);
    if (first < 0) first = frame->number;
    last = frame->number;
  }
  if (first < 0 && !reader->numbers().empty()) {  // a video started past its end
    first = reader->numbers().front();
    last = reader->numbers().back();
  }
  throw host::HostError(input + ": has no frame " + std::to_string(*number) +
                        (first < 0 ? std::string()
                                   : " (its frames are " + std::to_string(first) + " to " +
                                         std::to_string(last) + ")"));
}

}  // namespace mattix::media
