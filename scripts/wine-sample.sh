#!/bin/sh
# Mirrors a sample installation into a Wine prefix: heron-sample makes the
# emulated machine of the Linux build, then its drive C: is copied into the
# prefix's drive_c and its registry imported with the registry editor, so
# the Windows build finds the same installation as the Linux build.
#
#   scripts/wine-sample.sh HERON_SAMPLE PREFIX [heron-sample options]
#
# HERON_SAMPLE is the Linux build's heron-sample, PREFIX a Wine prefix (made
# when missing). The product's earlier files and registry keys in the prefix
# are removed first, so a prefix can be reused from one test to the next.
# The sample's quillreg.bat (a shell script for the emulation) becomes a
# batch file that registers the service with reg.exe; --quillreg noop gives
# one that exits with 3, as the sample's does.
set -e
[ $# -ge 2 ] || { echo "usage: $0 HERON_SAMPLE PREFIX [heron-sample options]" >&2; exit 2; }
SAMPLE=$1
PREFIX=$2
shift 2
export WINEPREFIX="$PREFIX" WINEDEBUG=-all
[ -d "$PREFIX/drive_c/windows" ] || wineboot -i >/dev/null 2>&1

quillreg=register
for a in "$@"; do
    case "$prev" in --quillreg) quillreg=$a ;; esac
    prev=$a
done

ROOT=$(mktemp -d /tmp/heron-wine-sample-XXXXXX)
trap 'rm -rf "$ROOT"' EXIT
"$SAMPLE" --root "$ROOT" "$@" >/dev/null

# Drive C: the product's directories replace those of an earlier sample.
for d in "$ROOT"/drive_c/*; do
    name=$(basename "$d")
    case "$name" in WINDOWS|windows) continue ;; esac
    rm -rf "$PREFIX/drive_c/$name"
    cp -r "$d" "$PREFIX/drive_c/$name"
done
if [ -d "$ROOT/drive_c/WINDOWS" ]; then
    mkdir -p "$PREFIX/drive_c/windows"
    (cd "$ROOT/drive_c/WINDOWS" && find . -type f) | while read -r f; do
        mkdir -p "$PREFIX/drive_c/windows/$(dirname "$f")"
        cp "$ROOT/drive_c/WINDOWS/$f" "$PREFIX/drive_c/windows/$f"
    done
fi

# The registry: the product's keys go, then the sample's are imported.
wine reg delete 'HKLM\Software\Vireo' /f >/dev/null 2>&1 || true
wine reg delete 'HKLM\SYSTEM\CurrentControlSet\Services\quilltat' /f >/dev/null 2>&1 || true
if [ -f "$ROOT/registry.reg" ]; then
    wine regedit /S "Z:$(echo "$ROOT/registry.reg" | tr / '\\')" >/dev/null 2>&1
fi

# quillreg.bat as a Windows batch file.
bat=$(find "$PREFIX/drive_c" -maxdepth 4 -iname quillreg.bat -newer "$ROOT" 2>/dev/null | head -n 1)
if [ -n "$bat" ]; then
    if [ "$quillreg" = noop ]; then
        printf '@echo off\r\nexit /b 3\r\n' >"$bat"
    else
        printf '@echo off\r\nreg add "HKLM\\SYSTEM\\CurrentControlSet\\Services\\quilltat" /v DisplayName /d "Quill statistics service" /f >nul\r\nreg add "HKLM\\SYSTEM\\CurrentControlSet\\Services\\quilltat" /v ImagePath /d "%%~1\\quilltat.exe" /f >nul\r\nreg add "HKLM\\SYSTEM\\CurrentControlSet\\Services\\quilltat" /v Start /t REG_DWORD /d 2 /f >nul\r\nexit /b 0\r\n' >"$bat"
    fi
fi
