#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, runs each over its checked-in
# corpus (fuzz/corpus/<target>: seeds, and every input that once made a
# target fail, named crash-*), then fuzzes each for SCRIBELINE_FUZZ_SECONDS
# seconds (20 by default). New inputs the fuzzer finds go to
# build-fuzz/corpus/, never into the repository. A failing input is written
# to build-fuzz/crashes/ and ends the run with status 1; keep it in the
# target's corpus as crash-<what> once it is fixed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
seconds="${SCRIBELINE_FUZZ_SECONDS:-20}"
targets=(fuzz_image_header fuzz_image_file fuzz_label_list fuzz_run_length
  fuzz_history fuzz_coco_json fuzz_index_png)

CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DSCRIBELINE_FUZZ=ON \
  -DSCRIBELINE_TESTS=OFF -DSCRIBELINE_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzzers -j"$(nproc)"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p "$build/crashes"
# A decoder that crashes while the program holds standard error back leaves
# no message in the log; the failing input itself is printed then, last, so
# that it can be taken from a CI log and replayed.
failed() {
  tail -60 "$build/$1.log"
  for artifact in "$build/crashes/$1-"*; do
    [ -f "$artifact" ] || continue
    echo "== failing input $(basename "$artifact") ($(stat -c %s "$artifact") bytes), base64:"
    base64 -w 100 "$artifact"
  done
  exit 1
}
for target in "${targets[@]}"; do
  fuzzer="$build/fuzz/$target"
  corpus="$root/fuzz/corpus/$target"
  found="$build/corpus/$target"
  mkdir -p "$found"
  echo "== $target: the checked-in corpus, then ${seconds} s of fuzzing"
  # Every checked-in input once (the regression cases).
  "$fuzzer" -runs=0 -artifact_prefix="$build/crashes/$target-" "$corpus" \
    2>"$build/$target.log" || failed "$target"
  "$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$target-" "$found" "$corpus" \
    2>"$build/$target.log" || failed "$target"
  grep -E "stat::number_of_executed_units|cov:" "$build/$target.log" |
    tail -2 || true
done
