#pragma once
// One frei0r instance: frames of one size keyed by a plug-in keyer
// (render/PluginKeyer.h says how: the project read again when it changes,
// the last good key kept, frames that cannot be keyed marked), with the
// plug-in's parameters in frei0r's order. Messages go to standard error.
//
// Frames are top-down 32-bit BGRA with straight alpha, rows packed (the
// module's own layout: frei0r's BGRA8888 needs no conversion). Hosts may
// call one instance from several threads (MLT in turn, or on slices of a
// frame at once); the keyer runs them one at a time. Different instances
// share nothing.
#include "host/effect/KeyingEffect.h"
#include "host/render/PluginKeyer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace mattix::frei0r {

// The plug-in's parameters, in the order frei0r hosts pass them (FFmpeg by
// position): the first four as they always were, then matte finishing.
// The doubles are the settings of project/PluginSettings.h: NaN or below 0
// leaves the project's value.
enum ParameterIndex : int {
  kProject = 0,     // string: path of a project file
  kSoftness = 1,    // double: softness
  kSpill = 2,       // double: spill suppression
  kMatte = 3,       // bool: output the matte (alpha as opaque grey)
  kDespill = 4,     // doubles: finishing, in the order of kPluginSettings
  kShrinkGrow = 7,  //   (despill, clipblack, clipwhite, shrinkgrow, feather,
  kFeather = 8,     //   despilledge, unmix, refine, closeholes)
  kDespillEdge = 9,
  kUnmix = 10,
  kRefine = 11,
  kCloseHoles = 12,
  kParameterCount = 13,
};

// The row of kPluginSettings a double parameter sets, or -1 (project, matte,
// an index the plug-in does not have).
int SettingOf(int index);

class CFrei0rKeyer {
 public:
  // The size must be one that Mattix keys (media/Image.h), not empty. A
  // null effect: every frame is marked (the reason was said by the caller).
  CFrei0rKeyer(std::unique_ptr<host::CKeyingEffect> effect, unsigned width, unsigned height);

  // frei0r's parameter calls: value points at a double for the numbers and
  // matte, at a char* for the project (copied when set; when read, set to
  // the instance's copy, valid until the next set). The numbers read back
  // as the project's values until set. Other indexes are ignored.
  void SetParameter(int index, const void* value);
  void GetParameter(int index, void* value);

  // Keys one frame of the instance's size from in into out (the same frame,
  // or one apart from it).
  void Update(const std::uint32_t* in, std::uint32_t* out);

 private:
  render::CPluginKeyer m_keyer;
  int m_width;
  int m_height;
  std::mutex m_pathMutex;
  std::string m_projectPath;  // what GetParameter hands out
};

}  // namespace mattix::frei0r
