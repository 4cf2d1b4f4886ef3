#pragma once
// One frei0r instance: an effect of the module that keys frames of one size,
// with the plug-in's parameters.
//
// Frames are top-down 32-bit BGRA with straight alpha, rows packed (the
// module's own layout: frei0r's BGRA8888 needs no conversion). The project
// file is read when its path is set and again whenever the file changes. A
// project that cannot be read again (damaged, cut short, deleted, caught
// half-written by an editor's save) leaves the last good one keying, and
// that is said on standard error once for each change of the file, as is
// the next good read. A frame that cannot be keyed (no project has been read
// yet, or the effect failed) does not pass through as if keyed: it is marked
// with stripes (MarkRow), and why is said on standard error. An instance
// made without an effect (the module could not be loaded) marks every frame.
//
// Every call takes the instance's lock: hosts may call one instance from
// several threads (MLT in turn, or on slices of a frame at once); calls then
// run one at a time. Different instances share nothing.
#include "host/effect/KeyingEffect.h"
#include "host/project/PluginSettings.h"
#include "host/project/Project.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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
  kShrinkGrow = 7,  //   (despill, clipblack, clipwhite, shrinkgrow, feather)
  kFeather = 8,
  kParameterCount = 9,
};

// The row of kPluginSettings a double parameter sets, or -1 (project, matte,
// an index the plug-in does not have).
int SettingOf(int index);

// Turns a keyed row into its matte in place: B = G = R = alpha, alpha 255.
void MatteRow(std::uint8_t* bgra, int width);

// Marks row y of a frame that could not be keyed, in place: diagonal stripes
// kMarkStripe pixels wide, every other one opaque magenta, the picture
// between them as it was.
inline constexpr int kMarkStripe = 8;
void MarkRow(std::uint8_t* bgra, int width, int y);

class CFrei0rKeyer {
 public:
  // The size must be one that Mattix keys (media/Image.h), not empty. A
  // null effect: every frame is marked (the reason was said by the caller).
  CFrei0rKeyer(std::unique_ptr<host::CKeyingEffect> effect, unsigned width, unsigned height);

  // frei0r's parameter calls: value points at a double for the numbers and
  // matte, at a char* for the project (copied when set; when read, set to
  // the keyer's copy, valid until the next set). The numbers read back as
  // the project's values until set. Other indexes are ignored.
  void SetParameter(int index, const void* value);
  void GetParameter(int index, void* value);

  // Keys one frame of the instance's size from in into out (the same frame,
  // or one apart from it).
  void Update(const std::uint32_t* in, std::uint32_t* out);

 private:
  // The file's identity for noticing a change: its inode (an editor's save
  // that replaces the file makes a new one), the times of its last write
  // and status change, and its size.
  struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modified = 0, changed = 0;  // nanoseconds
    bool operator==(const FileStamp&) const = default;
  };
  static std::optional<FileStamp> StampOf(const std::string& path);

  // Reads the project when its path or its file changed since the last read.
  void RefreshProject();
  bool Key(const std::uint32_t* in, std::uint32_t* out);

  std::mutex m_mutex;
  std::unique_ptr<host::CKeyingEffect> m_effect;
  std::vector<std::uint8_t> m_source;  // the input, kept when keyed in place with finishing on
  int m_width;
  int m_height;

  std::string m_projectPath;
  project::PluginValues m_values;  // 0 to 1, when set
  bool m_matte = false;

  // The project as last read: from which path and file; the settings of the
  // last good read (none before one, or with no path set) and where they
  // came from; whether the last read failed.
  std::optional<std::string> m_readPath;
  std::optional<FileStamp> m_readStamp;
  std::optional<project::ProjectSettings> m_project;
  std::string m_projectFrom;
  bool m_readFailed = false;
  // The settings the effect holds.
  std::optional<project::ProjectSettings> m_applied;
};

}  // namespace mattix::frei0r
