// mattix_samplegen OUTDIR: writes the shipped sample, OUTDIR/greenscreen.png,
// the mask that keys its green as a picture (OUTDIR/green-mask.png, to edit
// in a paint program) and the sample project OUTDIR/key.json.
// mattix_samplegen --scene green|blue PICTURE ALPHA [FOREGROUND]: writes the
// sample's scene before a green or a blue screen (480 x 320) and its true
// alpha, the matte a perfect key would give, as a grey picture; and the
// scene without the screen's spill, the subject's true colour.
#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/media/PngFile.h"
#include "host/project/MaskRecord.h"
#include "host/project/Project.h"
#include "host/samples/SampleScene.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  using namespace mattix;
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool scene = mode == "--scene" && (argc == 5 || argc == 6) &&
                     (std::string(argv[2]) == "green" || std::string(argv[2]) == "blue");
  if (argc != 2 && !scene) {
    std::fprintf(stderr,
                 "usage: mattix_samplegen OUTDIR\n"
                 "       mattix_samplegen --scene green|blue PICTURE ALPHA [FOREGROUND]\n");
    return 2;
  }
  if (scene) {
    try {
      const samples::SampleFrame frame = samples::ScreenScene(
          480, 320,
          std::string(argv[2]) == "green" ? samples::Backdrop::Green : samples::Backdrop::Blue);
      host::WriteFileAtomically(argv[3], media::EncodePng(frame.picture, argv[3], 9), true);
      host::WriteFileAtomically(argv[4], media::EncodePngGrey(frame.alpha, argv[4], 9), true);
      if (argc == 6)
        host::WriteFileAtomically(argv[5], media::EncodePng(frame.foreground, argv[5], 9), true);
      std::printf("wrote %s and %s%s%s\n", argv[3], argv[4], argc == 6 ? " and " : "",
                  argc == 6 ? argv[5] : "");
      return 0;
    } catch (const host::HostError& e) {
      std::fprintf(stderr, "mattix_samplegen: %s\n", e.what());
      return 1;
    }
  }
  const std::string dir = argv[1];
  try {
    const std::string picturePath = dir + "/greenscreen.png";
    const std::string maskPath = dir + "/green-mask.png";
    const std::string projectPath = dir + "/key.json";
    host::WriteFileAtomically(
        picturePath, media::EncodePng(samples::GreenScreenPicture(480, 320), picturePath, 9), true);
    const media::GreyImage mask = samples::SampleMaskPicture();
    host::WriteFileAtomically(maskPath, media::EncodePngGrey(mask, maskPath, 9), true);
    project::ProjectSettings project;
    // The mask is painted to the wheel pixel, so it is not blurred; the
    // colours it keys partly (edges, the glass) lose their green entirely.
    project.softness = 0.0;
    project.spillSuppression = 100.0;
    project.lightness = {2.0, 8.0, 92.0, 98.0};
    project.chromaMask = project::MaskRecordFromPicture(mask, maskPath);
    // The green the screen spilled on the subject's opaque edge (which the
    // key leaves, as it keys nothing there) is taken off after the key,
    // down to the subject's own colour over the 10 pixels it reaches.
    project.finishing.despill = 100.0;
    project.finishing.despillEdge = 12.0;
    const std::string text = project::ProjectToJson(project);
    host::WriteFileAtomically(projectPath, std::vector<std::uint8_t>(text.begin(), text.end()),
                              true);
    std::printf("wrote %s, %s and %s\n", picturePath.c_str(), maskPath.c_str(),
                projectPath.c_str());
  } catch (const host::HostError& e) {
    std::fprintf(stderr, "mattix_samplegen: %s\n", e.what());
    return 1;
  }
  return 0;
}
