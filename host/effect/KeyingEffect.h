#pragma once
// CKeyingEffect: the one way a host drives the Mattix effect module. It finds
// and loads the module, makes an instance whose parameters are defined and
// set from a project's settings, keys BGRA frames, and sets and reads the
// parameters by the names the effect defines them under (never by index).
// Every failure is a HostError naming the module's path, with the effect's
// status in hex when it gave one.
//
//   std::shared_ptr<CHostModule> module = CKeyingEffect::LoadModule();
//   CKeyingEffect effect(module, project::ReadProject("key.json"));
//   effect.SetNumber(CKeyingEffect::kSoftness, 20.0);
//   media::BgraImage keyed = effect.Key(frame);
//
// The module is looked for, in this order:
//   1. the path in the environment variable MATTIX_MODULE, when set;
//   2. libmattix.so next to the program, or next to the plug-in (a shared
//      library) this code is linked into;
//   3. for a plug-in, ../mattix/libmattix.so from its folder: the installed
//      layout, lib/frei0r-1/mattix.so beside lib/mattix/libmattix.so;
//   4. the module of the build tree this code was built in (its path is
//      compiled in), so that a freshly built tree runs without set-up.
//
// One module serves any number of instances, created from any thread; an
// instance is used by one thread at a time, and instances key at once.
#include "host/effect/EffectInstance.h"
#include "host/effect/HostModule.h"
#include "host/media/Image.h"
#include "host/project/Project.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mattix::host {

// Rows [first, first + count) of a frame; count -1: to its last row.
struct FrameRows {
  int first = 0;
  int count = -1;
};

class CKeyingEffect {
 public:
  // The effect's parameters, by the names it defines them under.
  static constexpr const char* kSoftness = "Softness";                   // number, percent
  static constexpr const char* kSpillSuppression = "Spill Suppression";  // number, percent
  static constexpr const char* kKeyRed = "Key Red";  // number 0 to 255: a picked colour
  static constexpr const char* kKeyGreen = "Key Green";
  static constexpr const char* kKeyBlue = "Key Blue";
  static constexpr const char* kLightness = "Lightness";     // 32 bytes: L0 to L3, doubles, percent
  static constexpr const char* kChromaMask = "Chroma Mask";  // the chroma mask record

  // Loads the module (at path, or found as above) and registers its effect;
  // throws HostError naming the path when it cannot be loaded, refuses to
  // register or registers nothing. A search that finds nothing throws
  // HostError listing the places (or naming MATTIX_MODULE's file).
  static std::shared_ptr<CHostModule> LoadModule();
  static std::shared_ptr<CHostModule> LoadModule(const std::string& path);

  // A new instance of module's effect (module from LoadModule) with its
  // parameters defined: at the effect's defaults, or configured from
  // settings.
  explicit CKeyingEffect(std::shared_ptr<CHostModule> module);
  CKeyingEffect(std::shared_ptr<CHostModule> module, const project::ProjectSettings& settings);
  CKeyingEffect(const CKeyingEffect&) = delete;
  CKeyingEffect& operator=(const CKeyingEffect&) = delete;

  const std::string& ModulePath() const { return m_module->Path(); }

  // Sets what a render reads: softness, spill suppression, the lightness
  // window and the chroma mask. The key colours are left as they are: the
  // effect takes a colour only as a pick (CControlHost::PickKeyColour), and
  // sets the three back to 0 once it is marked.
  void Configure(const project::ProjectSettings& settings);
  // True when Configure sets the same from a and from b (what a host that
  // keeps an instance configured compares, to skip decoding the mask again).
  static bool ConfiguresAlike(const project::ProjectSettings& a, const project::ProjectSettings& b);
  // All seven parameters as they are now (a "Lightness" value shorter than
  // 32 bytes reads as the default window).
  project::ProjectSettings Settings() const;

  // Current values by name. An unknown name, or a number asked of a byte
  // block (or the other way round), throws HostError naming it.
  double Number(const std::string& name) const;
  void SetNumber(const std::string& name, double value);
  std::vector<std::uint8_t> Data(const std::string& name) const;
  void SetData(const std::string& name, const std::vector<std::uint8_t>& bytes);
  // The parameter itself, for a host that hands it to the effect in an
  // event (CControlHost).
  CParameter& Parameter(const std::string& name) const;

  // Keys a width x height frame from in into out: 32-bit pixels, bytes B, G,
  // R, A with straight alpha, rows top-down and stride bytes apart in both.
  // field -1 keys every line, 0 or 1 the lines of that parity (counted from
  // the top, line 0 even); rows limits the keying to a band of the frame,
  // the same pixels as keying it whole. Lines not keyed are left as out has
  // them. in is read only (it may be out itself). Throws HostError for a
  // frame outside the limits of media/Image.h, rows outside it, or a render
  // that the effect refuses.
  void Key(const std::uint8_t* in, std::uint8_t* out, int width, int height, std::size_t stride,
           int field = -1, FrameRows rows = {});
  // The frame keyed; with one field the other's lines are the input's.
  media::BgraImage Key(const media::BgraImage& in, int field = -1);

  // Throws HostError "MODULE: what (status 0x...)" when status is not 0.
  void Check(PIM::Status status, const std::string& what) const;

  // The instance itself, for drawing its controls and sending it events.
  CEffectInstance& Instance() const { return *m_instance; }

 private:
  static std::string FindModule();
  CParameter& Parameter(const std::string& name, bool number) const;

  std::shared_ptr<CHostModule> m_module;
  std::unique_ptr<CEffectInstance> m_instance;
  // The input's copy that the effect keys from when the input is the
  // output itself.
  std::vector<std::uint8_t> m_input;
};

}  // namespace mattix::host
