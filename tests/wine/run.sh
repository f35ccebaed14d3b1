#!/usr/bin/env bash
# The Windows build under Wine: the same packages, machines and runs as the
# Linux build's, compared with it.
#
#   xvfb-run -a bash tests/wine/run.sh LINUX_BUILD WINDOWS_BUILD
#
# LINUX_BUILD has heron-pack and heron-sample (and the Linux installer and
# tools); WINDOWS_BUILD has heron.exe, the two tools as .exe, pilot.exe (a
# person's click) and runline.exe (a command line through CreateProcessA).
# One Wine prefix (WINDOWS_BUILD/wineprefix, or HERON_WINE_PREFIX) is made
# once and reused; every case first lays its sample installation anew.
# HERON_WINE_KEEP=1 keeps the work folder (packages, outputs, logs).
# Each case prints PASS or FAIL with the difference; the exit status is the
# number of failed cases (0: all passed).
#
# Compared word for word, with only these differences allowed: the build
# stamp of the log header; the sizes of the two tools the packages carry and
# the byte sums of the packages (a Windows package holds other programs than
# a Linux one); the case of the Windows directory.
set -u
LIN=$(cd "$1" && pwd)
WIN=$(cd "$2" && pwd)
TOP=$(cd "$(dirname "$0")/../.." && pwd)
PREFIX=${HERON_WINE_PREFIX:-$WIN/wineprefix}
export WINEPREFIX=$PREFIX WINEDEBUG=-all
unset HERON_ROOT HERON_UI HERON_SCRIPT HERON_FAULT HERON_COMMAND_LINE
WORK=$(mktemp -d /tmp/heron-wine-XXXXXX)
FAILED=0
CLOCK=1262304000 # the clock of every run: 2010-01-01 00:00 UTC

cleanup() {
    wineserver -k >/dev/null 2>&1
    if [ -n "${HERON_WINE_KEEP:-}" ]; then echo "kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# ---- The prefix, made once ---------------------------------------------

if [ ! -f "$PREFIX/.heron-ready" ]; then
    echo "making the Wine prefix $PREFIX (once)"
    rm -rf "$PREFIX"
    wineboot -i >/dev/null 2>&1
    # Wine takes TEMP from the user's environment key, not from the Unix
    # environment: the log goes to C:\TEMP as in the Linux tests.
    wine reg add 'HKCU\Environment' /v TEMP /d 'C:\TEMP' /f >/dev/null 2>&1
    wine reg add 'HKCU\Environment' /v TMP /d 'C:\TEMP' /f >/dev/null 2>&1
    wineserver -w
    touch "$PREFIX/.heron-ready"
fi
wineserver -p >/dev/null 2>&1 # stays up between runs

# ---- The packages: the demo's release trees, one manifest, two stubs ------

SAMPLE=$LIN/tools/sample/heron-sample
PACK=$LIN/tools/pack/heron-pack
SRC=$WORK/src
cp -r "$TOP/samples/demo" "$SRC"
for entry in "8.0.0|Release 8.0.0|January 5, 2010" "8.0.1|Release 8.0.1|March 3, 2010" \
    "8.0.2|Release 8.0.2|May 1, 2010"; do
    ver=${entry%%|*}
    label=${entry#*|}
    tree=$SRC/releases/$ver/program
    mkdir -p "$tree"
    "$SAMPLE" --write-key-file "$tree/qstrings.dll" --stamp "$label" --file-version "$ver.0"
    "$SAMPLE" --write-program "$tree/qsd.exe" --file-version "$ver.0"
done
"$SAMPLE" --write-program "$SRC/releases/8.0.0/program/QSERVER.EXE" --file-version 8.0.0.0
"$SAMPLE" --write-program "$SRC/releases/8.0.1/program/QSERVER.EXE" --file-version 8.0.0.0
"$SAMPLE" --write-program "$SRC/releases/8.0.2/program/QSERVER.EXE" --file-version 8.0.2.0
"$PACK" build "$SRC/manifest.ini" -o "$WORK/setup-linux" --quiet || exit 1
"$PACK" build "$SRC/manifest.ini" -o "$WORK/setup-windows.exe" --stub "$WIN/heron.exe" \
    --version-tool "$WIN/tools/updver/UpdateVersion.exe" --cabinet-tool "$WIN/tools/cab/heron-cab.exe" --quiet || exit 1

# ---- Helpers -------------------------------------------------------------

LROOT=$WORK/linux
LC=$LROOT/drive_c
WC=$PREFIX/drive_c

# A fresh sample installation of release 8.0.1 on both machines, each
# package as C:\work\setup.exe, an empty C:\TEMP.
fresh() {
    rm -rf "$LROOT"
    "$SAMPLE" --root "$LROOT" --tree "$SRC/releases/8.0.1" "$@" >/dev/null
    mkdir -p "$LC/work" "$LC/TEMP"
    cp "$WORK/setup-linux" "$LC/work/setup.exe"
    rm -rf "$WC/work" "$WC/TEMP" "$WC/out"
    sh "$TOP/scripts/wine-sample.sh" "$SAMPLE" "$PREFIX" --tree "$SRC/releases/8.0.1" "$@" 2>/dev/null
    mkdir -p "$WC/work" "$WC/TEMP"
    cp "$WORK/setup-windows.exe" "$WC/work/setup.exe"
}

# run_linux ARGS...: the Linux installer in C:\work, headless; stdout to
# $WORK/linux.out, the exit code to $WORK/linux.rc.
run_linux() {
    (cd "$LC/work" && HERON_ROOT=$LROOT HERON_UI=headless HERON_ANSWERS= TEMP='C:\TEMP' HERON_TIME=$CLOCK \
        timeout 120 ./setup.exe "$@" >"$WORK/linux.out" 2>&1; echo $? >"$WORK/linux.rc")
}

# run_wine [PILOT ARGS --] ARGS...: the Windows installer under Wine; the
# pilot, when given, runs beside it as the person.
run_wine() {
    local pilot=() pid=""
    : >"$WORK/pilot.out"
    if [ "${1:-}" = "--pilot" ]; then
        shift
        while [ "$1" != "--" ]; do pilot+=("$1"); shift; done
        shift
        wine "$WIN/pilot.exe" "${pilot[@]}" >"$WORK/pilot.out" 2>/dev/null &
        pid=$!
    fi
    (cd "$WC/work" && HERON_ANSWERS= HERON_TIME=$CLOCK timeout 120 wine setup.exe "$@" >"$WORK/wine.out" 2>/dev/null
        echo $? >"$WORK/wine.rc")
    sed -i 's/\r$//' "$WORK/wine.out"
    # A pilot with nothing left to press goes with the installer.
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
}

# The log as both builds should write it, the allowed differences masked.
normal_log() {
    tr -d '\r' <"$1" | sed -E \
        -e 's/^Executable created [0-9:]+ [A-Z][a-z]+ +[0-9]+ [0-9]+/Executable created STAMP/' \
        -e 's/^Outsize: [0-9]+; Insize: [0-9]+ $/Outsize: N; Insize: N /' \
        -e 's/^Calculated is ([0-9a-f]+)L extracted is \1L$/Calculated is SUM extracted is SUM/' \
        -e 's/^Calculated is [0-9a-f]+L extracted is [0-9a-f]+L$/Calculated is SUM extracted is OTHER/' \
        -e 's/C:\\windows/C:\\WINDOWS/gI'
}

check() { # check NAME FILE-A FILE-B
    if diff -u "$2" "$3" >"$WORK/diff.txt"; then
        echo "PASS $1"
    else
        echo "FAIL $1"
        sed 's/^/    /' "$WORK/diff.txt" | head -n 40
        FAILED=$((FAILED + 1))
    fi
}

same_rc() { # same_rc NAME
    check "$1 (exit code)" "$WORK/linux.rc" "$WORK/wine.rc"
}

# ---- The cases -------------------------------------------------------------

# The package's own listing: the same message box.
fresh
run_linux contents
run_wine contents
check "contents" "$WORK/linux.out" "$WORK/wine.out"
same_rc "contents"

# Extraction: the same files, byte for byte.
fresh
mkdir -p "$LC/out" "$WC/out"
run_linux extract 'C:\out'
run_wine extract 'C:\out'
same_rc "extract"
check "extract (output)" "$WORK/linux.out" "$WORK/wine.out"
(cd "$LC/out" 2>/dev/null && find . -type f | sort) >"$WORK/linux.files"
(cd "$WC/out" 2>/dev/null && find . -type f | sort) >"$WORK/wine.files"
check "extract (names)" "$WORK/linux.files" "$WORK/wine.files"
if [ -s "$WORK/linux.files" ] && diff -r "$LC/out" "$WC/out" >"$WORK/diff.txt"; then
    echo "PASS extract (contents)"
else
    echo "FAIL extract (contents)"; sed 's/^/    /' "$WORK/diff.txt" | head; FAILED=$((FAILED + 1))
fi

# The installed-fix listings: the same messages, exit codes and files.
for mode in listfix fixdetails; do
    fresh
    for C in "$LC" "$WC"; do
        printf '[FIXPACKS]\r\nLabel001="Release 8.0.0|January 5, 2010"\r\nLabel002="Release 8.0.1|March 3, 2010"\r\n[%s]\r\nFile001=qsd.exe\r\nChecksum001=0x1a2bL\r\nFile002=help\\whatsnew.txt\r\nChecksum002=0L\r\n[%s]\r\nFile001=qstrings.dll\r\nChecksum001=0L\r\n' \
            '"Release 8.0.1|March 3, 2010"' '"Release 8.0.0|January 5, 2010"' >"$C/VIREO/GARNET/PATCH.INI"
    done
    run_linux $mode
    run_wine $mode
    check "$mode (output)" "$WORK/linux.out" "$WORK/wine.out"
    same_rc "$mode"
    for f in patch.txt patch_detail.txt baserev_detail.txt; do
        for side in linux wine; do
            if [ $side = linux ]; then C=$LC; else C=$WC; fi
            found=$(find "$C/VIREO" "$C/work" -maxdepth 2 -iname "$f" 2>/dev/null | head -n 1)
            if [ -n "$found" ]; then tr -d '\r' <"$found" >"$WORK/$side.$f"; else echo "<no $f>" >"$WORK/$side.$f"; fi
        done
        check "$mode ($f)" "$WORK/linux.$f" "$WORK/wine.$f"
    done
done

# A fault armed through HERON_FAULT fails the same call in both builds: the
# log cannot be opened, and the person is told so.
fresh
HERON_FAULT=Fopen:1:32 run_linux nouser
HERON_FAULT=Fopen:1:32 run_wine nouser
check "fault injection (output)" "$WORK/linux.out" "$WORK/wine.out"
same_rc "fault injection"

# An unattended run on the sample installation: the self-check passes, the
# directories are found, the wizard goes on by itself; where it waits for a
# person, the person closes it (Linux: the end of the script; Wine: the
# pilot), and the abort question is answered with its default, Yes.
fresh
run_linux nouser
run_wine --pilot --when "Identifying the installed release" --steady 3000 2 90 -- nouser
same_rc "unattended run"
normal_log "$LC/VIREO/GARNET/UPGRADE.LOG" >"$WORK/linux.log"
normal_log "$WC/VIREO/GARNET/UPGRADE.LOG" >"$WORK/wine.log"
check "unattended run (log)" "$WORK/linux.log" "$WORK/wine.log"
cp "$WORK/linux.log" "$WORK/unattended-linux.log"
grep -q "^Calculated is SUM extracted is SUM" "$WORK/wine.log" && echo "PASS self-check passes" ||
    { echo "FAIL self-check passes"; FAILED=$((FAILED + 1)); }

# The files after that run: an upgrade (once the Linux build upgrades)
# leaves the same program and data directories, then a revert to the
# recorded level the same again. The service registration's batch file
# differs by nature (a shell script on Linux) and is left out.
same_trees() { # same_trees NAME
    local d
    for d in VIREO QUILLDATA; do
        (cd "$LC/$d" && find . -type f ! -iname UPGRADE.LOG ! -iname quillreg.bat | sort) >"$WORK/linux.files"
        (cd "$WC/$d" && find . -type f ! -iname UPGRADE.LOG ! -iname quillreg.bat | sort) >"$WORK/wine.files"
        check "$1: the files of C:\\$d" "$WORK/linux.files" "$WORK/wine.files"
        local bad=""
        # Profile files: Wine's kernel32 rewrites every line of the file it
        # changes from its parsed form, trimming the blanks at line ends,
        # where the emulation keeps untouched lines as they were (case A21h
        # of tests/wine/profile_choices.txt); the values read the same.
        while read -r f; do
            case "$f" in
                *.[Ii][Nn][Ii])
                    cmp -s <(sed 's/[ \t]*\r$//' "$LC/$d/$f") <(sed 's/[ \t]*\r$//' "$WC/$d/$f") || bad="$bad $f" ;;
                *) cmp -s "$LC/$d/$f" "$WC/$d/$f" || bad="$bad $f" ;;
            esac
        done <"$WORK/linux.files"
        for f in $bad; do
            echo "    $f, Linux then Windows:"
            od -c "$LC/$d/$f" | head -n 8 | sed 's/^/      /'
            od -c "$WC/$d/$f" | head -n 8 | sed 's/^/      /'
        done
        [ -z "$bad" ] && echo "PASS $1: the bytes of C:\\$d" || { echo "FAIL $1: the bytes of C:\\$d differ:$bad"; FAILED=$((FAILED + 1)); }
    done
}
if cmp -s "$LC/VIREO/GARNET/qstrings.dll" "$SRC/releases/8.0.1/program/qstrings.dll"; then
    echo "SKIPPED upgrade and revert: the Linux build's unattended run does not upgrade yet"
else
    same_trees "upgrade"
    run_linux nouser revert 'Release 8.0.1|March 3, 2010'
    run_wine nouser revert 'Release 8.0.1|March 3, 2010'
    same_rc "revert"
    normal_log "$LC/VIREO/GARNET/UPGRADE.LOG" >"$WORK/linux.log"
    normal_log "$WC/VIREO/GARNET/UPGRADE.LOG" >"$WORK/wine.log"
    check "revert (log)" "$WORK/linux.log" "$WORK/wine.log"
    cp "$WORK/linux.log" "$WORK/revert-linux.log"
    same_trees "revert"
fi

# The two tools the unattended run wrote out of the package into C:\work,
# each run with the installer's own command lines in both builds.
tool_linux() { # tool_linux DIR COMMAND-LINE: a tool as the Linux installer starts it
    (cd "$1" && HERON_ROOT=$LROOT HERON_COMMAND_LINE=$2 "$LC/work/${2%% *}" >/dev/null 2>&1; echo $? >>"$WORK/linux.rc")
}
tool_wine() { # tool_wine DIR COMMAND-LINE: the same line through CreateProcessA (runline.exe)
    (cd "$1" && HERON_LINE="C:\\work\\$2" wine "$WIN/runline.exe" >/dev/null 2>&1; echo $? >>"$WORK/wine.rc")
}
: >"$WORK/linux.rc"
: >"$WORK/wine.rc"
for side in linux wine; do
    if [ $side = linux ]; then C=$LC; run=tool_linux; else C=$WC; run=tool_wine; fi
    $run "$C/work" 'UpdateVersion.exe "C:\VIREO\GARNET" myversion read '
    cp "$C/VIREO/GARNET/currver.txt" "$WORK/$side.currver" 2>/dev/null
    $run "$C/work" 'UpdateVersion.exe "C:\VIREO\GARNET" "Release 8.0.2|May 1, 2010" write '
    $run "$C/work" 'UpdateVersion.exe "C:\VIREO\GARNET" myversion read '
    cp "$C/VIREO/GARNET/currver.txt" "$WORK/$side.currver2" 2>/dev/null
    mkdir -p "$C/QUILLDATA/PART1/garnet/js/dojo-1.3.2/dijit" "$C/cabout"
    printf 'dojo\r\n' >"$C/QUILLDATA/PART1/garnet/js/dojo-1.3.2/dojo.js"
    head -c 70000 "$LIN/tools/pack/heron-pack" >"$C/QUILLDATA/PART1/garnet/js/dojo-1.3.2/dijit/big.bin"
    $run "$C/QUILLDATA/PART1" 'cabarc.exe -r -p n "C:\TEMP\gar-dojo.cab" garnet\js\dojo-1.3.2\*'
    $run "$C/cabout" 'cabarc.exe -p x "C:\TEMP\gar-dojo.cab" * "C:\cabout\"'
done
check "version tool (exit codes)" "$WORK/linux.rc" "$WORK/wine.rc"
check "version tool reads the stamp" "$WORK/linux.currver" "$WORK/wine.currver"
check "version tool reads the stamp it wrote" "$WORK/linux.currver2" "$WORK/wine.currver2"
cmp -s "$LC/VIREO/GARNET/qstrings.dll" "$WC/VIREO/GARNET/qstrings.dll" && echo "PASS version tool writes the same key file" ||
    { echo "FAIL version tool writes the same key file"; FAILED=$((FAILED + 1)); }
if [ -f "$WC/cabout/dijit/big.bin" ] && diff -r "$LC/cabout" "$WC/cabout" >"$WORK/diff.txt"; then
    echo "PASS cabinet tool packs and unpacks the same tree"
else
    echo "FAIL cabinet tool packs and unpacks the same tree"; sed 's/^/    /' "$WORK/diff.txt" | head; FAILED=$((FAILED + 1))
fi

# The self-check fails on a package whose stored sum is off by one: the
# dialog shows the failure and ends with Cancel; the log stays in TEMP.
fresh
bump_sum() { # bump_sum FILE OFFSET
    local b
    b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $(((b + 1) % 256)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
bump_sum "$LC/work/setup.exe" $(($(stat -c %s "$LC/work/setup.exe") - 20))
bump_sum "$WC/work/setup.exe" 28
run_linux nouser
run_wine --pilot 2 60 -- nouser
same_rc "self-check fails"
normal_log "$LC/TEMP/UPGRADE.LOG" >"$WORK/linux.log"
normal_log "$WC/TEMP/UPGRADE.LOG" >"$WORK/wine.log"
check "self-check fails (log)" "$WORK/linux.log" "$WORK/wine.log"
grep -q "^Calculated is SUM extracted is OTHER" "$WORK/wine.log" && grep -q "pressed 2" "$WORK/pilot.out" &&
    echo "PASS self-check fails (dialog cancelled)" ||
    { echo "FAIL self-check fails (dialog cancelled)"; cat "$WORK/pilot.out"; FAILED=$((FAILED + 1)); }

echo "Wine tests: $FAILED failed"
exit $FAILED
