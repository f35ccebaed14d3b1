#!/bin/sh
# Runs the libFuzzer targets one after the other, each for a given time or
# up to a given total of executions, and prints per target the executions
# (this run and in total), the coverage (edges and features) and the corpus
# (inputs, bytes). Builds the fuzz build (clang) when needed.
#
# Usage: sh scripts/fuzz.sh [-t SECONDS] [-e TOTAL] [-n] [TARGET...]
#   -t SECONDS  time per target (default 60; with -e, no limit unless given)
#   -e TOTAL    run each target until its executions in total, earlier runs
#               counted (build/fuzz/stats/TARGET), reach TOTAL, e.g. 10000000
#   -n          from an empty corpus, without seeds or dictionary (the
#               figures a target reaches on its own; not counted in total)
#   TARGET      e.g. store_fuzz (default: every tests/fuzz/*_fuzz.cpp)
#
# Corpora grow in build/fuzz/corpus/TARGET across runs, started from the seeds
# that scripts/fuzz-seeds.sh makes (build/fuzz/seeds/TARGET) and helped by the
# dictionary tests/fuzz/dict/TARGET.dict. A crash, leak or timeout leaves its
# input in build/fuzz/crashes/ and makes the exit status 1; every such input
# becomes a regression test. Run long jobs under "nice -n 19".
set -e
cd "$(dirname "$0")/.."
BUILD=${HERON_FUZZ_BUILD:-build/fuzz}
SECONDS_EACH=
TOTAL=
SEEDS=1
while getopts t:e:n opt; do
    case $opt in
    t) SECONDS_EACH=$OPTARG ;;
    e) TOTAL=$OPTARG ;;
    n) SEEDS=0 ;;
    *) sed -n '2,19p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
if [ -z "$SECONDS_EACH" ]; then
    SECONDS_EACH=60
    [ -n "$TOTAL" ] && SECONDS_EACH=0
fi
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
# Made again when the script that makes them changed since.
if [ "$SEEDS" = 1 ] && { [ ! -d "$BUILD/seeds" ] || [ scripts/fuzz-seeds.sh -nt "$BUILD/seeds" ]; }; then
    sh scripts/fuzz-seeds.sh "$BUILD" "$BUILD/seeds" >/dev/null
fi

# The largest input worth trying per target: its real inputs are small, and
# longer ones only slow each execution down.
max_len() {
    case $1 in
    store_fuzz) echo 16384 ;;
    transform_fuzz) echo 8192 ;;
    cab_fuzz | pe_fuzz | cmdline_fuzz | profile_fuzz | registry_fuzz | release_table_fuzz) echo 4096 ;;
    explode_fuzz) echo 1024 ;;
    *) echo 2048 ;;
    esac
}

LOGS=$(mktemp -d /tmp/heron-fuzz-XXXXXX)
mkdir -p "$BUILD/crashes" "$BUILD/stats"
status=0
printf '%-20s %11s %11s %6s %8s %7s %9s  %s\n' target executions total edges features inputs bytes result
for t in $TARGETS; do
    done_before=0
    [ "$SEEDS" = 1 ] && [ -f "$BUILD/stats/$t" ] && done_before=$(cat "$BUILD/stats/$t")
    runs=-1
    if [ -n "$TOTAL" ]; then
        runs=$((TOTAL - done_before))
        if [ "$runs" -le 0 ]; then
            printf '%-20s %11s %11s %6s %8s %7s %9s  %s\n' "$t" 0 "$done_before" - - - - "reached $TOTAL before"
            continue
        fi
    fi
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
    "$BUILD/tests/$t" -runs="$runs" -max_total_time="$SECONDS_EACH" -max_len="$(max_len "$t")" \
        -print_final_stats=1 -timeout=20 -rss_limit_mb=3072 -artifact_prefix="$BUILD/crashes/$t-" "$@" \
        > "$LOGS/$t.log" 2>&1 || {
        result="FAILED: $(ls -t "$BUILD/crashes/$t-"* 2>/dev/null | head -n 1)"
        status=1
    }
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$LOGS/$t.log")
    total=$((done_before + ${execs:-0}))
    [ "$SEEDS" = 1 ] && echo "$total" > "$BUILD/stats/$t"
    last=$(grep -E '^#[0-9]+' "$LOGS/$t.log" | tail -n 1)
    edges=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    features=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    inputs=$(ls "$corpus" | wc -l)
    bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{ n += $1 } END { print n + 0 }')
    printf '%-20s %11s %11s %6s %8s %7s %9s  %s\n' "$t" "${execs:-?}" "$total" "${edges:-?}" "${features:-?}" \
        "$inputs" "$bytes" "$result"
done
if [ "$status" = 0 ]; then rm -rf "$LOGS"; else echo "logs: $LOGS"; fi
exit $status
