#!/usr/bin/env bash
# Installs what is missing, builds, and opens Scribeline. With no argument it
# opens sample.JPG from the project folder; an argument is the image path.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" -DSCRIBELINE_TESTS=OFF -DSCRIBELINE_BENCH=OFF
args=()
for a in "$@"; do args+=("$(realpath -m -- "$a")"); done
cd "$root"
exec "$root/build/app/scribeline" "${args[@]}"
