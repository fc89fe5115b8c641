#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in build-fuzz/ and runs
# each for a bounded time. The corpus each target grows is kept in
# build-fuzz/corpus/ between runs; the seeds in tests/fuzz/seeds are read only.
# A crash, a sanitizer report, a leak or a time-out leaves its input in
# build-fuzz/crashes/ and fails the run.
#
# Assimp's own crashes and stalls on a model file are the exception: the demo
# reads every model file in a child process first (src/import/import_guard.h),
# which turns them into a failed load. The scene-import target therefore goes
# on past them; each crash it found is replayed alone, and one whose innermost
# frame of real code lies in Assimp is reported as caught by that guard, not as
# a failure. Keep such inputs in tests/fuzz/known: the bad-input matrix runs
# every file there as either model file.
#
#   tools/fuzz.sh [seconds per target] [target ...]   60 s, all targets unless told
#   FUZZ_STRICT=1 tools/fuzz.sh ...                    crashes inside Assimp fail the run too
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"
seconds="${1:-60}"
build_dir="$TARNWICK_ROOT/build-fuzz"
fuzz_dir="$TARNWICK_ROOT/tests/fuzz"
targets=(fuzz_tangent_frames fuzz_texture_path fuzz_scene_import)
[ $# -gt 1 ] && targets=("${@:2}")

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
  # gigabytes, grind for minutes or read through a null pointer. Fork mode
  # lets the run go on past all of these; they are judged below.
  [ "$name" = scene_import ] && flags=(-dict="$fuzz_dir/collada.dict" -max_len=16384
                                       -fork=1 -ignore_ooms=1 -ignore_timeouts=1 -ignore_crashes=1)
  start=$(date +%s)
  stamp="$(mktemp /tmp/tarnwick-fuzz-XXXXXX)"
  # -timeout: one input taking over 10 s counts as a hang; -rss_limit_mb as
  # running away with memory. Both are failures like a crash.
  status=0
  "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$crashes/$name-" "${flags[@]}" "${folders[@]}" \
    > "$build_dir/$target.log" 2>&1 || status=$?
  if [ "$name" = scene_import ]; then
    # The exit code of fork mode also tells of what it went on past: judge
    # by what this run left instead. A leak fails; each crash is replayed.
    status=0
    caught=0
    while IFS= read -r input; do
      case "$input" in
        *-leak-*) echo "fuzz: $target: a leak: $input"; status=1 ;;
        *-crash-*)
          # The innermost frame of real code: sanitizer runtime and C library frames skipped.
          frame="$("$build_dir/tests/fuzz/$target" "$input" 2>&1 | grep '^ *#[0-9]' |
                   grep -v -e 'libc\.so' -e 'libstdc++' -e 'libclang_rt' -e 'compiler-rt' -e '__interceptor' -e '__asan' |
                   head -1 || true)"
          if ! grep -q libassimp <<< "$frame"; then
            echo "fuzz: $target: a crash outside Assimp: $input"
            echo "  $frame"
            status=1
          elif [ "${FUZZ_STRICT:-0}" = 1 ]; then
            echo "fuzz: $target: a crash inside Assimp (FUZZ_STRICT=1): $input"
            status=1
          else
            caught=$((caught + 1))
          fi ;;
      esac
    done < <(find "$crashes" -name "$name-*" -newer "$stamp")
    [ "$caught" -gt 0 ] && echo "fuzz: $target: $caught crash(es) inside Assimp, caught by the import guard; inputs in $crashes"
  fi
  rm -f "$stamp"
  if [ "$status" -eq 0 ]; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build_dir/$target.log" | grep -o '[0-9]*$' || true)
    # Fork mode prints no final statistics: its last progress line counts the inputs.
    [ -n "$runs" ] || runs=$(grep -o '^#[0-9]*' "$build_dir/$target.log" | tail -1 | tr -d '#' || true)
    [ -n "$runs" ] || runs="?"
    echo "fuzz: $target clean, $runs inputs in $(( $(date +%s) - start )) s"
    slow=$(grep -c 'ERROR: libFuzzer: \(timeout\|out-of-memory\)' "$build_dir/$target.log" || true)
    [ "$slow" -gt 0 ] && echo "fuzz: $target: $slow input(s) where Assimp ran out of time or memory (the guard bounds its time), kept in $crashes"
  else
    echo "fuzz: $target FAILED after $(( $(date +%s) - start )) s; log $build_dir/$target.log:"
    tail -40 "$build_dir/$target.log"
    failed+=("$target")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: failures in ${failed[*]}; inputs in $build_dir/crashes"; exit 1; }
