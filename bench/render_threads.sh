#!/usr/bin/env bash
# How `mattix render` spends its threads' time, for --jobs 1 and 2, on the
# 100-frame 1920 x 1080 clip of render_vs_ffmpeg.sh: per thread, the time on
# a CPU, the time waiting for one (other work on a shared machine) and the
# rest of its life, blocked (on the other jobs, on files). On idle cores the
# waiting vanishes, so (on CPU + blocked) of the busiest thread projects the
# wall time there, and the ratio of two runs their speed-up however loaded
# the machine is now. Thread lives are counted from the command's start;
# the main thread, which mostly waits for the jobs, is left out of that.
#
#   bench/render_threads.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mattix=$build/host/cli/mattix
frames=100
[ -x "$mattix" ] || { echo "$mattix is missing: cmake --build $build" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing: apt-get install ffmpeg" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/mattix-threads-XXXXXX")
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -loop 1 -i samples/greenscreen.png \
  -vf "scale=2112:1188,crop=1920:1080:'mod(n*8,192)':'mod(n*4,108)',format=rgba" \
  -frames:v "$frames" -start_number 1 "$work/in_%04d.png"
echo "load: $(uptime | sed 's/.*load average: //')   processors: $(nproc)"

declare -A projected
for jobs in 1 2; do
  rm -rf "$work/out" && mkdir "$work/out"
  start=$(date +%s%N)
  "$mattix" render "$work/in_%04d.png" --project samples/key.json -o "$work/out/k_%04d.png" \
    --jobs "$jobs" >/dev/null &
  pid=$!
  declare -A last=()
  # The last reading of each thread's schedstat: nanoseconds on a CPU, waiting.
  while kill -0 "$pid" 2>/dev/null; do
    for task in /proc/"$pid"/task/*; do
      if stat=$(cat "$task/schedstat" 2>/dev/null); then last[${task##*/}]="$stat $(date +%s%N)"; fi
    done
    sleep 0.05
  done
  wait "$pid"
  wall=$(($(date +%s%N) - start))
  echo "--jobs $jobs: wall $(awk -v w="$wall" 'BEGIN { printf "%.2f", w / 1e9 }') s"
  busiest=0
  for id in "${!last[@]}"; do
    read -r run waiting _ seen <<<"${last[$id]}"
    blocked=$((seen - start - run - waiting))
    ((blocked < 0)) && blocked=0
    awk -v r="$run" -v w="$waiting" -v b="$blocked" -v main="$([ "$id" = "$pid" ] && echo " (main)")" 'BEGIN {
      printf "  thread%-7s: on CPU %6.2f s, waiting for a CPU %6.2f s, blocked %6.2f s\n", main, r / 1e9, w / 1e9, b / 1e9 }'
    # The main thread waits for the jobs (and writes the files between);
    # the jobs' lives, counted from the start, include the start-up.
    ((id != pid && run + blocked > busiest)) && busiest=$((run + blocked))
  done
  projected[$jobs]=$busiest
  echo "  projected wall on idle cores: $(awk -v b="$busiest" 'BEGIN { printf "%.2f", b / 1e9 }') s"
done
echo "projected speed-up of 2 jobs: $(awk -v a="${projected[1]}" -v b="${projected[2]}" 'BEGIN { printf "%.2f", a / b }')"
