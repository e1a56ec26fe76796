#!/usr/bin/env bash
# Configures and builds Scribeline in build/ (Release).
set -euo pipefail
cd "$(dirname "$0")/.."
# A rebuild reuses the compilations of earlier builds of the same sources
# (in any clone on the machine) through ccache, when it is installed.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build build -j"$(nproc)"
