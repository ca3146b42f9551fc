#!/usr/bin/env bash
# Builds the core unit tests under AddressSanitizer+UndefinedBehaviorSanitizer (build-asan) and
# ThreadSanitizer (build-tsan) and runs them (ctest -L unit). Any sanitizer report fails the run.
# Usage: scripts/sanitize.sh [address|thread ...]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
KINDS=("$@")
if [ ${#KINDS[@]} -eq 0 ]; then
    KINDS=(address thread)
fi
JOBS="${SANITIZE_BUILD_JOBS:-2}"
TEST_JOBS="${SANITIZE_TEST_JOBS:-$(nproc)}"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
# ThreadSanitizer cannot map its shadow memory with the newest kernels' address randomisation.
SETARCH=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)" -gt 28 ] && command -v setarch >/dev/null; then
    SETARCH=(setarch "$(uname -m)" -R)
fi

for kind in "${KINDS[@]}"; do
    case "$kind" in
        address) build=build-asan ;;
        thread) build=build-tsan ;;
        *) echo "unknown sanitizer: $kind" >&2; exit 2 ;;
    esac
    # -Og -g1 builds in about a third of the time of -O2 -g and still gives sanitizer reports
    # with function names and lines; assertions stay on.
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-Og -g1" \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-Og -g1" -DRINGVALE_SANITIZE="$kind" \
        -DRINGVALE_BUILD_UI=OFF -DRINGVALE_BUILD_BENCH=OFF >/dev/null
    # Only the unit test programs (and the simulator they start).
    targets=$(cmake --build "$build" --target help | sed -n 's/^\.\.\. \(unit_[A-Za-z0-9_]*\).*/\1/p')
    # shellcheck disable=SC2086
    cmake --build "$build" --target ringvale-adapter-sim $targets -j"$JOBS"
    echo "== $kind: ctest -L unit in $build"
    if [ "$kind" = thread ]; then
        "${SETARCH[@]}" ctest --test-dir "$build" -L unit --output-on-failure -j"$TEST_JOBS"
    else
        ctest --test-dir "$build" -L unit --output-on-failure -j"$TEST_JOBS"
    fi
done
