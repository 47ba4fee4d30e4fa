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
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRESMILL_BUILD_GUI=OFF -DRESMILL_BUILD_TESTS=OFF \
    -DRESMILL_BUILD_BENCH=ON >/dev/null
fi
# Always brought up to date: a binary left from older sources would measure old code.
cmake --build "$BUILD" --target gif_bench resmill-cli -j 2 >/dev/null
BENCH=$(cd "$BUILD" && pwd)/gif_bench
CLI=$(cd "$BUILD" && pwd)/resmill-cli
for tool in gifsicle convert compare; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/anim.gif

# 60 frames: a moving disc over a gradient; every fifth frame is a transparent
# overlay; disposal cycles through none, background and previous.
i=0
set --
while [ "$i" -lt 60 ]; do
  x=$((20 + i * 2)); y=$((30 + i * 3))
  case $((i % 3)) in 0) d=None ;; 1) d=Background ;; *) d=Previous ;; esac
  if [ $((i % 5)) -eq 4 ]; then
    convert -size 176x220 xc:none -fill "hsl($((i * 6)),90%,50%)" -draw "circle $x,$y $((x + 25)),$y" \
      "$WORK/f$i.png"
  else
    convert -size 176x220 "gradient:hsl($((i * 6)),80%,60%)-navy" -fill white -draw "circle $x,$y $((x + 20)),$y" \
      -fill black -draw "rectangle 10,10 60,$((20 + i))" "$WORK/f$i.png"
  fi
  set -- "$@" -dispose "$d" -delay $((5 + i % 7)) "$WORK/f$i.png"
  i=$((i + 1))
done
convert "$@" -loop 0 "$SRC"

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
