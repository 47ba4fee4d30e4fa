#!/bin/sh
# ResizeGif side by side with gifsicle --resize on one 60-frame 176x220
# animation (looping, some frames transparent, mixed disposal), to 48x48 and
# 16x16. For each: best wall time of RUNS runs (ours in-process and as a
# resmill-cli process, gifsicle as a process), whether frame count, delays,
# disposal and loop match the source, and the mean PSNR of the coalesced output
# frames against a full-colour Catmull-Rom resize of the coalesced source frames
# (both flattened on white).
#
#   bench/gif-peers.sh [BUILD_DIR]   (default build-bench; configured with -DRESMILL_BUILD_BENCH=ON)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-bench}
RUNS=${RUNS:-10}
. bench/common.sh
bench_build "$BUILD" gif_bench resmill-cli
BENCH=$(cd "$BUILD" && pwd)/gif_bench
CLI=$(cd "$BUILD" && pwd)/resmill-cli
need_tools gifsicle convert compare

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/anim.gif

make_test_animation "$SRC" "$WORK"

best_ms() {  # best wall time in ms of RUNS runs of a command
  best=""
  n=0
  while [ "$n" -lt "$RUNS" ]; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    t=$(( (end - start) / 100000 ))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    n=$((n + 1))
  done
  printf '%d.%d' $((best / 10)) $((best % 10))
}

timing() { gifsicle --info "$1" | grep -E 'disposal|loop' | sed 's/^ *//' | sed 's/ *$//'; }

psnr() {  # mean PSNR of the coalesced frames of $1 against the reference frames ref-$2
  out=$1; tag=$2
  convert "$out" -coalesce -background white -alpha remove "$WORK/out-$tag-%d.png"
  total=0; count=0
  k=0
  while [ -f "$WORK/ref-$tag-$k.png" ]; do
    v=$(compare -metric PSNR "$WORK/out-$tag-$k.png" "$WORK/ref-$tag-$k.png" null: 2>&1 || true)
    case $v in inf*|0) v=99 ;; esac
    total=$(echo "$total + $v" | bc -l); count=$((count + 1))
    k=$((k + 1))
  done
  rm -f "$WORK"/out-"$tag"-*.png
  echo "scale=2; $total / $count" | bc -l
}

echo "source: 60 frames 176x220, looping, every 5th frame transparent, disposal none/background/previous"
printf '%-8s %-26s %10s %8s %10s\n' size tool "best ms" "timing" "PSNR dB"
mkdir -p "$WORK/cli"
cp "$SRC" "$WORK/cli/anim.gif"
for size in 48x48 16x16; do
  convert "$SRC" -coalesce -filter Catrom -resize "$size!" -background white -alpha remove "$WORK/ref-$size-%d.png"

  ours=$("$BENCH" "$SRC" "$WORK/ours-$size.gif" "$size" "$RUNS" | sed 's/best \([0-9.]*\) ms.*/\1/')
  ok=$( [ "$(timing "$SRC")" = "$(timing "$WORK/ours-$size.gif")" ] && echo same || echo DIFFERS)
  printf '%-8s %-26s %10s %8s %10s\n' "$size" "ResizeGif (in-process)" "$ours" "$ok" "$(psnr "$WORK/ours-$size.gif" "$size")"
  cli=$(cd "$WORK/cli" && best_ms "$CLI" resize-gif anim.gif out.gif "$size")
  printf '%-8s %-26s %10s %8s %10s\n' "$size" "resmill-cli resize-gif" "$cli" "" ""

  gs=$(best_ms gifsicle --resize "$size" "$SRC" -o "$WORK/gifsicle-$size.gif")
  ok=$( [ "$(timing "$SRC")" = "$(timing "$WORK/gifsicle-$size.gif")" ] && echo same || echo DIFFERS)
  printf '%-8s %-26s %10s %8s %10s\n' "$size" "gifsicle --resize" "$gs" "$ok" "$(psnr "$WORK/gifsicle-$size.gif" "$size")"
  rm -f "$WORK"/ref-"$size"-*.png
done
