#!/bin/sh
# Runs every libFuzzer harness of a fuzz build for a bounded time.
#   fuzz/run-smoke.sh <build-dir> [seconds-per-harness]
# Seeds: this folder's seeds/<harness> and, when the shared corpora lie beside the checkout, the
# JSON parsing corpus, both copied (a harness writes new inputs into its corpus folder).
# Exits non-zero on any crash, leak, timeout or sanitizer report.
set -u

if [ $# -lt 1 ]; then
    echo "usage: $0 <build-dir> [seconds-per-harness]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=${2:-15}
here=$(cd "$(dirname "$0")" && pwd)
shared="$here/../../shared/testdata/json-test-suite/test_parsing"

work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-fuzz-smoke.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT INT TERM
artifacts="$build/fuzz-artifacts"

bin="$build/bin"
[ -d "$bin" ] || bin="$build"
harnesses=$(find "$bin" -type f -name 'fuzz_*' -perm -u+x ! -path '*/CMakeFiles/*' ! -path '*/fuzz-artifacts/*' | sort)
if [ -z "$harnesses" ]; then
    echo "no fuzz_* harness below $bin (configure with -DLUMORA_FUZZ=ON and build 'fuzzers')" >&2
    exit 2
fi

failed=0
for harness in $harnesses; do
    name=$(basename "$harness")
    dir="$work/$name"
    mkdir -p "$dir/corpus" "$dir/tmp"
    if [ -d "$shared" ]; then
        cp "$shared"/* "$dir/corpus/"
    fi
    if [ -d "$here/seeds/${name#fuzz_}" ]; then
        cp "$here/seeds/${name#fuzz_}"/* "$dir/corpus/"
    fi
    log="$dir/log"
    TMPDIR="$dir/tmp" ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}" \
        "$harness" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=20 \
        -dict="$here/json.dict" -artifact_prefix="$dir/" -print_final_stats=1 \
        "$dir/corpus" >"$log" 2>&1
    code=$?
    if [ $code -ne 0 ] ||
        grep -Eq 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|SUMMARY: ' "$log"; then
        echo "FAIL $name (exit $code)"
        tail -n 80 "$log"
        mkdir -p "$artifacts"
        for found in "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-*; do
            [ -e "$found" ] && cp "$found" "$artifacts/$name-$(basename "$found")" &&
                echo "input kept: $artifacts/$name-$(basename "$found")"
        done
        failed=1
    else
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n 1)
        echo "ok   $name: ${runs:-?} runs in ${seconds}s, $cov"
    fi
done
exit $failed
