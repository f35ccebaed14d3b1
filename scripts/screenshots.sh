#!/bin/sh
# Screenshots of the wizard's pages, taken from the Windows build under Wine
# and Xvfb, into docs/screenshots/ (PNG). Rerun after a change of the dialogs.
#
#   sh scripts/screenshots.sh
#
# Needs the Linux build (build/release) and the Windows build (build/win);
# builds both when missing. Runs the demo package on a sample installation in
# the Wine prefix of the Wine tests, interactively: pilot.exe (tests/wine/)
# plays the person and takes each picture before it clicks on.
set -e
[ -n "${HERON_SHOTS_TRACE:-}" ] && set -x
cd "$(dirname "$0")/.."
TOP=$(pwd)
if [ -z "${DISPLAY:-}" ] && [ -z "${HERON_SHOTS_UNDER_XVFB:-}" ]; then
    HERON_SHOTS_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
[ -x build/release/tools/pack/heron-pack ] || { cmake -S . -B build/release -G Ninja >/dev/null && ninja -C build/release; }
[ -x build/win/pilot.exe ] || { cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null && ninja -C build/win; }
LIN=$TOP/build/release
WIN=$TOP/build/win
export WINEPREFIX=${HERON_WINE_PREFIX:-$WIN/wineprefix} WINEDEBUG=-all
OUT=$TOP/docs/screenshots
mkdir -p "$OUT"
WORK=$(mktemp -d /tmp/heron-shots-XXXXXX)
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$WORK"' EXIT

# The demo package for Windows, on a sample installation of 8.0.1.
SAMPLE=$LIN/tools/sample/heron-sample
cp -r samples/demo "$WORK/src"
for entry in "8.0.0|Release 8.0.0|January 5, 2010" "8.0.1|Release 8.0.1|March 3, 2010" \
    "8.0.2|Release 8.0.2|May 1, 2010"; do
    ver=${entry%%|*}
    label=${entry#*|}
    mkdir -p "$WORK/src/releases/$ver/program"
    "$SAMPLE" --write-key-file "$WORK/src/releases/$ver/program/qstrings.dll" --stamp "$label" --file-version "$ver.0"
    "$SAMPLE" --write-program "$WORK/src/releases/$ver/program/qsd.exe" --file-version "$ver.0"
done
"$LIN/tools/pack/heron-pack" build "$WORK/src/manifest.ini" -o "$WORK/setup.exe" --stub "$WIN/heron.exe" \
    --version-tool "$WIN/tools/updver/UpdateVersion.exe" --cabinet-tool "$WIN/tools/cab/heron-cab.exe" --quiet
sh scripts/wine-sample.sh "$SAMPLE" "$WINEPREFIX" --tree "$WORK/src/releases/8.0.1" 2>/dev/null
# No window manager runs under Xvfb: Wine draws the frames and captions.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
C=$WINEPREFIX/drive_c
rm -rf "$C/work"
mkdir -p "$C/work" "$C/TEMP"
cp "$WORK/setup.exe" "$C/work/setup.exe"

(cd "$C/work" && wine setup.exe >/dev/null 2>&1) &
pilot() { wine "$WIN/pilot.exe" "$@"; }
shot() { # shot NAME [pilot options]: the picture as NAME.bmp in the work folder
    name=$1
    shift
    pilot "$@" --steady 1000 --shot "Z:$(echo "$WORK/$name.bmp" | tr / '\\')" 0 60
}
shot 1-agreement --when "license agreement"
pilot 1021 30 >/dev/null # I accept
shot 2-agreement-accepted --when "license agreement"
pilot 1002 30 >/dev/null # Next
shot 3-welcome --when "Welcome"
pilot 1002 30 >/dev/null
shot 4-identification --when "Identifying"
pilot 2 30 >/dev/null    # Close
shot 5-abort-question --when "Are you sure"
pilot --when "Are you sure" 6 30 >/dev/null # Yes
wait

# BMP to PNG with the standard library only.
for bmp in "$WORK"/*.bmp; do
    python3 - "$bmp" "$OUT/$(basename "${bmp%.bmp}").png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
off, = struct.unpack_from('<I', data, 10)
w, h = struct.unpack_from('<ii', data, 18)
row = (w * 3 + 3) & ~3
raw = bytearray()
for y in range(abs(h)):
    src = data[off + (abs(h) - 1 - y) * row if h > 0 else off + y * row:][:w * 3]
    raw.append(0)
    for x in range(w):
        b, g, r = src[3 * x:3 * x + 3]
        raw += bytes((r, g, b))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, abs(h), 8, 2, 0, 0, 0))
png += chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
PY
    echo "$OUT/$(basename "${bmp%.bmp}").png"
done
