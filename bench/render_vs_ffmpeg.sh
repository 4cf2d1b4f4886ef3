#!/usr/bin/env bash
# Mattix against FFmpeg's chromakey filter, in one run:
#
# 1. Per pixel, on one 1920 x 1080 photograph (python3-skimage's astronaut,
#    scaled; the shipped green-screen sample when that package is missing):
#    bench_key's row kernels on that very frame, and FFmpeg's chromakey with
#    one thread on the same frame, fed as raw yuva444p (the filter's own
#    format, so that no conversion is counted): the filter's CPU time over
#    200 frames less that of a null filter on the same input.
# 2. The whole engine (one CMattix2 a frame, every per-frame cost included)
#    against a copy of the frame, at 1920 x 1080 and at 3840 x 2160 (33 MB
#    a frame, larger than the caches), for softness and spill suppression
#    from 0 to 100: medians of 5 interleaved rounds, and each setting's cost
#    in frame copies (the goal: 3 at most on the large frame), through the
#    key's colour table and keying every pixel directly; and the time to
#    make a key's table.
# 3. PNG sequence to PNG sequence, 100 frames of 1920 x 1080 (the shipped
#    sample scaled up and panned): `mattix render` with 1 and 2 jobs against
#    `ffmpeg -vf chromakey` with 1 and 2 threads. Frames per second of wall
#    time, and CPU seconds per frame (user + system), which stay meaningful
#    on a loaded machine.
#
# 4. Video: 100 frames of 1920 x 1080 raw 4:2:0 (untagged) to ProRes 4444:
#    `mattix render` (decoding, keying and encoding in one process) against
#    FFmpeg's own transcode of the same input to the same output without a
#    filter (goal: 1.1 times its CPU at most). A keyed output's alpha costs
#    ProRes more to encode than an opaque one, so FFmpeg's transcode of the
#    keyed result is timed too, and the render with an empty key.
# 5. Deep pictures: 20 frames of 16-bit PNG and of half-float OpenEXR, keyed
#    into the same format, against FFmpeg converting them into that format.
# 6. Colour: an untagged 1280 x 720 H.264 clip keyed by `mattix render` and
#    by MLT (melt) through the frei0r plug-in: the frames must be equal.
# The last lines are the table the README shows.
#
# The machine's load is printed first: on a shared machine, compare the
# ratios of one run.
#
#   bench/render_vs_ffmpeg.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mattix=$build/host/cli/mattix
bench_key=$build/bench/bench_key
frames=100
loops=200
astronaut=/usr/lib/python3/dist-packages/skimage/data/astronaut.png
for tool in ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install ${tool##*/}" >&2; exit 1; }
done
for program in "$mattix" "$bench_key"; do
  [ -x "$program" ] || { echo "$program is missing: cmake --build $build" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/mattix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "load: $(uptime | sed 's/.*load average: //')   processors: $(nproc)"

# Runs a command under /usr/bin/time; sets wall and cpu (user + system), in seconds.
timed() {
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
    cat "$work/err" >&2
    exit 1
  }
  read -r wall user sys <"$work/time"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
}
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

echo
echo "== Per pixel, one 1920 x 1080 frame"
photo=$astronaut
[ -f "$photo" ] || {
  echo "python3-skimage is missing (scripts/deps.sh: mattix_install_bench): using the green-screen sample"
  photo=samples/greenscreen.png
}
echo "frame: $photo, scaled"
ffmpeg -v error -i "$photo" -vf "scale=1920:1080,format=rgba" "$work/frame.png"
# Medians of 5 interleaved rounds (CPU time), as in the next section.
rounds="--benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
  --benchmark_report_aggregates_only=true --benchmark_format=csv"
# shellcheck disable=SC2086
MATTIX_BENCH_PHOTO="$work/frame.png" "$bench_key" --benchmark_filter='BM_CopyFrame/size:0|BM_KeyRows/frame:0' \
  $rounds 2>/dev/null >"$work/kernels.csv"
# name, per_px in ns (the counter is in seconds), kernel sets in a fixed order.
awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); col[h] = i } }
NR > 1 && $1 ~ /_median"?$/ {
  n = $1; gsub(/"/, "", n); sub(/_median$/, "", n); v[n] = $col["per_px"] * 1e9
}
END {
  printf "%-22s %7.3f ns/px\n", "frame copy", v["BM_CopyFrame/size:0"]
  split("reference sse4.1 avx2 avx512", set, " ")
  for (f = 0; f <= 1; ++f)
    for (k = 1; k <= 4; ++k) {
      n = "BM_KeyRows/frame:0/set:" (k - 1) "/spill:" f
      if (n in v) printf "%-22s %7.3f ns/px\n", set[k] (f ? " spill" : " plain"), v[n]
    }
}' "$work/kernels.csv" | tee "$work/kernels.txt"
ffmpeg -v error -i "$work/frame.png" -pix_fmt yuva444p -f rawvideo "$work/frame.yuva"
ffmpeg_frame() {
  timed ffmpeg -v error -threads 1 -filter_threads 1 -stream_loop $((loops - 1)) -f rawvideo \
    -pix_fmt yuva444p -s 1920x1080 -i "$work/frame.yuva" -vf "$1" -f null -
}
ffmpeg_frame null
base=$cpu
ffmpeg_frame "chromakey=0x289A39:0.12:0.08"
chromakey=$(calc "($cpu - $base) / ($loops * 1920 * 1080) * 1e9")
echo "ffmpeg chromakey       $chromakey ns/px (1 thread)"
while read -r set form value _; do
  case $set in reference | sse4.1 | avx2 | avx512)
    echo "chromakey / $set $form: $(calc "$chromakey / $value")" ;;
  esac
done <"$work/kernels.txt"

echo
echo "== The engine against a frame copy (medians of 5 interleaved rounds, CPU time)"
# shellcheck disable=SC2086
MATTIX_BENCH_PHOTO="$work/frame.png" "$bench_key" \
  --benchmark_filter='BM_CopyFrame|BM_Process|BM_ColourTable' $rounds 2>/dev/null >"$work/engine.csv"
# One line a setting (softness, then spill suppression, rising): ns a pixel
# and frame copies through the key's colour table (made beforehand, as for
# the frames of a shot), for both sizes, and keying every pixel directly
# (a key that changes every frame) on the large one; then the time to make
# a key's table.
awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); col[h] = i } }
NR > 1 && $1 ~ /_median"?$/ {
  n = $1; gsub(/"/, "", n); sub(/_median$/, "", n)
  if (n ~ /BM_ColourTable/) { made[n ~ /spill:1/] = $col["cpu_time"]; next }
  size = n; sub(/.*size:/, "", size); sub(/\/.*/, "", size)
  v = $col["per_px"] * 1e9
  if (n ~ /BM_CopyFrame/) { copy[size] = v; next }
  direct = n ~ /BM_ProcessDirect/
  sub(/BM_Process(Direct)?\/size:[01]\//, "", n); sub(/softness:/, "softness ", n)
  sub(/\/spill:/, ", spill ", n)
  cost[n, size, direct] = v
}
END {
  count = 0
  for (soft = 0; soft <= 100; ++soft)
    for (spill = 0; spill <= 100; ++spill)
      if ((n = "softness " soft ", spill " spill, 0, 0) in cost) order[++count] = n
  printf "%-24s %15s %15s %15s  %s\n", "", "1920x1080", "3840x2160", "direct, 3840", \
    "goal: 3 copies (large frame)"
  printf "%-24s %9.3f ns/px %9.3f ns/px\n", "frame copy", copy[0], copy[1]
  for (i = 1; i <= count; ++i) {
    n = order[i]; r0 = cost[n, 0, 0] / copy[0]; r1 = cost[n, 1, 0] / copy[1]
    rd = cost[n, 1, 1] / copy[1]
    printf "%-24s %6.3f (%5.1fx) %6.3f (%5.1fx) %6.3f (%5.1fx)  %s\n", n, cost[n, 0, 0], r0, \
      cost[n, 1, 0], r1, cost[n, 1, 1], rd, r1 <= 3 ? "met" : sprintf("missed by %.2fx", r1 / 3)
  }
  printf "a key'"'"'s colour table made in %.1f ms (plain form), %.1f ms (spill form)\n", made[0], made[1]
}' "$work/engine.csv" | tee "$work/engine.txt"

echo
echo "== PNG sequence to PNG sequence, $frames frames of 1920 x 1080"
ffmpeg -v error -loop 1 -i samples/greenscreen.png \
  -vf "scale=2112:1188,crop=1920:1080:'mod(n*8,192)':'mod(n*4,108)',format=rgba" \
  -frames:v "$frames" -start_number 1 "$work/in_%04d.png"
declare -A fps cpf
# run KEY LABEL COMMAND...
run() {
  local key=$1 label=$2
  shift 2
  rm -rf "$work/out" && mkdir "$work/out"
  timed "$@"
  fps[$key]=$(calc "$frames / $wall")
  cpf[$key]=$(calc "$cpu / $frames * 1000")
  printf '%-26s %7s frames/s %8s ms CPU a frame\n' "$label" "${fps[$key]}" "${cpf[$key]}"
}
for jobs in 1 2; do
  run "m$jobs" "mattix render, $jobs job(s)" "$mattix" render "$work/in_%04d.png" \
    --project samples/key.json -o "$work/out/k_%04d.png" --jobs "$jobs"
done
for threads in 1 2; do
  run "f$threads" "ffmpeg chromakey, $threads thr" ffmpeg -v error -threads "$threads" \
    -filter_threads "$threads" -i "$work/in_%04d.png" -vf "chromakey=0x289A39:0.12:0.08" \
    -threads "$threads" -pix_fmt rgba "$work/out/f_%04d.png"
done
echo "mattix / ffmpeg, CPU a frame, one core:   $(calc "${cpf[f1]} / ${cpf[m1]}")"
echo "mattix / ffmpeg, frames/s, 1 job/thread:  $(calc "${fps[m1]} / ${fps[f1]}")"
echo "mattix / ffmpeg, frames/s, 2 jobs/threads: $(calc "${fps[m2]} / ${fps[f2]}")"
echo "mattix, 2 jobs / 1 job, frames/s:         $(calc "${fps[m2]} / ${fps[m1]}")"

echo
echo "== Video: $frames frames of 1920 x 1080 raw 4:2:0 to ProRes 4444 (CPU seconds)"
ffmpeg -v error -loop 1 -i samples/greenscreen.png \
  -vf "scale=2112:1188,crop=1920:1080:'mod(n*8,192)':'mod(n*4,108)',format=yuv420p" \
  -frames:v "$frames" -c:v rawvideo "$work/clip.nut"
"$mattix" key clear --project "$work/empty.json" >/dev/null
prores=(-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le -f mov)
declare -A vcpu
vrun() {
  local key=$1 label=$2
  shift 2
  timed "$@"
  vcpu[$key]=$cpu
  printf '%-44s %7s s CPU %7s s wall\n' "$label" "$cpu" "$wall"
}
vrun m "mattix render, sample key" "$mattix" render "$work/clip.nut" -o "$work/keyed.mov" \
  --project samples/key.json --jobs 1 --force
vrun f "ffmpeg transcode, no filter" ffmpeg -v error -y -i "$work/clip.nut" "${prores[@]}" \
  "$work/plain.mov"
vrun e "mattix render, empty key" "$mattix" render "$work/clip.nut" -o "$work/empty.mov" \
  --project "$work/empty.json" --jobs 1 --force
ffmpeg -v error -i "$work/keyed.mov" -c:v rawvideo -pix_fmt yuva444p10le "$work/keyed.nut"
vrun k "ffmpeg transcode of the keyed result" ffmpeg -v error -y -i "$work/keyed.nut" \
  "${prores[@]}" "$work/again.mov"
rm -f "$work/keyed.nut" "$work/clip.nut"
video_ratio=$(calc "${vcpu[m]} / ${vcpu[f]}")
video_same=$(calc "${vcpu[e]} / ${vcpu[f]}")
video_keyed=$(calc "${vcpu[m]} / ${vcpu[k]}")
echo "mattix (sample key) / ffmpeg transcode:           $video_ratio"
echo "mattix (empty key) / ffmpeg transcode:            $video_same"
echo "mattix (sample key) / ffmpeg on the keyed result: $video_keyed"

echo
echo "== Deep pictures: 20 frames of 1920 x 1080 (CPU seconds)"
ffmpeg -v error -loop 1 -i samples/greenscreen.png \
  -vf "scale=2112:1188,crop=1920:1080:'mod(n*8,192)':'mod(n*4,108)',format=rgba64le" \
  -frames:v 20 -start_number 1 "$work/d_%04d.png"
ffmpeg -v error -i "$work/d_%04d.png" -pix_fmt gbrapf32le -compression zip1 -format half \
  -start_number 1 "$work/d_%04d.exr"
declare -A dcpu
for ext in png exr; do
  timed "$mattix" render "$work/d_%04d.$ext" -o "$work/k_%04d.$ext" --project samples/key.json \
    --jobs 1 --force
  dcpu[m$ext]=$cpu
  extra=()
  [ "$ext" = exr ] && extra=(-compression zip1 -format half)
  timed ffmpeg -v error -y -i "$work/d_%04d.$ext" "${extra[@]}" "$work/f_%04d.$ext"
  dcpu[f$ext]=$cpu
  printf '%-4s mattix render %7s s CPU   ffmpeg copy %7s s CPU   ratio %s\n' "$ext" \
    "${dcpu[m$ext]}" "${dcpu[f$ext]}" "$(calc "${dcpu[m$ext]} / ${dcpu[f$ext]}")"
done

echo
echo "== Colour: an untagged 1280 x 720 H.264 clip, mattix render against melt + frei0r"
colour_result="melt missing"
if command -v melt >/dev/null; then
  ffmpeg -v error -f lavfi -i testsrc2=s=1280x720:r=25:d=2 -c:v libx264 -pix_fmt yuv420p \
    -crf 12 "$work/hd.mp4"
  timed "$mattix" render "$work/hd.mp4" -o "$work/mx_%03d.png" --project samples/key.json --force
  mcpu=$cpu
  FREI0R_PATH=$build/host/frei0r timed melt "$work/hd.mp4" -filter frei0r.mattix \
    project=samples/key.json -consumer "avformat:$work/ml_%03d.png" vcodec=png pix_fmt=rgba \
    width=1280 height=720 sample_aspect_num=1 sample_aspect_den=1 frame_rate_num=25 \
    frame_rate_den=1
  lcpu=$cpu
  differ=0 count=0
  for f in "$work"/mx_*.png; do
    n=${f##*_}
    n=${n%.png}
    a=$(ffmpeg -v error -i "$f" -f rawvideo -pix_fmt rgba - | md5sum)
    b=$(ffmpeg -v error -i "$work/ml_$n.png" -f rawvideo -pix_fmt rgba - | md5sum)
    count=$((count + 1))
    [ "$a" = "$b" ] || differ=$((differ + 1))
  done
  colour_result="$((count - differ)) of $count frames equal"
  echo "$colour_result; CPU: mattix $mcpu s, melt $lcpu s"
fi

load=$(uptime | sed 's/.*load average: //')
echo
echo "== The table (README, Performance)"
echo "| Measure (one run; load $load) | Mattix | Peer | Ratio | Goal |"
echo "|---|---|---|---|---|"
for set in avx2 avx512; do
  ns=$(awk -v s="$set" '$1 == s && $2 == "plain" { print $3 }' "$work/kernels.txt")
  [ -n "$ns" ] && echo "| keying, $set kernels, no spill (ns a pixel) | $ns | $chromakey \
(chromakey) | $(calc "$ns / $chromakey") | 0.10 |"
done
echo "| PNG sequence, CPU ms a frame (1 job / 1 thread) | ${cpf[m1]} | ${cpf[f1]} (chromakey) | \
$(calc "${cpf[m1]} / ${cpf[f1]}") | 1 |"
# The large frame's cost in frame copies over the settings: through the
# table (lowest, highest), then directly.
read -r tlow thigh dlow dhigh < <(awk '/^softness/ {
  n = split($0, part, "(")
  t = part[n - 1] + 0; d = part[n] + 0
  if (!seen++) { tl = th = t; dl = dh = d }
  tl = t < tl ? t : tl; th = t > th ? t : th; dl = d < dl ? d : dl; dh = d > dh ? d : dh
} END { print tl, th, dl, dh }' "$work/engine.txt")
echo "| keying 3840 x 2160, frame copies, through the key's colour table | $tlow to $thigh | | | 3 |"
echo "| keying 3840 x 2160, frame copies, every pixel directly | $dlow to $dhigh | | | 3 |"
echo "| video to ProRes 4444, CPU s, sample key | ${vcpu[m]} | ${vcpu[f]} (transcode) | $video_ratio | 1.1 |"
echo "| video to ProRes 4444, CPU s, empty key | ${vcpu[e]} | ${vcpu[f]} (transcode) | $video_same | 1.1 |"
echo "| video, sample key, against ffmpeg encoding the keyed result | ${vcpu[m]} | ${vcpu[k]} | \
$video_keyed | 1.1 |"
echo "| 16-bit PNG, 20 frames, CPU s | ${dcpu[mpng]} | ${dcpu[fpng]} (ffmpeg copy) | \
$(calc "${dcpu[mpng]} / ${dcpu[fpng]}") | |"
echo "| half OpenEXR, 20 frames, CPU s | ${dcpu[mexr]} | ${dcpu[fexr]} (ffmpeg copy) | \
$(calc "${dcpu[mexr]} / ${dcpu[fexr]}") | |"
echo "| untagged HD keyed, against melt + frei0r | $colour_result | | | equal |"
echo "load: $load"
