#!/bin/sh
# Installs what building, testing and the demo need on a Debian machine.
# Safe to run again: only missing packages are installed.
set -e
PACKAGES="cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libstorm-dev zlib1g-dev icoutils tmux binutils-mingw-w64-x86-64 cabextract bsdiff xdelta3"
# The fuzz targets also need: clang libclang-rt-14-dev
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "Installing:$missing"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
fi
