#!/usr/bin/env bash
# Builds the system with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/, then runs the unit tests and a short headless capture there.
# Any sanitizer report fails the run. Needs no display: the capture draws
# through EGL.
#
#   tools/sanitize.sh
set -eu
TARNWICK_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$TARNWICK_ROOT/tools/setup.sh"
build_dir="$TARNWICK_ROOT/build-asan"

install_missing_packages

# halt_on_error: the first report ends the process with a failure exit code.
# The leak check stays on; tools/lsan.supp names, one by one, the libraries
# whose memory is kept on purpose until the process ends.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$TARNWICK_ROOT/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

unit_tests=()
for source in "$TARNWICK_ROOT"/tests/unit/*.cpp; do
  unit_tests+=("$(basename "$source" .cpp)")
done

start=$(date +%s)
configure_project "$build_dir" -DCMAKE_BUILD_TYPE=Sanitize -DTARNWICK_WERROR=ON
cmake --build "$build_dir" --parallel "$(nproc)" --target tarnwick tarnwick_capture "${unit_tests[@]}"
echo "sanitize: build took $(( $(date +%s) - start )) s"

start=$(date +%s)
# Left out: the generator's determinism test, which makes the whole track
# twice more (minutes under ASan); the build has just run that same generator
# under the sanitizers to make the run folder's track.
(cd "$build_dir" && ctest --output-on-failure --parallel "$(nproc)" -L unit -E '^MusicGenerator\.IsDeterministic$')
echo "sanitize: unit tests took $(( $(date +%s) - start )) s"

# The run from its start to tick 1200 at 10 frames per second: 240 frames
# through the whole frame code, the zap and the reveal at tick 1070 included
# (motion blur before it, bloom after). The frames from tick 1040 on are kept
# as pictures, which also runs the read-back and the PNG writer.
start=$(date +%s)
frames_dir="$(mktemp -d /tmp/tarnwick-sanitize-XXXXXX)"
trap 'rm -rf "$frames_dir"' EXIT
"$build_dir/tools/capture/tarnwick_capture" --run-dir "$build_dir/run" --start 1040 --end 1200 \
  --fps 10 --no-audio --quiet --context egl --out "$frames_dir" 2>&1 | tr '\r' '\n' | grep -v '^ *frame '
written=$(find "$frames_dir" -name '*.png' | wc -l)
echo "sanitize: capture of 240 frames ($written kept) took $(( $(date +%s) - start )) s"
if [ "$written" -ne 32 ]; then
  echo "sanitize: expected 32 kept frames, got $written" >&2
  exit 1
fi
