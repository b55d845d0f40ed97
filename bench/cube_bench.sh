#!/usr/bin/env bash
# The whole program's figures beside their baselines, from one run: builds
# the hosted cube and the benchmark driver (build/hosted, RelWithDebInfo),
# and, where wine64 and MinGW are installed, the Windows build's frame
# harness (build/mingw-x86_64), then runs bench/cube_bench.cpp's driver.
# Arguments go to the driver (e.g. --repeat 5, --only unpaced,sdl).
# CUBE_BENCH_HOSTED_DIR and CUBE_BENCH_MINGW_DIR choose other build folders;
# CUBE_BENCH_PROGRAM=card measures the test card instead (bench/card_bench.sh).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
hosted=${CUBE_BENCH_HOSTED_DIR:-$root/build/hosted}
mingw=${CUBE_BENCH_MINGW_DIR:-$root/build/mingw-x86_64}
jobs=${CUBE_BENCH_JOBS:-2}
program=${CUBE_BENCH_PROGRAM:-cube}
extra=()
# The SDL baseline and the start figures are the cube's own.
[ "$program" = card ] && extra=(--name card --only unpaced,wine,paced)

echo "== building the hosted $program and the driver in $hosted" >&2
cmake -S "$root" -B "$hosted" -DCUBE_LANE=hosted -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$hosted" --target "$program" cube_bench -j"$jobs" >/dev/null

wine_args=()
if { [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null; } &&
  command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "== building the Windows frame harness in $mingw" >&2
  # A failed Windows build costs only its baseline.
  if cmake -S "$root" -B "$mingw" -DCUBE_LANE=windows --toolchain "$root/cmake/mingw-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build "$mingw" --target "${program}_frames" -j"$jobs" >/dev/null &&
    [ -x "$mingw/wine-run.sh" ]; then
    wine_args=(--wine-run "$mingw/wine-run.sh" --wine-exe "$mingw/${program}_frames.exe")
  else
    echo "== the Windows build failed; the wine64 baseline is left out" >&2
  fi
else
  echo "== no wine64 or MinGW here; the wine64 baseline is left out" >&2
fi

echo "== running (about a minute)" >&2
exec "$hosted/bench/cube_bench" --cube "$hosted/$program" "${extra[@]}" "${wine_args[@]}" "$@"
