#!/bin/sh
# Installs what building, testing and the demo need on a Debian machine.
# Safe to run again: only missing packages are installed.
set -e
PACKAGES="cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libstorm-dev zlib1g-dev icoutils tmux binutils-mingw-w64-x86-64 cabextract bsdiff xdelta3 python3"
# The Windows build and its tests under Wine (scripts/test.sh runs them when
# these are there, and says so when they are not).
WINDOWS_PACKAGES="g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 xvfb xauth"
# The fuzz targets also need: clang libclang-rt-14-dev
missing() {
    out=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || out="$out $p"
    done
    echo "$out"
}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
need=$(missing $PACKAGES)
needWindows=$(missing $WINDOWS_PACKAGES)
if [ -n "$need$needWindows" ]; then
    $SUDO apt-get update -qq
fi
if [ -n "$need" ]; then
    echo "Installing:$need"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need >/dev/null
fi
if [ -n "$needWindows" ]; then
    echo "Installing (Windows build, Wine tests):$needWindows"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $needWindows >/dev/null ||
        echo "deps: could not install$needWindows; the Windows build and the Wine tests will be skipped"
fi
