#!/bin/sh
# Builds the project twice (normal, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
JOBS=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHERON_BENCH=ON >/dev/null
ninja -C build/release
(cd build/release && ctest --output-on-failure -j "$JOBS")

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHERON_SANITIZE=ON -DHERON_BENCH=OFF >/dev/null
ninja -C build/asan
# The fault sweep samples fewer scenarios under the sanitizers (HERON_SWEEP).
(cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 HERON_SWEEP=12 \
    ctest --output-on-failure -j "$JOBS")
echo "All tests passed (normal and sanitizer builds)."
