#!/usr/bin/env bash
# Matte quality of Mattix against FFmpeg's keyers and against the best key
# the wheel's mask allows, on five green- and blue-screen composites of real
# photographs with a known alpha (bench/matte/matte_bench.py says what the
# scenes hold and what is measured):
#
# - oracle: a mask weighted from the true alpha (the ceiling at softness 0);
# - `mattix key auto` then `mattix render`, nothing else set;
# - FFmpeg chromakey (with and without despill) and hsvkey, their settings
#   searched against the true alpha: their best, which no user gets.
#
# Prints the Markdown tables (also written to BUILD_DIR/matte-bench/
# matte-table.md) with the machine's load, and writes the worst scene for
# Mattix side by side (frame, true alpha, Mattix, best peer) to
# BUILD_DIR/matte-bench/matte-worst.png. The scenes and the peers' searches
# are cached in BUILD_DIR/matte-bench: the first run takes minutes, the next
# seconds. Further options go to the script, e.g.
#
#   bench/matte_vs_ffmpeg.sh [BUILD_DIR]                     (default: build)
#   bench/matte_vs_ffmpeg.sh build --only mattix             (Mattix alone, fast)
#   bench/matte_vs_ffmpeg.sh build --project key.json        (a given project)
#   bench/matte_vs_ffmpeg.sh build --only mattix --scale 3   (the shots at 1440 x 1080)
#   bench/matte_vs_ffmpeg.sh build --worst docs/matte-worst.png
#
# With mattix_samplegen built, the shipped sample is measured too: its matte
# and the screen's cast left on its subject's opaque rim.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build=$1
  shift
fi
mattix=$build/host/cli/mattix
python=/usr/bin/python3
[ -x "$mattix" ] || { echo "$mattix is missing: cmake --build $build --target mattix_command mattix" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing: apt-get install ffmpeg" >&2; exit 1; }
"$python" -c 'import numpy, scipy, skimage' 2>/dev/null || {
  echo "Debian's python3 with numpy, scipy and skimage is needed: apt-get install python3-skimage" >&2
  exit 1
}
echo "load: $(uptime | sed 's/.*load average: //')   processors: $(nproc)"
"$python" bench/matte/matte_bench.py --self-test
# The shipped sample too, when its generator is built.
samplegen=$build/host/samples/mattix_samplegen
sample=()
[ -x "$samplegen" ] && sample=(--sample "$samplegen")
exec nice "$python" bench/matte/matte_bench.py --mattix "$mattix" --out "$build/matte-bench" "${sample[@]}" "$@"
