#!/bin/sh
# The Windows programs and a Windows package as the binary tools see them
# (no Wine needed):
#   - heron.exe is a GUI-subsystem PE32+ program that needs no DLL beyond
#     those of Windows itself; UpdateVersion.exe and heron-cab.exe the same
#     as console programs;
#   - heron-pack build --stub heron.exe gives a file that objdump and
#     wrestool read, with the package's resource types and string table.
#
#   sh tests/wine/pe_check.sh LINUX_BUILD WINDOWS_BUILD
set -u
LIN=$1
WIN=$2
TOP=$(cd "$(dirname "$0")/../.." && pwd)
OBJDUMP=x86_64-w64-mingw32-objdump
FAILED=0
WORK=$(mktemp -d /tmp/heron-pe-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

fail() { echo "FAIL $*"; FAILED=$((FAILED + 1)); }
pass() { echo "PASS $*"; }

# Windows' own DLLs; anything else would have to be shipped.
SYSTEM_DLLS="KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll VERSION.dll msvcrt.dll"
for prog in heron.exe:2 tools/updver/UpdateVersion.exe:3 tools/cab/heron-cab.exe:3; do
    exe=$WIN/${prog%%:*}
    subsystem=${prog##*:}
    $OBJDUMP -p "$exe" >"$WORK/p.txt" 2>&1 || { fail "$exe: objdump"; continue; }
    grep -q "^Subsystem[[:space:]]*0000000$subsystem" "$WORK/p.txt" && grep -q "^Magic[[:space:]]*020b" "$WORK/p.txt" &&
        pass "$(basename "$exe"): PE32+, subsystem $subsystem" || fail "$(basename "$exe"): subsystem"
    extra=""
    for dll in $(sed -n 's/^[[:space:]]*DLL Name: //p' "$WORK/p.txt"); do
        case " $SYSTEM_DLLS " in *" $dll "*) ;; *) extra="$extra $dll" ;; esac
    done
    [ -z "$extra" ] && pass "$(basename "$exe"): statically linked" || fail "$(basename "$exe"): needs$extra"
done

# A package from the demo manifest, with stand-ins for the release trees'
# product programs.
SAMPLE=$LIN/tools/sample/heron-sample
cp -r "$TOP/samples/demo" "$WORK/src"
for ver in 8.0.0 8.0.1 8.0.2; do
    mkdir -p "$WORK/src/releases/$ver/program"
    "$SAMPLE" --write-key-file "$WORK/src/releases/$ver/program/qstrings.dll" --stamp "Release $ver|May 1, 2010" \
        --file-version "$ver.0"
done
if "$LIN/tools/pack/heron-pack" build "$WORK/src/manifest.ini" -o "$WORK/setup.exe" --stub "$WIN/heron.exe" \
    --version-tool "$WIN/tools/updver/UpdateVersion.exe" --cabinet-tool "$WIN/tools/cab/heron-cab.exe" --quiet; then
    pass "heron-pack build --stub heron.exe"
    $OBJDUMP -p "$WORK/setup.exe" >"$WORK/p.txt" 2>&1 && grep -q "Resource Directory \[.rsrc\]" "$WORK/p.txt" &&
        grep -q "name: .*VERSION" "$WORK/p.txt" && pass "package: objdump reads its resources" ||
        fail "package: objdump"
    if wrestool -l "$WORK/setup.exe" >"$WORK/w.txt" 2>&1; then
        missing=""
        for t in "'VERSION' --name=1" "'FILEENTRY' --name=1" "'UPDATE' --name=1" "'LICENSEENTRY' --name=2" \
            "'UPDATE64ENTRY' --name=3" "'UPDATECABENTRY' --name=4" "=6 --name=1 --language=1033"; do
            grep -q -- "$t" "$WORK/w.txt" || missing="$missing [$t]"
        done
        [ -z "$missing" ] && pass "package: wrestool lists every resource kind" || fail "package: wrestool lacks$missing"
    else
        fail "package: wrestool"; sed 's/^/    /' "$WORK/w.txt"
    fi
    # The byte sum at offset 28 covers every other byte.
    sum=$(od -An -tu1 -v "$WORK/setup.exe" | awk '{ for (i = 1; i <= NF; i++) { n++; if (n < 29 || n > 32) s = (s + $i) % 4294967296 } } END { print s }')
    stored=$(od -An -tu4 -j 28 -N 4 "$WORK/setup.exe" | tr -d ' ')
    [ "$sum" = "$stored" ] && pass "package: byte sum at offset 28" || fail "package: byte sum $sum, stored $stored"
else
    fail "heron-pack build --stub heron.exe"
fi
echo "PE checks: $FAILED failed"
exit $FAILED
