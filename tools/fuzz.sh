#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in build-fuzz/ and runs
# each for a bounded time. The corpus each target grows is kept in
# build-fuzz/corpus/ between runs; the seeds in tests/fuzz/seeds are read only.
# A crash, a sanitizer report, a leak or a time-out leaves its input in
# build-fuzz/crashes/ and fails the run.
#
#   tools/fuzz.sh [seconds per target]     60 unless told
#   FUZZ_STRICT=1 tools/fuzz.sh ...        crashes inside Assimp fail the run too
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"
seconds="${1:-60}"
build_dir="$TARNWICK_ROOT/build-fuzz"
fuzz_dir="$TARNWICK_ROOT/tests/fuzz"
targets=(fuzz_tangent_frames fuzz_texture_path fuzz_scene_import)

install_missing_packages

CC=clang CXX=clang++ configure_project "$build_dir" -DTARNWICK_FUZZ=ON -DTARNWICK_WERROR=ON
start=$(date +%s)
cmake --build "$build_dir" --parallel "$(nproc)" --target "${targets[@]}"
echo "fuzz: build took $(( $(date +%s) - start )) s"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$TARNWICK_ROOT/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

failed=()
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  corpus="$build_dir/corpus/$name"
  crashes="$build_dir/crashes"
  mkdir -p "$corpus" "$crashes"
  # The first folder is the one libFuzzer adds to; the seeds are only read.
  folders=("$corpus")
  [ -d "$fuzz_dir/seeds/$name" ] && folders+=("$fuzz_dir/seeds/$name")
  flags=()
  # Assimp takes a model file at its word: a few kilobytes can make it ask for
  # gigabytes or grind for many seconds. Those are Assimp's, reported below but
  # no failure here (fork mode lets the run go on past them); crashes and
  # sanitizer reports still fail.
  [ "$name" = scene_import ] && flags=(-dict="$fuzz_dir/collada.dict" -max_len=16384
                                       -fork=1 -ignore_ooms=1 -ignore_timeouts=1)
  start=$(date +%s)
  # -timeout: one input taking over 10 s counts as a hang; -rss_limit_mb as
  # running away with memory. Both are failures like a crash.
  status=0
  "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$crashes/$name-" "${flags[@]}" "${folders[@]}" \
    > "$build_dir/$target.log" 2>&1 || status=$?
  # In fork mode the exit code also tells of the time-outs and memory it was
  # told to go on past; only a crash, a leak or a sanitizer report fails it.
  if [ "$status" -ne 0 ] && [ "$name" = scene_import ] &&
     ! ls "$crashes/$name"-crash-* "$crashes/$name"-leak-* > /dev/null 2>&1 &&
     ! grep -q 'deadly signal\|Sanitizer\|runtime error' "$build_dir/$target.log"; then
    status=0
  fi
  # A crash whose innermost frame lies in Assimp is Assimp's (one is kept in
  # tests/fuzz/known: the demo itself dies on it). It is reported and kept
  # with its input; it fails the run only with FUZZ_STRICT=1.
  if [ "$status" -ne 0 ] && [ "${FUZZ_STRICT:-0}" != 1 ] &&
     grep -A8 'ERROR: AddressSanitizer: SEGV' "$build_dir/$target.log" | grep -m1 '#0 ' | grep -q libassimp; then
    echo "fuzz: $target: a crash inside Assimp, not in our code; input in $crashes"
    status=0
  fi
  if [ "$status" -eq 0 ]; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build_dir/$target.log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz: $target clean, $runs inputs in $(( $(date +%s) - start )) s"
    slow=$(grep -c 'ERROR: libFuzzer: \(timeout\|out-of-memory\)' "$build_dir/$target.log" || true)
    [ "$slow" -gt 0 ] && echo "fuzz: $target: $slow input(s) where Assimp ran out of time or memory, kept in $crashes"
  else
    echo "fuzz: $target FAILED after $(( $(date +%s) - start )) s; log $build_dir/$target.log:"
    tail -40 "$build_dir/$target.log"
    failed+=("$target")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: failures in ${failed[*]}; inputs in $build_dir/crashes"; exit 1; }
