#!/bin/sh
# The demo: builds the project, makes the sample package from samples/demo,
# and shows what the installer does with it in an emulated machine.
set -e
cd "$(dirname "$0")/.."
TOP=$(pwd)
sh scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build/release >/dev/null
BIN=$TOP/build/release

DEMO=$(mktemp -d /tmp/heron-demo-XXXXXX)
export HERON_ROOT=$DEMO/machine HERON_UI=headless TEMP='C:\TEMP'
mkdir -p "$HERON_ROOT/drive_c/TEMP" "$HERON_ROOT/drive_c/work"
if [ -x "$BIN/tools/sample/heron-sample" ]; then
    "$BIN/tools/sample/heron-sample" --root "$HERON_ROOT" --tree "$TOP/samples/demo/releases/8.0.1" >/dev/null 2>&1 ||
        "$BIN/tools/sample/heron-sample" --root "$HERON_ROOT" >/dev/null
fi

step() { printf '\n==> %s\n' "$*"; }

step "heron-pack build samples/demo/manifest.ini"
"$BIN/tools/pack/heron-pack" build samples/demo/manifest.ini -o "$DEMO/setup.exe"
cp "$DEMO/setup.exe" "$HERON_ROOT/drive_c/work/setup.exe"
cd "$HERON_ROOT/drive_c/work"

step "heron-pack list (first lines)"
"$BIN/tools/pack/heron-pack" list setup.exe | head -n 12

step "setup.exe contents"
./setup.exe contents

step "setup.exe extract C:\\extracted"
mkdir -p "$HERON_ROOT/drive_c/extracted"
./setup.exe extract 'C:\extracted'
ls -l "$HERON_ROOT/drive_c/extracted"

step "setup.exe nouser (unattended run: self-check, discovery, wizard)"
./setup.exe nouser || echo "(exit code $?)"

step "the upgrade log"
for f in "$HERON_ROOT/drive_c/VIREO/GARNET/UPGRADE.LOG" "$HERON_ROOT/drive_c/TEMP/UPGRADE.LOG"; do
    if [ -f "$f" ]; then echo "--- $f"; tr -d '\r' <"$f"; fi
done
echo
echo "Demo machine left in $DEMO"
