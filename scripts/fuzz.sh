#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ (clang, address+undefined) and runs each one for
# the given number of seconds (default 30) over a copy of its seed corpus, one at a time, in
# one process each (no -jobs: libFuzzer would fork workers logging to fuzz-N.log in the cwd).
# Usage: scripts/fuzz.sh [seconds] [target ...]   Exits non-zero when a target finds a fault.
# The mutations follow FUZZ_SEED (default 1), so a run from the checked-in seeds repeats: a
# slower machine tries a prefix of what a faster one tried. FUZZ_SEED=0 lets libFuzzer pick.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-30}"
shift || true
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
    TARGETS=(fuzz_report fuzz_settings fuzz_phonebook fuzz_calllog fuzz_sim_command fuzz_net_json fuzz_vcard fuzz_csv)
fi
BUILD="${FUZZ_BUILD_DIR:-build-fuzz}"
JOBS="${FUZZ_BUILD_JOBS:-2}"
SEED="${FUZZ_SEED:-1}"

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRINGVALE_BUILD_FUZZ=ON -DRINGVALE_SANITIZE=address -DRINGVALE_BUILD_UI=OFF \
    -DRINGVALE_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target "${TARGETS[@]}" -j"$JOBS"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
for target in "${TARGETS[@]}"; do
    corpus="$BUILD/corpus/$target"
    mkdir -p "$corpus" "$BUILD/artifacts/$target"
    # The checked-in seeds stay untouched; new inputs go to the build's corpus.
    cp -n "fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
    log="$BUILD/$target.log"
    # The store fuzzers save files (with fsync): a tmpfs keeps that cheap.
    scratch="$(mktemp -d -p "$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )")"
    if TMPDIR="$scratch" "$BUILD/fuzz/$target" -max_total_time="$SECONDS_EACH" -seed="$SEED" \
        -max_len=4096 -rss_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$BUILD/artifacts/$target/" "$corpus" >"$log" 2>&1; then
        runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
        printf '%-18s ok      %10s runs in %ss\n' "$target" "$runs" "$SECONDS_EACH"
    else
        printf '%-18s FAILED  see %s\n' "$target" "$log"
        tail -n 40 "$log"
        status=1
    fi
    rm -rf "$scratch"
done
exit $status
