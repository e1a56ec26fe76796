#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, the
# real-window ones under their own Xvfb server; then builds again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test under
# them (scripts/test-sanitized.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" -DSCRIBELINE_TESTS=ON -DSCRIBELINE_BENCH=ON
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)" --timeout 600)
bash "$root/scripts/test-sanitized.sh"
