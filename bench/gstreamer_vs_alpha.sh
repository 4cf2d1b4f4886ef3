#!/usr/bin/env bash
# The GStreamer element mattixkey against GStreamer's own chroma key (the
# alpha element's method=green, and method=custom at the sample's backdrop
# colour), on the shipped sample (samples/greenscreen.png, whose true alpha
# mattix_samplegen --scene green writes):
#
# - speed: frames of the sample scaled to WIDTHxHEIGHT (default 1920x1080),
#   frozen into N buffers (default 300) pushed through the keyer into a
#   fakesink; each keyer's time is the pipeline's less the same pipeline
#   with `identity` in its place (decoding once, conversion, the sink);
# - matte: each keyer's alpha on the sample against the true alpha: mean
#   absolute difference in levels (0 to 255) over the frame and over the
#   edge (true alpha strictly between 0 and 255), and the share of backdrop
#   left (true alpha 0, keyed alpha 128 or more) and of holes (true alpha
#   255, keyed below 128).
#
#   bench/gstreamer_vs_alpha.sh [BUILD_DIR] [N] [WIDTHxHEIGHT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build} frames=${2:-300} size=${3:-1920x1080}
width=${size%x*} height=${size#*x}
python=/usr/bin/python3
command -v gst-launch-1.0 >/dev/null || { echo "gst-launch-1.0 is missing: apt-get install gstreamer1.0-tools" >&2; exit 1; }
[ -f "$build/host/gstreamer/libgstmattix.so" ] || { echo "$build/host/gstreamer/libgstmattix.so is missing" >&2; exit 1; }
"$python" -c 'import numpy, skimage.io' 2>/dev/null || { echo "apt-get install python3-skimage" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_PLUGIN_PATH=$build/host/gstreamer GST_REGISTRY=$work/registry.bin
sample=samples/greenscreen.png project=samples/key.json
"$build/host/samples/mattix_samplegen" --scene green "$work/scene.png" "$work/truth.png" >/dev/null
# The backdrop's colour: the sample's top-left pixel.
read -r r g b < <(ffmpeg -v error -i "$sample" -vf crop=1:1:0:0 -f rawvideo -pix_fmt rgb24 - |
  od -An -tu1 | tr -s ' ' | sed 's/^ //')
keyers=("mattixkey project=$project" "alpha method=green" "alpha method=custom target-r=$r target-g=$g target-b=$b")
names=("mattixkey (samples/key.json)" "alpha method=green" "alpha method=custom ($r,$g,$b)")

echo "load: $(uptime | sed 's/.*load average: //')   processors: $(nproc)"
echo "gst-launch-1.0 $(gst-launch-1.0 --version | sed -n 's/.*version //p' | head -1), $frames frames of ${width}x$height"
# Seconds for the frozen frames through `element` (BGRA in, as each keyer takes it).
run() {
  local start end
  start=$(date +%s.%N)
  nice gst-launch-1.0 -q filesrc location="$sample" ! pngdec ! videoconvert ! videoscale \
    ! "video/x-raw,format=BGRA,width=$width,height=$height" ! imagefreeze num-buffers="$frames" \
    ! $1 ! fakesink sync=false
  end=$(date +%s.%N)
  awk "BEGIN { print $end - $start }"
}
base=$(run identity)
echo
echo "| keyer | ms a frame | frames a second | mean abs. alpha error (levels) | on the edge | backdrop left | holes |"
echo "|---|---|---|---|---|---|---|"
for i in "${!keyers[@]}"; do
  total=$(run "${keyers[$i]}")
  ms=$(awk "BEGIN { print ($total - $base) * 1000 / $frames }")
  # The matte: the keyed sample's alpha channel.
  gst-launch-1.0 -q filesrc location="$sample" ! pngdec ! videoconvert ! video/x-raw,format=BGRA \
    ! ${keyers[$i]} ! videoconvert ! video/x-raw,format=RGBA ! pngenc ! filesink location="$work/keyed.png"
  read -r all edge left holes < <("$python" - "$work/keyed.png" "$work/truth.png" <<'PY'
import sys
import numpy as np
import skimage.io
alpha = skimage.io.imread(sys.argv[1])[..., 3].astype(float)
truth = skimage.io.imread(sys.argv[2]).astype(float)
if truth.ndim == 3:
    truth = truth[..., 0]
error = np.abs(alpha - truth)
edge = (truth > 0) & (truth < 255)
left = np.mean(alpha[truth == 0] >= 128) * 100
holes = np.mean(alpha[truth == 255] < 128) * 100
print(f"{error.mean():.2f} {error[edge].mean():.1f} {left:.2f} {holes:.2f}")
PY
)
  printf "| %s | %.2f | %.0f | %s | %s | %s %% | %s %% |\n" "${names[$i]}" "$ms" "$(awk "BEGIN { print 1000 / $ms }")" \
    "$all" "$edge" "$left" "$holes"
done
