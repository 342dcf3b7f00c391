#!/usr/bin/env bash
# Short fuzzing run of every target, for CI: builds the targets with clang and runs each one for
# a while from the seed corpus. Exits non-zero when a target finds a crash, a sanitizer report,
# a leak or a broken property; the input is left in the output folder and named in the log.
#
#   fuzz/run_short.sh [seconds per target] [build folder] [output folder]
#
# Defaults: 60 seconds, build-fuzz under the source root, fuzz-out inside the build folder.
# Without clang the run is skipped (exit 0) with a note: libFuzzer comes with clang only.
set -u

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
build="${2:-$root/build-fuzz}"
out="${3:-$build/fuzz-out}"
targets=(fuzz_resultdataxml fuzz_model)

if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
    echo "run_short: clang is not installed; the fuzz targets need libFuzzer, skipping"
    exit 0
fi

probe="$(mktemp -d)"
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
        | clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$probe/probe" >/dev/null 2>&1; then
    rm -rf "$probe"
    echo "run_short: this clang cannot link libFuzzer with the sanitizers, skipping"
    exit 0
fi
rm -rf "$probe"

jobs="$(nproc 2>/dev/null || echo 2)"
# A build folder that already exists (the sanitizer build of ./test) is used as it is configured.
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DDTV_FUZZ=ON -DDTV_BUILD_TESTS=OFF \
        -DDTV_BUILD_APPS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
fi
cmake --build "$build" -j"$jobs" --target "${targets[@]}" || exit 1

mkdir -p "$out"
failed=0
for target in "${targets[@]}"; do
    # The run grows its own corpus; the seeds in the repository stay as they are.
    corpus="$out/corpus-$target"
    mkdir -p "$corpus"
    extra=()
    if [ "$target" = fuzz_resultdataxml ]; then
        extra+=("-dict=$root/fuzz/dtv.dict")
    fi
    echo "run_short: $target for ${seconds}s"
    start=$(date +%s)
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}" \
        "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 \
        -max_len=8192 -print_final_stats=1 -artifact_prefix="$out/$target-" "${extra[@]}" \
        "$corpus" "$root/fuzz/corpus/$target" >"$out/$target.log" 2>&1
    status=$?
    end=$(date +%s)
    if [ $status -ne 0 ]; then
        echo "run_short: $target FAILED (exit $status) after $((end - start))s; see $out/$target.log"
        grep -E "^(fuzz_|SUMMARY|==[0-9]+==ERROR)|Test unit written" "$out/$target.log" | head -20
        failed=1
    else
        echo "run_short: $target passed in $((end - start))s: $(grep -E '^stat::number_of_executed_units' "$out/$target.log" | awk '{print $2}') inputs"
    fi
done
exit $failed
