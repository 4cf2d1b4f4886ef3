#!/usr/bin/env bash
# Keys the same 1920 x 1080 clip of 100 frames with `mattix render` (one job,
# then one job per core) and with ffmpeg's chromakey filter (one thread, then
# ffmpeg's default threads), and prints frames per second and the ratios.
#
# Both read the clip as a PNG sequence and write a PNG sequence with alpha,
# so both pay for decoding and compressing pictures; the clip is made from
# the shipped sample, scaled up and panned so that frames differ.
#
#   bench/render_vs_ffmpeg.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mattix=$build/host/cli/mattix
frames=100
if ! command -v ffmpeg >/dev/null; then
  echo "ffmpeg is not installed: apt-get install ffmpeg" >&2
  exit 1
fi
if [ ! -x "$mattix" ]; then
  echo "$mattix is missing: cmake -S . -B $build -G Ninja && cmake --build $build" >&2
  exit 1
fi
cores=$(nproc)
work=$(mktemp -d "${TMPDIR:-/tmp}/mattix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "Making the clip: $frames frames of 1920 x 1080 in $work"
ffmpeg -v error -loop 1 -i samples/greenscreen.png \
  -vf "scale=2112:1188,crop=1920:1080:'mod(n*8,192)':'mod(n*4,108)',format=rgba" \
  -frames:v "$frames" -start_number 1 "$work/in_%04d.png"

# Runs a command, prints its frames per second and keeps it in fps_<name>.
run() {
  local name=$1; shift
  rm -rf "$work/out" && mkdir "$work/out"
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  end=$(date +%s.%N)
  local fps
  fps=$(awk -v n="$frames" -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", n / (b - a) }')
  printf '%-34s %7.2f frames/s\n' "$name" "$fps"
  eval "fps_${name//[^A-Za-z0-9]/_}=$fps"
}

# The key colour of the sample's green ground for chromakey.
key=0x289A39
run "mattix render, 1 job" \
  "$mattix" render "$work/in_%04d.png" --project samples/key.json -o "$work/out/k_%04d.png" --jobs 1
run "mattix render, $cores jobs" \
  "$mattix" render "$work/in_%04d.png" --project samples/key.json -o "$work/out/k_%04d.png" --jobs "$cores"
run "ffmpeg chromakey, 1 thread" \
  ffmpeg -v error -threads 1 -filter_threads 1 -i "$work/in_%04d.png" \
  -vf "chromakey=$key:0.12:0.08" -threads 1 -pix_fmt rgba "$work/out/f_%04d.png"
run "ffmpeg chromakey, default threads" \
  ffmpeg -v error -i "$work/in_%04d.png" -vf "chromakey=$key:0.12:0.08" -pix_fmt rgba "$work/out/f_%04d.png"

m1=$fps_mattix_render__1_job
mn=$(eval echo "\$fps_mattix_render__${cores}_jobs")
f1=$fps_ffmpeg_chromakey__1_thread
fn=$fps_ffmpeg_chromakey__default_threads
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "mattix / ffmpeg, single thread:   $(ratio "$m1" "$f1")"
echo "mattix / ffmpeg, all cores:       $(ratio "$mn" "$fn")"
echo "mattix, $cores jobs / 1 job:          $(ratio "$mn" "$m1")"
