#!/bin/sh
# The picture conversions side by side with ImageMagick's mogrify on the same
# 1,000 PNG pictures of 176x220: our per-picture times (one process) against
# `mogrify -filter Catrom -resize 48x48!` over all of them in one call, and the
# PSNR of ScalePicture against `convert -filter Catrom -resize WxH!` on
# photographic pictures.
#
#   bench/image-peers.sh [BUILD_DIR]   (default build-bench; configured with -DRESMILL_BUILD_BENCH=ON)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-bench}
COUNT=${COUNT:-1000}
. bench/common.sh
bench_build "$BUILD" image_bench
BENCH=$(cd "$BUILD" && pwd)/image_bench
need_tools convert mogrify compare

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/pics" "$WORK/mogrify"

# Ten photographic-looking sources, copied to COUNT files.
i=0
while [ "$i" -lt 10 ]; do
  convert -seed "$i" -size 176x220 plasma:fractal -blur 0x1 -depth 8 "$WORK/src$i.png"
  i=$((i + 1))
done
i=0
while [ "$i" -lt "$COUNT" ]; do
  cp "$WORK/src$((i % 10)).png" "$WORK/pics/$(printf %04d "$i").png"
  i=$((i + 1))
done

echo "== resmill (one process, $COUNT pictures)"
"$BENCH" "$WORK/pics" | tee "$WORK/ours.txt"
rm -rf "$WORK/pics/resmill-out"

echo "== mogrify -filter Catrom -resize 48x48! ($COUNT pictures, one call)"
start=$(date +%s.%N)
mogrify -path "$WORK/mogrify" -filter Catrom -resize '48x48!' "$WORK"/pics/*.png
end=$(date +%s.%N)
theirs=$(echo "($end - $start) * 1000 / $COUNT" | bc -l)
ours=$(awk '/ScalePicture/ {print $4}' "$WORK/ours.txt")
printf 'mogrify                      %8.3f ms per picture\n' "$theirs"
printf 'ScalePicture is %.1fx faster per picture than mogrify\n' "$(echo "$theirs / $ours" | bc -l)"

echo "== ScalePicture against convert -filter Catrom -resize WxH! (PSNR, dB)"
convert rose: -resize '176x220!' "$WORK/rose.png"
for src in "$WORK/src0.png" "$WORK/src5.png" "$WORK/rose.png"; do
  for size in 48x48 16x16 96x120 300x400; do
    w=${size%x*}; h=${size#*x}
    "$BENCH" --scale "$src" "$WORK/ours.png" "$w" "$h"
    convert "$src" -filter Catrom -resize "${size}!" "$WORK/ref.png"
    psnr=$(compare -metric PSNR "$WORK/ours.png" "$WORK/ref.png" null: 2>&1 || true)
    printf '%-10s %-8s %s\n' "$(basename "$src")" "$size" "$psnr"
  done
done
