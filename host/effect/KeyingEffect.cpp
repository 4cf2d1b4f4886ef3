#include "host/effect/KeyingEffect.h"

#include "host/base/HostError.h"
#include "host/effect/Image.h"

#include <dlfcn.h>
#include <link.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace mattix::host {

namespace {

namespace fs = std::filesystem;

// "Lightness" holds little-endian doubles: the machine's own order.
static_assert(std::endian::native == std::endian::little);

std::string Hex(PIM::Status status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(status));
  return text;
}

// The places after MATTIX_MODULE, in order. The object holding this code is
// found through an address inside it: a shared library (a plug-in) has a
// name of its own there, the program has none and is read from /proc.
std::vector<std::string> ModulePlaces() {
  static const char anchor = 0;
  std::vector<std::string> places;
  Dl_info info{};
  link_map* map = nullptr;
  const bool plugin =
      dladdr1(&anchor, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) != 0 &&
      map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0';
  std::error_code error;
  const fs::path self = plugin ? fs::path(map->l_name) : fs::read_symlink("/proc/self/exe", error);
  if (!error && !self.empty()) {
    places.push_back((self.parent_path() / "libmattix.so").string());
    if (plugin) places.push_back((self.parent_path() / ".." / "mattix" / "libmattix.so").string());
  }
#ifdef MATTIX_BUILD_TREE_MODULE
  places.push_back(MATTIX_BUILD_TREE_MODULE);
#endif
  return places;
}

}  // namespace

std::string CKeyingEffect::FindModule() {
  if (const char* path = std::getenv("MATTIX_MODULE"); path != nullptr && *path != '\0') {
    if (!fs::exists(path)) throw HostError(std::string(path) + " (MATTIX_MODULE): no such module");
    return path;
  }
  const std::vector<std::string> places = ModulePlaces();
  for (const std::string& place : places)
    if (fs::exists(place)) return place;
  std::string message = "the effect module libmattix.so was not found (looked at";
  for (const std::string& place : places) message += " " + place;
  throw HostError(message + "; set MATTIX_MODULE to its path)");
}

std::shared_ptr<CHostModule> CKeyingEffect::LoadModule() { return LoadModule(FindModule()); }

std::shared_ptr<CHostModule> CKeyingEffect::LoadModule(const std::string& path) {
  std::shared_ptr<CHostModule> module = CHostModule::Load(path);
  if (const PIM::Status s = module->RegisterEffects(); s != PIM::kOk)
    throw HostError(path + ": the module refused to register its effect (status " + Hex(s) + ")");
  if (module->Effects().empty()) throw HostError(path + ": the module registered no effect");
  return module;
}

CKeyingEffect::CKeyingEffect(std::shared_ptr<CHostModule> module)
    : m_module(std::move(module)), m_instance(m_module->CreateInstance()) {
  Check(m_instance->DefineParameters(), "the effect refused to define its parameters");
}

CKeyingEffect::CKeyingEffect(std::shared_ptr<CHostModule> module,
                             const project::ProjectSettings& settings)
    : CKeyingEffect(std::move(module)) {
  Configure(settings);
}

void CKeyingEffect::Check(PIM::Status status, const std::string& what) const {
  if (status != PIM::kOk)
    throw HostError(ModulePath() + ": " + what + " (status " + Hex(status) + ")");
}

CParameter& CKeyingEffect::Parameter(const std::string& name) const {
  CParameter* parameter = m_instance->Parameter(name);
  if (parameter == nullptr)
    throw HostError(ModulePath() + ": the effect has no parameter \"" + name + "\"");
  return *parameter;
}

CParameter& CKeyingEffect::Parameter(const std::string& name, bool number) const {
  CParameter& parameter = Parameter(name);
  if (parameter.IsNumber() != number)
    throw HostError(ModulePath() + ": the effect's parameter \"" + name + "\" is not a " +
                    (number ? "number" : "byte block"));
  return parameter;
}

double CKeyingEffect::Number(const std::string& name) const {
  return Parameter(name, true).CurrentNumber()->Value();
}

void CKeyingEffect::SetNumber(const std::string& name, double value) {
  Check(Parameter(name, true).CurrentNumber()->Set(value), "\"" + name + "\" could not be set");
}

std::vector<std::uint8_t> CKeyingEffect::Data(const std::string& name) const {
  return Parameter(name, false).CurrentData()->Bytes();
}

void CKeyingEffect::SetData(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  Check(Parameter(name, false).CurrentData()->Set(std::uint32_t(bytes.size()), bytes.data()),
        "\"" + name + "\" could not be set");
}

void CKeyingEffect::Configure(const project::ProjectSettings& settings) {
  SetNumber(kSoftness, settings.softness);
  SetNumber(kSpillSuppression, settings.spillSuppression);
  std::vector<std::uint8_t> lightness(sizeof settings.lightness);
  std::memcpy(lightness.data(), settings.lightness.data(), lightness.size());
  SetData(kLightness, lightness);
  SetData(kChromaMask, settings.chromaMask);
}

bool CKeyingEffect::ConfiguresAlike(const project::ProjectSettings& a,
                                    const project::ProjectSettings& b) {
  return a.softness == b.softness && a.spillSuppression == b.spillSuppression &&
         a.lightness == b.lightness && a.chromaMask == b.chromaMask;
}

project::ProjectSettings CKeyingEffect::Settings() const {
  project::ProjectSettings s;
  s.softness = Number(kSoftness);
  s.spillSuppression = Number(kSpillSuppression);
  s.keyRed = Number(kKeyRed);
  s.keyGreen = Number(kKeyGreen);
  s.keyBlue = Number(kKeyBlue);
  if (const std::vector<std::uint8_t> bytes = Data(kLightness); bytes.size() >= sizeof s.lightness)
    std::memcpy(s.lightness.data(), bytes.data(), sizeof s.lightness);
  s.chromaMask = Data(kChromaMask);
  return s;
}

void CKeyingEffect::Key(const std::uint8_t* in, std::uint8_t* out, int width, int height,
                        std::size_t stride, int field, FrameRows rows) {
  if (width < 1 || height < 1 ||
      !media::FrameSizeAllowed(std::uint64_t(width), std::uint64_t(height)))
    throw HostError(media::FrameTooLargeMessage(ModulePath(), "frame", std::uint64_t(width),
                                                std::uint64_t(height)));
  const std::size_t rowBytes = std::size_t(width) * 4;
  if (stride < rowBytes || stride > std::size_t(INT32_MAX))
    throw HostError(ModulePath() + ": rows " + std::to_string(stride) +
                    " bytes apart cannot hold " + std::to_string(width) + " pixels");
  if (field < -1 || field > 1)
    throw HostError(ModulePath() + ": no field " + std::to_string(field));
  const int count = rows.count < 0 ? height - rows.first : rows.count;
  if (rows.first < 0 || count < 1 || rows.first > height - count)
    throw HostError(ModulePath() + ": rows " + std::to_string(rows.first) + " to " +
                    std::to_string(rows.first + count - 1) + " lie outside the frame of " +
                    std::to_string(height) + " rows");

  // The band is a frame of its own, whose line 0 is the frame's line
  // rows.first: a field keeps its parity in the frame's numbering. The
  // effect writes into a source only to make premultiplied alpha straight,
  // and these frames are straight: the input is lent as it is, unless it is
  // the output itself (the effect copies a frame it has no mask for, which
  // must not be onto itself).
  std::uint8_t* band = out + stride * std::size_t(rows.first);
  PIM::RefPtr<CImage> input;
  if (in == out) {
    m_input.resize(rowBytes * std::size_t(count));
    for (int y = 0; y < count; ++y)
      std::memcpy(m_input.data() + rowBytes * std::size_t(y),
                  in + stride * std::size_t(rows.first + y), rowBytes);
    input = CImage::WrapBgra(m_input.data(), width, count, std::int32_t(rowBytes), false);
  } else {
    input = CImage::WrapBgra(const_cast<std::uint8_t*>(in) + stride * std::size_t(rows.first),
                             width, count, std::int32_t(stride), false);
  }
  const PIM::RefPtr<CImage> output =
      CImage::WrapBgra(band, width, count, std::int32_t(stride), false);
  const PIM::Status status = field < 0
                                 ? m_instance->Render(*output, *input)
                                 : m_instance->Render(*output, *input, 1, (field + rows.first) & 1);
  Check(status, "the effect could not key the frame");
}

media::BgraImage CKeyingEffect::Key(const media::BgraImage& in, int field) {
  media::BgraImage out = field < 0 ? media::BgraImage(in.width, in.height) : in;
  Key(in.pixels.data(), out.pixels.data(), in.width, in.height, in.Stride(), field);
  return out;
}

}  // namespace mattix::host
