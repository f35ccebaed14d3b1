#!/bin/sh
# Builds the project twice (normal, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both; then the Windows
# build (mingw-w64) and its tests under Wine, when the cross compiler and
# Wine are installed (scripts/deps.sh installs them); it says so when not.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
JOBS=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHERON_BENCH=ON >/dev/null
ninja -C build/release
(cd build/release && ctest --output-on-failure -j "$JOBS")
# The figures of the fault sweep (every 4th operation of its reduced list).
grep -h -E '^(upgrade|revert): [0-9]+ operations|^[0-9]+ scenarios, ' build/release/Testing/Temporary/LastTest.log || true

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHERON_SANITIZE=ON -DHERON_BENCH=OFF >/dev/null
ninja -C build/asan
# The fault sweep samples fewer scenarios under the sanitizers (HERON_SWEEP).
(cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 HERON_SWEEP=12 \
    ctest --output-on-failure -j "$JOBS")
grep -h -E '^(upgrade|revert): [0-9]+ operations|^[0-9]+ scenarios, ' build/asan/Testing/Temporary/LastTest.log || true
echo "All tests passed (normal and sanitizer builds)."

# The Windows build and the Wine tests.
if ! command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1; then
    echo "SKIPPED: the Windows build and the Wine tests (no x86_64-w64-mingw32-g++; scripts/deps.sh installs it)"
    exit 0
fi
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build/win
sh tests/wine/pe_check.sh build/release build/win
if ! command -v wine >/dev/null 2>&1 || ! command -v xvfb-run >/dev/null 2>&1; then
    echo "SKIPPED: the Wine tests (no wine or xvfb-run; scripts/deps.sh installs them)"
    exit 0
fi
xvfb-run -a bash tests/wine/run.sh build/release build/win
bash tests/wine/profile_conformance.sh build/release
echo "All Windows tests passed (Windows build under Wine)."
