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
SAMPLE=$BIN/tools/sample/heron-sample

# The release trees, with real product programs: the key file carries the
# release stamp, the programs their file versions.
cp -r samples/demo "$DEMO/src"
for entry in "8.0.0|Release 8.0.0|January 5, 2010" "8.0.1|Release 8.0.1|March 3, 2010" \
    "8.0.2|Release 8.0.2|May 1, 2010"; do
    ver=${entry%%|*}
    label=${entry#*|}
    tree=$DEMO/src/releases/$ver/program
    mkdir -p "$tree"
    "$SAMPLE" --write-key-file "$tree/qstrings.dll" --stamp "$label" --file-version "$ver.0"
    "$SAMPLE" --write-program "$tree/qsd.exe" --file-version "$ver.0"
done
# The server program changed only in 8.0.2.
"$SAMPLE" --write-program "$DEMO/src/releases/8.0.0/program/QSERVER.EXE" --file-version 8.0.0.0
"$SAMPLE" --write-program "$DEMO/src/releases/8.0.1/program/QSERVER.EXE" --file-version 8.0.0.0
"$SAMPLE" --write-program "$DEMO/src/releases/8.0.2/program/QSERVER.EXE" --file-version 8.0.2.0
# The sample installation: release 8.0.1 installed.
"$SAMPLE" --root "$HERON_ROOT" --tree "$DEMO/src/releases/8.0.1" >/dev/null

step() { printf '\n==> %s\n' "$*"; }

step "heron-pack build samples/demo/manifest.ini"
"$BIN/tools/pack/heron-pack" build "$DEMO/src/manifest.ini" -o "$DEMO/setup.exe"
cp "$DEMO/setup.exe" "$HERON_ROOT/drive_c/work/setup.exe"
cd "$HERON_ROOT/drive_c/work"

step "heron-pack list (first lines)"
"$BIN/tools/pack/heron-pack" list setup.exe | head -n 12

step "setup.exe contents"
rc=0; ./setup.exe contents || rc=$?
echo "(exit code $rc)"

step "setup.exe extract C:\\extracted"
mkdir -p "$HERON_ROOT/drive_c/extracted"
rc=0; ./setup.exe extract 'C:\extracted' || rc=$?
echo "(exit code $rc: 0 done, 2 damaged payload, 5 a file could not be written)"
ls -l "$HERON_ROOT/drive_c/extracted"

step "setup.exe nouser (unattended run: self-check, discovery, the wizard by itself)"
rc=0; ./setup.exe nouser || rc=$?
echo "(exit code $rc: 0 upgraded; 3 does not apply; 4 failed or not finished; see README, Exit codes)"

step "the version-stamp tool the installer wrote out reads the installed release"
HERON_COMMAND_LINE='UpdateVersion.exe "C:\VIREO\GARNET" myversion read ' ./UpdateVersion.exe
tr -d '\r' <"$HERON_ROOT/drive_c/VIREO/GARNET/currver.txt"; echo

step "setup.exe with a scripted user (accept the agreement, Next, Next, then Close)"
HERON_SCRIPT='accept;next;next' HERON_ANSWERS='Yes' ./setup.exe || echo "(exit code $?)"

step "the upgrade log"
for f in "$HERON_ROOT/drive_c/VIREO/GARNET/UPGRADE.LOG" "$HERON_ROOT/drive_c/TEMP/UPGRADE.LOG"; do
    if [ -f "$f" ]; then echo "--- $f"; tr -d '\r' <"$f"; fi
done
echo
echo "Demo machine left in $DEMO"
