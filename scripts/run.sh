#!/usr/bin/env bash
# Installs what is missing, builds, and opens Scribeline. With no argument it
# opens sample.JPG from the project folder; the arguments are passed on (paths
# made absolute, options as they are).
#
# A launch after an earlier one skips the package check and the configure
# step when neither the package list nor any CMake file changed since then
# (build/.run-stamp holds their fingerprint), and skips the build too when no
# source changed since the last build (build/.run-built marks its time): it
# then starts as fast as the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$root/build/app/scribeline"
stamp="$root/build/.run-stamp"
built="$root/build/.run-built"
options=(-DSCRIBELINE_TESTS=OFF -DSCRIBELINE_BENCH=OFF)

# Hash of what the package check and the configure step read.
fingerprint() {
  {
    echo "${options[*]}"
    cat "$root/scripts/install-deps.sh" "$root/scripts/build.sh"
    find "$root" -path "$root/build" -prune -o -path "$root/.git" -prune -o \
      -type f \( -name CMakeLists.txt -o -name '*.cmake' \) -print0 |
      LC_ALL=C sort -z | xargs -0 sha256sum
  } | sha256sum | cut -d' ' -f1
}

# True when a source, header or CMake file changed since the last build.
sources_changed() {
  [[ ! -f "$built" ]] ||
  [[ -n "$(find "$root" -path "$root/build" -prune -o -path "$root/.git" \
    -prune -o -type f -newer "$built" \( -name '*.cpp' -o -name '*.h' \
    -o -name CMakeLists.txt -o -name '*.cmake' -o -name '*.desktop' \) \
    -print -quit)" ]]
}

current="$(fingerprint)"
mkdir -p "$root/build"
if [[ -f "$stamp" && -f "$root/build/CMakeCache.txt" && -x "$binary" &&
      "$(cat "$stamp")" == "$current" ]]; then
  if sources_changed; then
    touch "$built.next"
    cmake --build "$root/build" --target scribeline -j"$(nproc)"
    mv "$built.next" "$built"
  fi
else
  rm -f "$stamp"
  touch "$built.next"
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh" "${options[@]}"
  mv "$built.next" "$built"
  echo "$current" >"$stamp"
fi

# The working directory becomes the project folder: paths are made absolute
# first. Options stay as they are, up to "--", after which all are paths.
args=()
paths_only=false
for a in "$@"; do
  if ! $paths_only && [[ "$a" == -* ]]; then
    args+=("$a")
    [[ "$a" == "--" ]] && paths_only=true
  else
    args+=("$(realpath -m -- "$a")")
  fi
done
cd "$root"
exec "$binary" "${args[@]}"
