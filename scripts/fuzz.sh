#!/bin/sh
# Runs the libFuzzer targets one after the other, each for a given time, and
# prints per target the executions, the coverage (edges and features) and the
# corpus (inputs, bytes). Builds the fuzz build (clang) when needed.
#
# Usage: sh scripts/fuzz.sh [-t SECONDS] [-n] [TARGET...]
#   -t SECONDS  time per target (default 60)
#   -n          from an empty corpus, without seeds or dictionary (the
#               figures a target reaches on its own)
#   TARGET      e.g. store_fuzz (default: every tests/fuzz/*_fuzz.cpp)
#
# Corpora grow in build/fuzz/corpus/TARGET across runs, started from the seeds
# that scripts/fuzz-seeds.sh makes (build/fuzz/seeds/TARGET) and helped by the
# dictionary tests/fuzz/dict/TARGET.dict. A crash, leak or timeout leaves its
# input in build/fuzz/crashes/ and makes the exit status 1; every such input
# becomes a regression test.
set -e
cd "$(dirname "$0")/.."
BUILD=${HERON_FUZZ_BUILD:-build/fuzz}
SECONDS_EACH=60
SEEDS=1
while getopts t:n opt; do
    case $opt in
    t) SECONDS_EACH=$OPTARG ;;
    n) SEEDS=0 ;;
    *) sed -n '2,16p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
TARGETS="$*"
[ -n "$TARGETS" ] || TARGETS=$(for f in tests/fuzz/*_fuzz.cpp; do basename "$f" .cpp; done)

if [ ! -f "$BUILD/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DHERON_FUZZ=ON -DHERON_BENCH=OFF >/dev/null
fi
# shellcheck disable=SC2086
ninja -C "$BUILD" $TARGETS heron-pack heron-sample heron-cab >/dev/null
# Absolute paths: some targets change their current directory.
BUILD=$(cd "$BUILD" && pwd)
DICTS=$(pwd)/tests/fuzz/dict
if [ "$SEEDS" = 1 ] && [ ! -d "$BUILD/seeds" ]; then
    sh scripts/fuzz-seeds.sh "$BUILD" "$BUILD/seeds" >/dev/null
fi

LOGS=$(mktemp -d /tmp/heron-fuzz-XXXXXX)
mkdir -p "$BUILD/crashes"
status=0
printf '%-20s %12s %8s %8s %8s %10s  %s\n' target executions edges features inputs bytes result
for t in $TARGETS; do
    if [ "$SEEDS" = 1 ]; then
        corpus=$BUILD/corpus/$t
        mkdir -p "$corpus"
        set -- "$corpus"
        [ -d "$BUILD/seeds/$t" ] && set -- "$@" "$BUILD/seeds/$t"
        [ -f "$DICTS/$t.dict" ] && set -- "-dict=$DICTS/$t.dict" "$@"
    else
        corpus=$LOGS/corpus-$t
        mkdir -p "$corpus"
        set -- "$corpus"
    fi
    result=clean
    "$BUILD/tests/$t" -max_total_time="$SECONDS_EACH" -print_final_stats=1 -timeout=20 -rss_limit_mb=3072 \
        -artifact_prefix="$BUILD/crashes/$t-" "$@" > "$LOGS/$t.log" 2>&1 || {
        result="FAILED: $(ls -t "$BUILD/crashes/$t-"* 2>/dev/null | head -n 1)"
        status=1
    }
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$LOGS/$t.log")
    last=$(grep -E '^#[0-9]+' "$LOGS/$t.log" | tail -n 1)
    edges=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    features=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    inputs=$(ls "$corpus" | wc -l)
    bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{ n += $1 } END { print n + 0 }')
    printf '%-20s %12s %8s %8s %8s %10s  %s\n' "$t" "${execs:-?}" "${edges:-?}" "${features:-?}" "$inputs" "$bytes" \
        "$result"
done
if [ "$status" = 0 ]; then rm -rf "$LOGS"; else echo "logs: $LOGS"; fi
exit $status
