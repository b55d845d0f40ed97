#!/usr/bin/env bash
# The test card's figures: unpaced frames on the hosted headless display
# beside the Windows build under wine64, and the CPU share paced at 60 Hz
# (bench/cube_bench.sh with the card).
CUBE_BENCH_PROGRAM=card exec "$(dirname "${BASH_SOURCE[0]}")/cube_bench.sh" "$@"
