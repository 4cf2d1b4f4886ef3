#include "host/cli/KeyCommand.h"

#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/effect/ControlHost.h"
#include "host/effect/KeyingEffect.h"
#include "host/media/FrameReader.h"
#include "host/media/PngFile.h"
#include "host/project/Project.h"

#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace mattix::cli {

namespace {

// Splits "a,b,c" into exactly `count` numbers in [min, max]; throws host::HostError
// about the text alone.
std::vector<double> ParseList(std::string_view text, std::size_t count, double min, double max) {
  std::vector<double> values;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    values.push_back(project::ParseNumber(text.substr(start, comma - start), min, max));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (values.size() != count)
    throw host::HostError("\"" + std::string(text) + "\" is not " + std::to_string(count) +
                          " numbers separated by commas");
  return values;
}

}  // namespace

namespace {

std::array<double, 3> ParseColour(const std::string& text, const std::string& project) {
  try {
    const std::vector<double> c = ParseList(text, 3, 0.0, 255.0);
    return {c[0], c[1], c[2]};
  } catch (const host::HostError& e) {
    throw host::HostError(project + ": --colour " + e.what());
  }
}

std::array<double, 3> PixelColour(const std::string& at, std::optional<long> frame,
                                  const std::string& project) {
  const std::size_t colon = at.rfind(':');
  if (colon == std::string::npos || colon == 0)
    throw host::HostError(project + ": --at \"" + at + "\" is not INPUT:X,Y");
  const std::string input = at.substr(0, colon);
  std::vector<double> xy;
  try {
    xy = ParseList(std::string_view(at).substr(colon + 1), 2, -1e9, 1e9);
  } catch (const host::HostError& e) {
    throw host::HostError(input + ": --at " + e.what());
  }
  if (xy[0] != std::floor(xy[0]) || xy[1] != std::floor(xy[1]))
    throw host::HostError(input + ": --at needs whole pixel coordinates");
  const media::BgraImage picture = media::ReadInputFrame(input, frame);
  if (xy[0] < 0 || xy[1] < 0 || xy[0] >= picture.width || xy[1] >= picture.height)
    throw host::HostError(input + ": pixel " + at.substr(colon + 1) + " is outside the picture (" +
                          std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                          ")");
  const std::uint8_t* p = picture.Row(int(xy[1])) + std::size_t(xy[0]) * 4;  // B, G, R, A
  return {double(p[2]), double(p[1]), double(p[0])};
}

// The colours that `o` names: each --colour "R,G,B", then the pixel of each
// --at "INPUT:X,Y" (the last ':' ends the file name) in the frame --frame of
// its input. Throws host::HostError naming the project for a colour not
// understood, and the input for a pixel outside it or a frame that cannot be
// read.
std::vector<std::array<double, 3>> KeyColours(const KeyOptions& o) {
  std::vector<std::array<double, 3>> colours;
  for (const std::string& text : o.colours) colours.push_back(ParseColour(text, o.project));
  for (const std::string& at : o.ats) colours.push_back(PixelColour(at, o.frame, o.project));
  return colours;
}

}  // namespace

int KeyPick(const KeyOptions& o) {
  project::ProjectSettings settings;
  if (struct stat st{}; ::stat(o.project.c_str(), &st) == 0)
    settings = project::ReadProject(o.project);
  const std::vector<std::array<double, 3>> colours = KeyColours(o);

  host::CKeyingEffect effect(host::CKeyingEffect::LoadModule(), settings);
  {
    host::CControlHost controls(effect);
    // One user change per colour, as a host sends successive picks; each
    // marks on the mask the previous ones left, so their order does not matter.
    for (const std::array<double, 3>& colour : colours)
      effect.Check(
          controls.PickKeyColour(colour[0], colour[1], colour[2], host::Keys{o.disc, false}).status,
          "the effect could not take the key colour");
  }
  settings.chromaMask = effect.Data(host::CKeyingEffect::kChromaMask);
  // The project records the last colour picked, as the host's parameters would.
  settings.keyRed = colours.back()[0];
  settings.keyGreen = colours.back()[1];
  settings.keyBlue = colours.back()[2];
  const std::string text = project::ProjectToJson(settings);
  host::WriteFileAtomically(o.project, std::vector<std::uint8_t>(text.begin(), text.end()), true);
  for (const std::array<double, 3>& colour : colours)
    std::printf("%s: key colour %g,%g,%g marked%s\n", o.project.c_str(), colour[0], colour[1],
                colour[2], o.disc ? " with a disc around it" : "");
  return 0;
}

}  // namespace mattix::cli
