#!/bin/sh
# Runs the flash benchmark side by side with srec_cat and objcopy on the same
# 64 MiB image: S-record text -> binary (extraction) and binary -> S3 records
# of 64 data bytes (writing). Each figure is the best of RUNS whole-process runs
# (warm cache), in MB/s of S-record text, with the peak resident memory.
#
#   bench/flash-peers.sh [BUILD_DIR]   (default build-bench; configured with -DRESMILL_BUILD_BENCH=ON)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-bench}
RUNS=${RUNS:-3}
. bench/common.sh
bench_build "$BUILD" flash_bench
BENCH=$(cd "$BUILD" && pwd)/flash_bench
need_tools srec_cat objcopy /usr/bin/time

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BENCH" generate "$WORK"
# The DRM section of the superfile as plain S-record text, for the peers to decode.
tail -c +8173 "$WORK/image.shx" | awk 'NR > 1 && /^S0/ { on = 1 } on' >"$WORK/image.srec"
printf '\r\n' >>"$WORK/image.srec"
TEXT_BYTES=$(wc -c <"$WORK/image.srec")

# best_of NAME COMMAND...: best wall time and the peak memory of the runs.
best_of() {
  name=$1
  shift
  best=""
  rss=0
  i=0
  while [ "$i" -lt "$RUNS" ]; do
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$WORK/rss" "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" -eq 1 ]; then best=$t; fi
    r=$(tail -1 "$WORK/rss")
    [ "$r" -gt "$rss" ] && rss=$r
    i=$((i + 1))
  done
  printf '| %s | %.0f | %.3f | %.1f |\n' "$name" "$(echo "$TEXT_BYTES / $best / 1000000" | bc -l)" "$best" \
    "$(echo "$rss / 1024" | bc -l)"
}

echo "64 MiB image, $(echo "$TEXT_BYTES / 1000000" | bc -l | xargs printf '%.0f') MB of S3 text, best of $RUNS runs"
echo
echo "| run | MB/s of text | seconds | peak MiB |"
echo "|---|---:|---:|---:|"
mkdir -p "$WORK/out"
best_of "extract: resmill" "$BENCH" extract "$WORK/image.shx" "$WORK/out"
cmp "$WORK/out/CG15.bin" "$WORK/drm.bin"
best_of "extract: objcopy" objcopy -I srec -O binary "$WORK/image.srec" "$WORK/objcopy.bin"
cmp "$WORK/objcopy.bin" "$WORK/drm.bin"
best_of "extract: srec_cat" srec_cat "$WORK/image.srec" -motorola -offset -0x10000000 -o "$WORK/srec_cat.bin" -binary
cmp "$WORK/srec_cat.bin" "$WORK/drm.bin"
best_of "write: resmill" "$BENCH" write "$WORK/work" "$WORK/drm.bin" "$WORK/again.shx"
cmp "$WORK/again.shx" "$WORK/image.shx"
best_of "write: objcopy" objcopy -I binary -O srec --srec-len=64 --srec-forceS3 --change-addresses=0x10000000 \
  "$WORK/drm.bin" "$WORK/objcopy.srec"
best_of "write: srec_cat" srec_cat "$WORK/drm.bin" -binary -offset 0x10000000 -o "$WORK/srec_cat.srec" -motorola \
  -address-length=4 -line-length=142 -crlf
