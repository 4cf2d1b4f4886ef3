#pragma once
// Matte finishing: what the host does to a frame after the effect module has
// keyed it, stored in the project file under "finishing". Every step is off
// by default, and a project without "finishing" keys exactly as the module
// does.
//
//   "finishing": {
//     "despill": 60.0,        percent, 0 to 100: how much of the screen
//                             channel's excess over the mean of the other
//                             two is taken off every pixel (0: off)
//     "despillEdge": 12.0,    pixels, 0 to 32: within this distance of the
//                             matte's edge, despill limits the screen channel
//                             to the balance of the subject's own colour
//                             further in (0: the mean of the other two
//                             everywhere); only with despill on
//     "unmix": 100.0,         percent, 0 to 100: how much of the clear
//                             screen's colour nearby is taken out of the
//                             pixels the key leaves partly transparent
//                             (0: off)
//     "screen": "green",      "green" or "blue": the channel despill limits
//     "refine": 2.0,          pixels, 0 to 8: the matte refined by a guided
//                             filter of the picture's colour over windows
//                             of this radius, before the other steps (0: off)
//     "clipBlack": 10.0,      percent of alpha, 0 to 100: at or below, 0
//     "clipWhite": 90.0,      percent of alpha, above clipBlack: at or above,
//                             full; levels between are stretched
//     "closeHoles": 70.0,     percent of alpha, 0 to 100: after the clips, a
//                             pixel at or above this level becomes full when
//                             one of its eight neighbours is full and none
//                             clear (a pixel beside a clear one is on the
//                             outline and keeps its level); two passes, so
//                             a full pixel reaches two pixels in. It closes
//                             the subject's rim that the screen's light made
//                             look partly clear (0: off)
//     "shrinkGrow": -0.5,     pixels, -8 to 8: the matte shrinks (negative)
//                             or grows by this radius
//     "feather": 1.0,         pixels, 0 to 8: a Gaussian blur of the matte
//                             after shrink/grow, of this standard deviation
//     "shapes": [             garbage mattes, in picture pixels (x to the
//       {"keep": false,       right, y down, from the top-left corner):
//        "points": [[x, y], ...]}   outside every shape with "keep" false
//     ]                             the frame is keyed away; inside a shape
//   }                               with "keep" true nothing is keyed
//
// Members may be left out (their defaults are those of "off": 0, 0, 0,
// "green", 0, 0, 100, 0, 0, 0, no shapes); unknown members are refused.
#include "host/base/Json.h"

#include <array>
#include <string>
#include <vector>

namespace mattix::project {

enum class ScreenChannel { kGreen, kBlue };

// A polygon on the picture; a pixel is inside when its centre is (even-odd
// rule, as the drawing layer fills polygons).
struct MatteShape {
  bool keep = false;  // false: a garbage matte (keys away what lies outside)
  std::vector<std::array<double, 2>> points;
  bool operator==(const MatteShape&) const = default;
};

struct MatteFinishing {
  static constexpr double kMaxRadius = 8.0;        // shrinkGrow and feather, pixels
  static constexpr double kMaxEdge = 32.0;         // despillEdge, pixels
  static constexpr std::size_t kMaxShapes = 64;    // per project
  static constexpr std::size_t kMaxPoints = 4096;  // per shape
  static constexpr double kMaxCoordinate = 1e6;    // pixels, either sign

  double despill = 0.0;
  double despillEdge = 0.0;
  double unmix = 0.0;
  ScreenChannel screen = ScreenChannel::kGreen;
  double refine = 0.0;
  double clipBlack = 0.0;
  double clipWhite = 100.0;
  double closeHoles = 0.0;
  double shrinkGrow = 0.0;
  double feather = 0.0;
  std::vector<MatteShape> shapes;

  // True when no step changes a frame.
  bool IsOff() const;
  bool operator==(const MatteFinishing&) const = default;
};

// Reads the "finishing" member; errors name `name` and the place in the text.
// Throws host::HostError.
MatteFinishing ReadFinishing(const host::JsonValue& value, const std::string& name);

// The "finishing" member as written in project files.
host::JsonValue FinishingToJson(const MatteFinishing& finishing);

// Checks every value against its range; throws host::HostError naming
// `name` and the setting.
void ValidateFinishing(const MatteFinishing& finishing, const std::string& name);

// The steps that are on, as one line: "refine 1 px, clip 3 to 97 %, unmix
// 100 %, despill 100 %, despill edge 10 px, green screen" ("off" for none).
std::string DescribeFinishing(const MatteFinishing& finishing);

}  // namespace mattix::project
