#include "host/media/FrameWriter.h"

#include "host/base/HostError.h"
#include "host/media/PictureFile.h"
#include "host/media/PngFile.h"

#include <limits>

namespace mattix::media {

namespace {

// Compression of written PNGs: the fast mode (PngFile.h). Writing was the
// largest cost of a render; the fast mode writes a keyed 1080p frame in a
// seventh to a third of the time of the default mode, at 1 to 4 % more bytes
// for camera pictures (flat synthetic ones grow more, PngFile.cpp).
constexpr int kFramePngLevel = 1;

}  // namespace

FrameWriter::FrameWriter(const std::string& output, int width, int height,
                         const std::string& frameRate, bool force, const host::InputFiles& inputs,
                         const std::vector<long>& numbers, bool opaque,
                         std::optional<std::pair<long, long>> frames, const VideoColour& colour)
    : m_output(output),
      m_format(opaque ? PreviewFormatOf(output) : OutputFormatOf(output)),
      m_force(force),
      m_inputs(inputs),
      m_picture(PictureTypeOf(output)) {
  switch (m_format) {
    case OutputFormat::PictureSequence:
      m_pattern = ParseSequencePattern(output);
      for (long n : numbers) host::CheckOutputAllowed(FrameName(*m_pattern, n), m_force, m_inputs);
      if (!numbers.empty()) frames = std::pair(numbers.front(), numbers.back());
      m_lock = std::make_unique<host::OutputLock>(
          m_output, frames.value_or(std::pair(0L, std::numeric_limits<long>::max())));
      break;
    case OutputFormat::Picture:
      host::CheckOutputAllowed(m_output, m_force, m_inputs);
      m_lock = std::make_unique<host::OutputLock>(m_output, std::nullopt);
      break;
    case OutputFormat::ProRes4444:
    case OutputFormat::Vp9Alpha:
    case OutputFormat::OpaqueVideo:
      CheckOutputAllowed(m_output, m_force, m_inputs);
      m_lock = std::make_unique<host::OutputLock>(m_output, std::nullopt);
      m_file = std::make_unique<host::OutputFile>(m_output, m_force);
      m_video = std::make_unique<VideoWriter>(m_output, m_file->descriptor(), m_format, width,
                                              height, frameRate, colour);
      break;
  }
}

FrameWriter::~FrameWriter() {
  // The encoder is closed before its unfinished file is removed, and the
  // output unlocked last.
  m_video.reset();
  m_file.reset();
  m_lock.reset();
}

EncodedFrame FrameWriter::Encode(const BgraImage& frame, long number, const DeepImage* deep) const {
  EncodedFrame e;
  e.number = number;
  if (m_video)
    e.video = m_video->Convert(frame, number, deep);
  else
    e.bytes = EncodePicture(*m_picture, frame, deep,
                            m_pattern ? FrameName(*m_pattern, number) : m_output, kFramePngLevel);
  return e;
}

EncodedFrame FrameWriter::EncodeGrey(const GreyImage& frame, long number) const {
  EncodedFrame e;
  e.number = number;
  if (m_picture == PictureType::Png) {
    e.bytes =
        EncodePngGrey(frame, m_pattern ? FrameName(*m_pattern, number) : m_output, kFramePngLevel);
    return e;
  }
  BgraImage grey(frame.width, frame.height);
  for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
    std::uint8_t* p = &grey.pixels[i * 4];
    p[0] = p[1] = p[2] = frame.pixels[i];
    p[3] = 255;
  }
  return Encode(grey, number);
}

void FrameWriter::Write(EncodedFrame&& frame) {
  switch (m_format) {
    case OutputFormat::PictureSequence: {
      const std::string path = FrameName(*m_pattern, frame.number);
      if (m_inputs.Contains(path))
        throw host::HostError(path +
                              ": the output is one of the inputs; choose another output name");
      host::WriteFileAtomically(path, frame.bytes, m_force);
      break;
    }
    case OutputFormat::Picture:
      if (m_wroteSingle)
        throw host::HostError(m_output + ": a single picture cannot take a second frame");
      if (m_inputs.Contains(m_output))
        throw host::HostError(m_output +
                              ": the output is one of the inputs; choose another output name");
      host::WriteFileAtomically(m_output, frame.bytes, m_force);
      m_wroteSingle = true;
      break;
    case OutputFormat::ProRes4444:
    case OutputFormat::Vp9Alpha:
    case OutputFormat::OpaqueVideo:
      m_video->WritePicture(*frame.video);
      break;
  }
}

void FrameWriter::Finish() {
  if (!m_video) return;
  m_video->Finish();
  m_video.reset();
  m_file->Commit();
  m_file.reset();
}

}  // namespace mattix::media
