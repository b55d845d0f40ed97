#!/usr/bin/env bash
# run_bmp_fuzz.sh libfuzzer|loop FUZZER CORPUS_TOOL SECONDS FOLDER
# Writes the corpus anew into FOLDER/seeds and fuzzes from it for SECONDS:
# libFuzzer keeps what it finds in FOLDER/found and a crashing input in
# FOLDER; the loop keeps nothing.
set -euo pipefail
kind=$1 fuzzer=$2 corpus_tool=$3 seconds=$4 folder=$5
rm -rf "$folder"
mkdir -p "$folder/seeds" "$folder/found"
"$corpus_tool" "$folder/seeds"
if [ "$kind" = libfuzzer ]; then
  # -timeout: one input taking this long is a failure too.
  exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$folder/" "$folder/found" "$folder/seeds"
fi
exec "$fuzzer" "$seconds" "$folder/seeds"
