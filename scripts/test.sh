#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, the
# real-window ones under their own Xvfb server, then builds again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test under
# them (scripts/test-sanitized.sh). SCRIBELINE_SANITIZE=0 leaves out the
# second run, for a quick check while working.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" -DSCRIBELINE_TESTS=ON -DSCRIBELINE_BENCH=ON
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)" --timeout 600)
if [[ "${SCRIBELINE_SANITIZE:-1}" != 0 ]]; then
  bash "$root/scripts/test-sanitized.sh"
fi
