# shellcheck shell=sh
# Sourced by the bench scripts (from the repository root): the Release build of
# the benchmarks and the test animation the GIF rows resize.

# bench_build BUILD_DIR TARGET...: configures BUILD_DIR once (Release, benchmarks
# on), then always brings the TARGETs up to date, so that a binary left from
# older sources never measures old code.
bench_build() {
  bench_dir=$1
  shift
  if [ ! -f "$bench_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$bench_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRESMILL_BUILD_GUI=OFF \
      -DRESMILL_BUILD_TESTS=OFF -DRESMILL_BUILD_BENCH=ON >/dev/null
  fi
  cmake --build "$bench_dir" --target "$@" -j 2 >/dev/null
}

# need_tools TOOL...: stops the script naming the first tool that is missing.
need_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
  done
}

# make_test_animation OUT.gif SCRATCH_DIR: 60 frames of 176x220, looping, a
# moving disc over a gradient; every fifth frame is a transparent overlay;
# disposal cycles through none, background and previous; delays 5 to 11.
make_test_animation() {
  anim_out=$1
  anim_scratch=$2
  i=0
  set --
  while [ "$i" -lt 60 ]; do
    x=$((20 + i * 2)); y=$((30 + i * 3))
    case $((i % 3)) in 0) d=None ;; 1) d=Background ;; *) d=Previous ;; esac
    if [ $((i % 5)) -eq 4 ]; then
      convert -size 176x220 xc:none -fill "hsl($((i * 6)),90%,50%)" -draw "circle $x,$y $((x + 25)),$y" \
        "$anim_scratch/f$i.png"
    else
      convert -size 176x220 "gradient:hsl($((i * 6)),80%,60%)-navy" -fill white \
        -draw "circle $x,$y $((x + 20)),$y" -fill black -draw "rectangle 10,10 60,$((20 + i))" "$anim_scratch/f$i.png"
    fi
    set -- "$@" -dispose "$d" -delay $((5 + i % 7)) "$anim_scratch/f$i.png"
    i=$((i + 1))
  done
  convert "$@" -loop 0 "$anim_out"
  rm -f "$anim_scratch"/f*.png
}

# make_transparent_animation OUT.gif SCRATCH_DIR: three 176x220 frames of filled
# shapes on transparency, written by ImageMagick, restored to the previous
# picture, to the background and to the previous picture again.
make_transparent_animation() {
  tr_out=$1
  tr_scratch=$2
  convert -size 176x220 xc:none -fill '#d02020' -draw 'circle 60,70 105,70' -fill '#2040d0' \
    -draw 'rectangle 90,120 160,200' "$tr_scratch/t0.png"
  convert -size 176x220 xc:none -fill '#20a040' -draw 'circle 110,60 140,60' -fill '#e0c020' \
    -draw 'rectangle 20,130 80,190' "$tr_scratch/t1.png"
  convert -size 176x220 xc:none -fill '#8030b0' -draw 'circle 88,110 140,110' -fill '#101010' \
    -draw 'rectangle 30,20 70,60' "$tr_scratch/t2.png"
  convert -dispose previous -delay 20 "$tr_scratch/t0.png" -dispose background "$tr_scratch/t1.png" \
    -dispose previous "$tr_scratch/t2.png" -loop 0 "$tr_out"
  rm -f "$tr_scratch"/t[012].png
}
