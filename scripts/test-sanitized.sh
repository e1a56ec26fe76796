#!/usr/bin/env bash
# Builds Scribeline and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ (the benchmarks are left out:
# they add build time and no checks) and runs the whole suite under them,
# the programs the real-window tests start included: they inherit the
# options below from the tests.
#
# Any sanitizer report fails the run: the sanitizers end the reporting
# process at once with status 86, a status the program never uses (it ends
# with 0, 1 or 2), so a test that expects status 1 cannot mistake a report
# for success. Reports are also written to build-asan/sanitizer-reports/,
# and the run fails when any is there at the end, so that a report from a
# process whose status no test looks at is not lost either.
#
# strict_string_checks stays off: it makes strndup(s, 0) read up to a NUL
# that need not be there, which libxkbcommon-x11 does with the empty atom
# names of the X server's keymap (a false report at random starts).
#
# Leaks: only the known leaks of system libraries are suppressed, in
# scripts/lsan.supp, each with the reason.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-asan"
reports="$build/sanitizer-reports"

export ASAN_OPTIONS="exitcode=86:halt_on_error=1:abort_on_error=0:detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1:log_path=$reports/asan"
export LSAN_OPTIONS="exitcode=86:suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="exitcode=86:halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"

flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DSCRIBELINE_TESTS=ON -DSCRIBELINE_BENCH=OFF >/dev/null
rm -rf "$reports"
mkdir -p "$reports"
cmake --build "$build" -j"$(nproc)"
status=0
(cd "$build" && ctest --output-on-failure -j"$(nproc)" --timeout 900) || status=$?
if compgen -G "$reports/*" >/dev/null; then
  echo "Sanitizer reports:"
  for report in "$reports"/*; do
    echo "== $report"
    cat "$report"
  done
  status=1
fi
exit "$status"
