#pragma once
// CPluginKeyer: what a plug-in inside another program (frei0r in FFmpeg and
// MLT, the GStreamer element) does with the frames it is handed: keys them
// through an effect with a project file's settings and the plug-in's own
// values over them (project/PluginSettings.h), then the project's matte
// finishing, and the matte as grey when asked.
//
// The project file is read when its path is set and again whenever the
// file changes (its inode, times or size: checked before every frame, so an
// editor's preview follows each save). A project that cannot be read again
// (damaged, cut short, deleted, caught half-written by an editor's save)
// leaves the last good one keying, and that is said once for each change of
// the file, as is the next good read. A frame that cannot be keyed (no
// project has been read yet, no effect, or the effect failed) does not pass
// through as if keyed: it is marked with stripes (MarkRow), and why is said.
//
// Frames are top-down 32-bit BGRA with straight alpha (the module's own
// layout), rows `stride` bytes apart. Every call takes the keyer's lock: a
// host may call from several threads; calls then run one at a time.
#include "host/effect/KeyingEffect.h"
#include "host/project/PluginSettings.h"
#include "host/project/Project.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mattix::render {

// What becomes of frames that cannot be keyed (MarkRow), for messages.
inline constexpr const char* kMarked = "frames are marked with magenta stripes, not keyed";

// The plug-ins' texts (frei0r and GStreamer): the filter, and its two
// parameters besides the project's settings.
inline constexpr const char* kFilterName = "Mattix chroma key";
inline constexpr const char* kFilterExplanation =
    "Keys the colours drawn on the Mattix hue/saturation wheel within its lightness window, with "
    "softness, spill suppression and matte finishing, as set in a Mattix project file";
inline constexpr const char* kProjectExplanation =
    "Path of a Mattix project file (mattix key auto, mattix serve); frames are marked with "
    "magenta stripes, not keyed, until one is read";
inline constexpr const char* kMatteExplanation =
    "Output the matte (the key's alpha as grey) instead of the picture";

// Turns a keyed BGRA row into its matte in place: B = G = R = alpha, alpha 255.
void MatteRow(std::uint8_t* bgra, int width);

// Marks row y of a frame that could not be keyed, in place: diagonal stripes
// kMarkStripe pixels wide, every other one opaque magenta (B = R = 255, G =
// 0, in BGRA and RGBA alike), the picture between them as it was.
inline constexpr int kMarkStripe = 8;
void MarkRow(std::uint8_t* pixels, int width, int y);

class CPluginKeyer {
 public:
  // Says a message to the host's user (a plug-in's only channel).
  using Reporter = std::function<void(const std::string&)>;

  // A null effect: every frame is marked (the caller said why).
  CPluginKeyer(std::unique_ptr<host::CKeyingEffect> effect, Reporter report);

  void SetProjectPath(const std::string& path);
  std::string ProjectPath();
  // A value of kPluginSettings[setting] as a host gives it (NaN or below 0:
  // the project's); an index out of range is ignored.
  void SetValue(std::size_t setting, double value);
  // The value as set, or the project's (the defaults' before one is read).
  double Value(std::size_t setting);
  void SetMatte(bool matte);
  bool Matte();

  // Keys a width x height frame from in into out (the same frame, or one
  // apart from it). false when the frame was marked instead.
  bool Key(const std::uint8_t* in, std::uint8_t* out, int width, int height, std::size_t stride);

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
  bool KeyFrame(const std::uint8_t* in, std::uint8_t* out, int width, int height,
                std::size_t stride);

  std::mutex m_mutex;
  std::unique_ptr<host::CKeyingEffect> m_effect;
  Reporter m_report;
  std::vector<std::uint8_t> m_source;  // the input, kept when keyed in place with finishing on

  std::string m_projectPath;
  project::PluginValues m_values;  // 0 to 1, when set
  bool m_matte = false;

  // The project as last read: from which path and file; the settings of the
  // last good read (none before one, or with no path set) and where they
  // came from; whether the last read failed; whether a failure to key was
  // said already.
  std::optional<std::string> m_readPath;
  std::optional<FileStamp> m_readStamp;
  std::optional<project::ProjectSettings> m_project;
  std::string m_projectFrom;
  bool m_readFailed = false;
  std::string m_keyFailure;
  // The settings the effect holds.
  std::optional<project::ProjectSettings> m_applied;
};

}  // namespace mattix::render
