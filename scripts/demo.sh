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

# The installation's files, with the release stamp of the key file.
show_files() {
    ( cd "$HERON_ROOT/drive_c" && find VIREO QUILLDATA WINDOWS/SYSTEM32 -type f ! -name UPGRADE.LOG \
        ! -name currver.txt | sort | while read -r f; do
            printf '  %-44s %s\n' "$f" "$(cksum <"$f" | cut -d' ' -f1)"
        done )
    if HERON_COMMAND_LINE='UpdateVersion.exe "C:\VIREO\GARNET" myversion read ' "$BIN/tools/updver/UpdateVersion"; then
        printf '  release stamp: %s\n' "$(tr -d '\r' <"$HERON_ROOT/drive_c/VIREO/GARNET/currver.txt")"
    fi
}

step "the installation before the upgrade (file, CRC)"
show_files

step "setup.exe nouser plan result C:\\plan.json (the dry run: what the upgrade would do; nothing changes)"
rc=0; ./setup.exe nouser plan result 'C:\plan.json' || rc=$?
echo "(exit code $rc: 0 the upgrade would proceed; 3 does not apply)"
printf '%s\n' '--- the result file C:\plan.json'
cat "$HERON_ROOT/drive_c/plan.json"

step "setup.exe nouser verify (the drift report against the patch registry and the release table)"
rc=0; ./setup.exe nouser verify || rc=$?
echo "(exit code $rc: 0 clean, 6 drift)"

step "setup.exe nouser (unattended upgrade: self-check, discovery, identification, the wizard by itself)"
rc=0; ./setup.exe nouser || rc=$?
echo "(exit code $rc: 0 upgraded; 3 does not apply; 4 failed or not finished; see README, Exit codes)"
step "the installation after the upgrade"
show_files
step "setup.exe nouser verify (after the upgrade: clean)"
rc=0; ./setup.exe nouser verify >/dev/null || rc=$?
echo "(exit code $rc: 0 clean, 6 drift)"
tr -d '\r' <"$HERON_ROOT/drive_c/TEMP/verify.txt"

step "setup.exe listfix"
./setup.exe listfix || echo "(exit code $?)"
step "setup.exe fixdetails"
./setup.exe fixdetails || echo "(exit code $?)"

step "setup.exe nouser revert Release 8.0.1 (unattended revert)"
rc=0; ./setup.exe nouser revert Release 8.0.1 || rc=$?
echo "(exit code $rc: 0 reverted; 4 failed or not finished)"
step "the installation after the revert: as before the upgrade"
show_files

step "the upgrade log"
for f in "$HERON_ROOT/drive_c/VIREO/GARNET/UPGRADE.LOG" "$HERON_ROOT/drive_c/TEMP/UPGRADE.LOG"; do
    if [ -f "$f" ]; then echo "--- $f"; tr -d '\r' <"$f"; fi
done

# Identification on a second machine: release 8.0.2 (the package's own
# level) is installed, and earlier fixes left the backup directories of
# 8.0.0 and 8.0.1, so the package can only revert, to either level.
export HERON_ROOT=$DEMO/machine2
mkdir -p "$HERON_ROOT/drive_c/TEMP" "$HERON_ROOT/drive_c/work"
"$SAMPLE" --root "$HERON_ROOT" --tree "$DEMO/src/releases/8.0.2" --data-dirs 2 \
    --backup "Release 8.0.0|January 5, 2010" --backup "Release 8.0.1|March 3, 2010" >/dev/null
cp "$DEMO/setup.exe" "$HERON_ROOT/drive_c/work/setup.exe"
cd "$HERON_ROOT/drive_c/work"
ident_log() {
    # The identification lines of the last run's log.
    for f in "$HERON_ROOT/drive_c/VIREO/GARNET/UPGRADE.LOG" "$HERON_ROOT/drive_c/TEMP/UPGRADE.LOG"; do
        [ -f "$f" ] || continue
        tr -d '\r' <"$f" | grep -E '^(DetermineMode|REVERT|UPGRADE|VerifyValidLabels|Identified|Verified|Unable|Can.t find|gpcanFixLabels|Revert label|Valid label|You )|Added [0-9]+ label|Selected Label|RestoreBaseRelease'
        rm -f "$f"
    done
}

step "machine 2 at 8.0.2: setup.exe scripted (accept, Next, Next, pick the row of Release 8.0.0)"
HERON_SCRIPT='accept;next;next;select=Release 8.0.0' HERON_ANSWERS='Yes' ./setup.exe nochecksum || echo "(exit code $?)"
ident_log

step "machine 2: setup.exe nouser revert Release 8.0.1 (the label by its first words; its backup directory is empty, so the revert fails with exit code 4 and puts every file back)"
./setup.exe nochecksum nouser revert Release 8.0.1 || echo "(exit code $?)"
ident_log

step "machine 2: setup.exe nouser (unattended, two labels and none named: the person must choose; nobody does, exit code 4)"
HERON_ANSWERS='Yes' ./setup.exe nochecksum nouser || echo "(exit code $?)"
ident_log

step "machine 2: a changed file and a stray temporary file: setup.exe nouser verify result C:\\verify.json"
printf 'edited\r\n' >>"$HERON_ROOT/drive_c/VIREO/GARNET/qsd.exe"
printf 'half\r\n' >"$HERON_ROOT/drive_c/VIREO/GARNET/UPTMP0002.TMP"
rc=0; ./setup.exe nochecksum nouser verify result 'C:\verify.json' >/dev/null || rc=$?
echo "(exit code $rc: 6 drift)"
tr -d '\r' <"$HERON_ROOT/drive_c/TEMP/verify.txt"
printf '%s\n' '--- the result file C:\verify.json (first lines)'
head -n 6 "$HERON_ROOT/drive_c/verify.json"
rm -f "$HERON_ROOT/drive_c/VIREO/GARNET/UPTMP0002.TMP"

step "machine 2 with an unknown release stamped: setup.exe nouser refuses (exit code 3)"
"$SAMPLE" --write-key-file "$HERON_ROOT/drive_c/VIREO/GARNET/qstrings.dll" --stamp "Release 7.9.9|June 1, 2009"
./setup.exe nochecksum nouser || echo "(exit code $?)"
ident_log

step "machine 2 with a patch registry: setup.exe listfix"
printf '[FIXPACKS]\r\nLabel001="Release 8.0.1|March 3, 2010"\r\n' >"$HERON_ROOT/drive_c/VIREO/GARNET/PATCH.INI"
./setup.exe listfix || echo "(exit code $?)"
echo
echo "Demo machine left in $DEMO"
