#!/usr/bin/env bash
# The web lane's figures beside the hosted lane's, from one run: builds the
# hosted cube (build/hosted) and the pages (build/web), then runs
# bench/web_bench.js in headless Chromium. Arguments go to it (--repeat N).
# Needs what scripts/setup installs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
echo "== building the hosted cube and the pages" >&2
cmake --preset hosted >/dev/null
cmake --build --preset hosted --target cube >/dev/null
cmake --preset web >/dev/null
cmake --build --preset web >/dev/null
exec node bench/web_bench.js "$root/build/web" "$root/build/hosted/cube" "$@"
