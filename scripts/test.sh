#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, the
# real-window ones under their own Xvfb server, then builds again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test under
# them (scripts/test-sanitized.sh), then runs the fuzz targets over their
# corpora and fuzzes each for a short while (scripts/fuzz.sh).
# SCRIBELINE_SANITIZE=0 and SCRIBELINE_FUZZ=0 leave those out, for a quick
# check while working.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
# Every build below (Release, sanitizers, fuzz targets) goes through ccache.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$root"
fi
bash "$root/scripts/build.sh" -DSCRIBELINE_TESTS=ON -DSCRIBELINE_BENCH=ON
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)" --timeout 600)
if [[ "${SCRIBELINE_SANITIZE:-1}" != 0 ]]; then
  bash "$root/scripts/test-sanitized.sh"
fi
if [[ "${SCRIBELINE_FUZZ:-1}" != 0 ]]; then
  bash "$root/scripts/fuzz.sh"
fi
