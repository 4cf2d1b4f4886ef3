#include "host/media/ExrFile.h"

#include "host/base/HostError.h"
#include "host/media/DeepKey.h"

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

namespace mattix::media {

namespace {

class MemoryInput : public Imf::IStream {
 public:
  MemoryInput(const std::uint8_t* data, std::size_t size, const std::string& name)
      : Imf::IStream(name.c_str()), m_data(data), m_size(size) {}
  bool read(char c[], int n) override {
    if (n < 0 || std::size_t(n) > m_size - std::min(m_pos, m_size))
      throw std::runtime_error("the file is truncated");
    std::memcpy(c, m_data + m_pos, std::size_t(n));
    m_pos += std::size_t(n);
    return m_pos < m_size;
  }
  std::uint64_t tellg() override { return m_pos; }
  void seekg(std::uint64_t pos) override { m_pos = std::size_t(pos); }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

class MemoryOutput : public Imf::OStream {
 public:
  explicit MemoryOutput(const std::string& name) : Imf::OStream(name.c_str()) {}
  void write(const char c[], int n) override {
    if (m_pos + std::size_t(n) > bytes.size()) bytes.resize(m_pos + std::size_t(n));
    std::memcpy(bytes.data() + m_pos, c, std::size_t(n));
    m_pos += std::size_t(n);
  }
  std::uint64_t tellp() override { return m_pos; }
  void seekp(std::uint64_t pos) override { m_pos = std::size_t(pos); }
  std::vector<std::uint8_t> bytes;

 private:
  std::size_t m_pos = 0;
};

}  // namespace

bool IsExr(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint8_t kMagic[4] = {0x76, 0x2f, 0x31, 0x01};
  return size >= 4 && std::memcmp(data, kMagic, 4) == 0;
}

DeepImage DecodeExr(const std::uint8_t* data, std::size_t size, const std::string& name) {
  try {
    MemoryInput stream(data, size, name);
    Imf::InputFile file(stream);
    const Imath::Box2i window = file.header().dataWindow();
    const std::int64_t width = std::int64_t(window.max.x) - window.min.x + 1;
    const std::int64_t height = std::int64_t(window.max.y) - window.min.y + 1;
    if (width <= 0 || height <= 0) throw std::runtime_error("an empty data window");
    if (!FrameSizeAllowed(std::uint64_t(width), std::uint64_t(height)))
      throw host::HostError(
          FrameTooLargeMessage(name, "picture", std::uint64_t(width), std::uint64_t(height)));
    const Imf::ChannelList& channels = file.header().channels();
    const bool grey = !channels.findChannel("R") && channels.findChannel("Y");
    const Imf::Channel* first = channels.findChannel(grey ? "Y" : "R");
    if (!first) throw host::HostError(name + ": an OpenEXR without R, G, B or Y channels");
    DeepImage image(static_cast<int>(width), static_cast<int>(height));
    image.floating = true;
    image.linear = true;
    image.sampleBits = first->type == Imf::FLOAT ? 32 : 16;
    // Slices into the interleaved floats, addressed from the data window's
    // origin; a missing channel takes its fill value (alpha 1).
    float* base = image.samples.data() - (std::int64_t(window.min.y) * width + window.min.x) * 4;
    const std::size_t xStride = sizeof(float) * 4, yStride = xStride * std::size_t(width);
    Imf::FrameBuffer buffer;
    const char* names[4] = {grey ? "Y" : "R", grey ? "Y" : "G", grey ? "Y" : "B", "A"};
    for (int c = 0; c < 4; ++c)
      buffer.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(base + c), xStride,
                                         yStride, 1, 1, c == 3 ? 1.0 : 0.0));
    file.setFrameBuffer(buffer);
    file.readPixels(window.min.y, window.max.y);
    for (std::size_t i = 0; i < image.samples.size(); i += 4) {
      const float a = image.samples[i + 3];
      if (a > 0.0f && a != 1.0f)
        for (int c = 0; c < 3; ++c) image.samples[i + std::size_t(c)] /= a;
    }
    return image;
  } catch (const host::HostError&) {
    throw;
  } catch (const std::exception& e) {
    throw host::HostError(name + ": corrupt or unreadable OpenEXR (" + e.what() + ")");
  }
}

std::vector<std::uint8_t> EncodeExr(const DeepImage& image, const std::string& name) {
  try {
    const Imf::PixelType type = image.floating && image.sampleBits == 32 ? Imf::FLOAT : Imf::HALF;
    Imf::Header header(image.width, image.height);
    header.compression() = Imf::ZIP_COMPRESSION;
    const char* names[4] = {"R", "G", "B", "A"};
    for (const char* n : names) header.channels().insert(n, Imf::Channel(type));
    MemoryOutput stream(name);
    {
      // The file is complete once its writer is gone (it writes the offsets
      // of its lines last).
      Imf::OutputFile file(stream, header);
      // Linear colour premultiplied by alpha, in the channels' own type;
      // every sample is written, so the buffer starts uninitialised.
      const std::size_t count = image.samples.size();
      std::unique_ptr<float[]> floats(type == Imf::FLOAT ? new float[count] : nullptr);
      std::unique_ptr<Imath::half[]> halves(type == Imf::HALF ? new Imath::half[count] : nullptr);
      // Sample i as written (i % 4 == 3: alpha).
      const auto premultiplied = [&image](std::size_t i) {
        const float s = image.samples[i];
        if (i % 4 == 3) return s;
        return (image.linear ? s : SrgbDecode(s)) * image.samples[i | 3];
      };
      if (floats)
        for (std::size_t i = 0; i < count; ++i) floats[i] = premultiplied(i);
      else
        for (std::size_t i = 0; i < count; ++i) halves[i] = Imath::half(premultiplied(i));
      char* base =
          floats ? reinterpret_cast<char*>(floats.get()) : reinterpret_cast<char*>(halves.get());
      const std::size_t size = floats ? sizeof(float) : sizeof(Imath::half);
      const std::size_t xStride = size * 4, yStride = xStride * std::size_t(image.width);
      Imf::FrameBuffer buffer;
      for (int c = 0; c < 4; ++c)
        buffer.insert(names[c], Imf::Slice(type, base + size * std::size_t(c), xStride, yStride));
      file.setFrameBuffer(buffer);
      file.writePixels(image.height);
    }
    return std::move(stream.bytes);
  } catch (const std::exception& e) {
    throw host::HostError(name + ": cannot encode OpenEXR (" + e.what() + ")");
  }
}

}  // namespace mattix::media
