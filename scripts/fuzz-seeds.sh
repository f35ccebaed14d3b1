#!/bin/sh
# Makes the seed corpora of the fuzz targets from real inputs, written by the
# project's own builders: packages (heron-pack build), DCL streams (heron-pack
# implode), release tables and delta payloads cut from those packages,
# registry files, key files and programs (heron-sample), cabinets (heron-cab),
# INI files (the profile reader's probe cases and the files of a sample
# installation), manifests and command lines.
#
# Usage: sh scripts/fuzz-seeds.sh [BUILD_DIR [OUT_DIR]]
#   BUILD_DIR  a build with the tools (default build/fuzz)
#   OUT_DIR    where the corpora go, one directory per target
#              (default BUILD_DIR/seeds); emptied first
set -e
cd "$(dirname "$0")/.."
SRC=$(pwd)
BUILD=${1:-build/fuzz}
OUT=${2:-$BUILD/seeds}
BUILD=$(cd "$BUILD" && pwd)
PACK=$BUILD/tools/pack/heron-pack
SAMPLE=$BUILD/tools/sample/heron-sample
CAB=$BUILD/tools/cab/heron-cab
for tool in "$PACK" "$SAMPLE" "$CAB"; do
    [ -x "$tool" ] || { echo "fuzz-seeds: $tool is missing: build the tools first" >&2; exit 2; }
done

WORK=$(mktemp -d /tmp/heron-seeds-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
rm -rf "$OUT"
for t in store explode cab pe profile registry release_table cmdline manifest transform; do
    mkdir -p "$OUT/${t}_fuzz"
done

# ---- little helpers ----------------------------------------------------------

# le32 N: four bytes, little-endian.
le32() {
    n=$1
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((n & 255)) $((n >> 8 & 255)) $((n >> 16 & 255)) $((n >> 24 & 255)))"
}
# le16 N: two bytes, little-endian.
le16() {
    n=$1
    printf "$(printf '\\%03o\\%03o' $((n & 255)) $((n >> 8 & 255)))"
}
# byte N: one byte.
byte() { printf "$(printf '\\%03o' "$1")"; }
# u32 FILE OFFSET, u64 FILE OFFSET: little-endian numbers read from a file.
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
u64() { od -An -t u8 -j "$2" -N 8 "$1" | tr -d ' '; }
# cut FILE OFFSET COUNT: bytes of a file.
cut_bytes() { tail -c +$(($2 + 1)) "$1" | head -c "$3"; }

# payload PACKAGE TYPE ID: the bytes of a package's resource (container index).
payload() {
    size=$(stat -c %s "$1")
    index=$(u64 "$1" $((size - 16)))
    count=$(u32 "$1" $((size - 8)))
    at=$index
    i=0
    while [ "$i" -lt "$count" ]; do
        len=$(u32 "$1" "$at")
        type=$(cut_bytes "$1" $((at + 4)) "$len")
        id=$(u32 "$1" $((at + 4 + len)))
        off=$(u64 "$1" $((at + 12 + len)))
        cb=$(u64 "$1" $((at + 20 + len)))
        if [ "$type" = "$2" ] && [ "$id" = "$3" ]; then
            cut_bytes "$1" "$off" "$cb"
            return 0
        fi
        at=$((at + 28 + len))
        i=$((i + 1))
    done
    return 1
}

# ---- packages ---------------------------------------------------------------

# A tiny stub and tools keep the packages small: the store reads only the
# container after the executable part. Not "MZ": that would make packages for
# Windows.
printf 'stub\n' > "$WORK/stub"
printf 'tool\n' > "$WORK/tool"

# tree DIR FILE=TEXT...: a release tree.
tree() {
    dir=$1
    shift
    for item in "$@"; do
        mkdir -p "$(dirname "$dir/${item%%=*}")"
        printf '%s' "${item#*=}" > "$dir/${item%%=*}"
    done
}

# package NAME EXTRA_PACKAGE_LINES: builds WORK/NAME.pkg from the trees r1, r2, r3.
R1='Release 8.0.0|January 5, 2010'
R2='Release 8.0.1|March 3, 2010'
R3='Release 8.0.2|May 1, 2010'
package() {
    name=$1
    m=$WORK/$name
    mkdir -p "$m"
    "$SAMPLE" --write-key-file "$m/key1" --stamp "$R1" >/dev/null
    "$SAMPLE" --write-key-file "$m/key2" --stamp "$R2" >/dev/null
    "$SAMPLE" --write-key-file "$m/key3" --stamp "$R3" >/dev/null
    tree "$m/r1" "program/a.txt=hello 8.0.0
" "data/quill.cfg=data 0
" "system/qstat.dll=stat 0"
    tree "$m/r2" "program/a.txt=hello 8.0.1
" "program/keep.txt=unchanged
" "program/gone.txt=removed in 8.0.2
" "program/big.bin=$(seq 1 400)" "data/quill.cfg=data 1
" "data/t.ini=[T]
k=1
" "system/qstat.dll=stat 1"
    tree "$m/r3" "program/a.txt=hello 8.0.2, a little longer
" "program/keep.txt=unchanged
" "program/sub/new.txt=new in 8.0.2
" "program/big.bin=$(seq 1 390) changed $(seq 391 420)" "data/quill.cfg=data 2
" "data/t.ini=[T]
k=2
" "system/qstat.dll=stat 2"
    cp "$m/key1" "$m/r1/program/qstrings.dll"
    cp "$m/key2" "$m/r2/program/qstrings.dll"
    cp "$m/key3" "$m/r3/program/qstrings.dll"
    printf 'Licence agreement.\nSecond line.\n' > "$m/license.txt"
    {
        printf '[Package]\nFrom = %s\nTo = %s\nLicense = license.txt\n' "$R2" "$R3"
        printf 'VersionTool = %s\nCabinetTool = %s\n' "$WORK/tool" "$WORK/tool"
        printf '%s\n' "$2"
        printf '[Releases]\n%s = r1\n%s = r2\n%s = r3\n' "$R1" "$R2" "$R3"
        printf '%s\n' "$3"
    } > "$m/manifest.ini"
    "$PACK" build "$m/manifest.ini" -o "$WORK/$name.pkg" --stub "$WORK/stub" --quiet
    cp "$m/manifest.ini" "$OUT/manifest_fuzz/$name.ini"
    cp "$WORK/$name.pkg" "$OUT/store_fuzz/$name.pkg"
}

package fixpack "UpgradeType = 2"
package hotfix "UpgradeType = 1
Delta = a.txt, t.ini, big.bin"
package keyonly "UpgradeType = 0"
package gwa "Kind = GWA
LanguagePack = GWA8.0 Language Pack
DataSpace = 120
ProgramSpace = 800"
package custom "Kind = Custom Fix" "[Strings]
0 = Custom fix:6.5.5.0
2 = Maximum:6.5.06 Minimum:6.5.01
3 = Incremental Installer"
# The demo's manifest as it stands (paths below samples/demo).
cp "$SRC/samples/demo/manifest.ini" "$OUT/manifest_fuzz/demo.ini"

# ---- release tables: the counts, then the records after the header ----------

for pkg in "$WORK"/*.pkg; do
    name=$(basename "$pkg" .pkg)
    payload "$pkg" VERSION 1 > "$WORK/$name.version"
    {
        cut_bytes "$WORK/$name.version" 204 4
        cut_bytes "$WORK/$name.version" 216 4
        tail -c +233 "$WORK/$name.version"
    } > "$OUT/release_table_fuzz/$name"
done

# ---- DCL streams: the selector byte, then the stream --------------------------

seq 1 250 > "$WORK/text.txt"
head -c 1200 "$PACK" > "$WORK/binary.bin"
printf '' > "$WORK/empty.txt"
printf 'a' > "$WORK/one.txt"
for input in text.txt binary.bin empty.txt one.txt; do
    for mode in "" "--ascii"; do
        for dict in 1024 2048 4096; do
            # shellcheck disable=SC2086
            "$PACK" implode $mode --dict $dict "$WORK/$input" "$WORK/stream"
            sel=0
            [ "$input" = binary.bin ] && sel=133
            { byte $sel; cat "$WORK/stream"; } > "$OUT/explode_fuzz/$input${mode}-$dict"
        done
    done
done
# And the licence payload of a package, as the installer unpacks it.
{ byte 7; payload "$WORK/fixpack.pkg" LICENSEENTRY 2 | tail -c +5; } > "$OUT/explode_fuzz/licence"

# ---- delta payloads: entry fields, the installed file, the payload ----------

# transform NAME OLD NEW BLOCKS PACKAGE ID REVERT: one seed of the transforms.
transform() {
    payload "$6" UPDATE "$5" | tail -c +5 > "$WORK/delta.dcl"
    "$PACK" explode "$WORK/delta.dcl" "$WORK/delta" >/dev/null 2>&1 || true
    old=$2
    new=$3
    src=$old
    [ "$7" = 1 ] && src=$new
    {
        le32 $((2 + $7))
        le32 "$4"
        le32 "$(stat -c %s "$old")"
        le32 "$(stat -c %s "$new")"
        le16 "$(stat -c %s "$src")"
        cat "$src"
        cat "$WORK/delta"
    } > "$OUT/transform_fuzz/$1"
}
# The hotfix package's delta entries (kind 1), against its trees.
hot=$WORK/hotfix
id=1
while payload "$WORK/hotfix.pkg" FILEENTRY $id > "$WORK/entry" 2>/dev/null; do
    name=$(tr '\0' '\n' < "$WORK/entry" | head -n 1 | tr '\\' '/')
    kind=$(od -An -t u4 -j $((${#name} + 1)) -N 4 "$WORK/entry" | tr -d ' ')
    dirc=$(od -An -t u4 -j $((${#name} + 5)) -N 4 "$WORK/entry" | tr -d ' ')
    blocks=$(od -An -t u4 -j $((${#name} + 33)) -N 4 "$WORK/entry" | tr -d ' ')
    case $dirc in 1) sub=program ;; 2) sub=data ;; *) sub=system ;; esac
    if [ "$kind" = 1 ]; then
        base=$(echo "$name" | tr '/' '_')
        transform "$sub-$base-up" "$hot/r2/$sub/$name" "$hot/r3/$sub/$name" "$blocks" $id "$WORK/hotfix.pkg" 0
        transform "$sub-$base-back" "$hot/r2/$sub/$name" "$hot/r3/$sub/$name" "$blocks" $id "$WORK/hotfix.pkg" 1
    fi
    id=$((id + 1))
done

# ---- a sample installation: registry files, key files, programs, INI files --

"$SAMPLE" --root "$WORK/m1" --data-dirs 2 --five-key --parlance-key --service-key \
    --backup "$R1" >/dev/null
"$SAMPLE" --root "$WORK/m2" --data-dirs 0 --quill-ini-windows --lowercase-path >/dev/null
"$SAMPLE" --root "$WORK/m3" --no-product-key-path --parlance-key-no-path >/dev/null
for m in m1 m2 m3; do
    cp "$WORK/$m/registry.reg" "$OUT/registry_fuzz/$m.reg"
done
# A string value typed hex(1) without its NUL (once taken for a fault).
printf 'W\r\n[HKEY_LOCAL_MACHINE\\et\\1.0]\r\n""=hex(1):05\r\n"Path"=hex(1):43,3a\r\n' \
    > "$OUT/registry_fuzz/sz-without-nul.reg"
cp "$WORK/m1/drive_c/VIREO/GARNET/qstrings.dll" "$OUT/pe_fuzz/key-sample.dll"
cp "$WORK/m1/drive_c/VIREO/GARNET/QSERVER.EXE" "$OUT/pe_fuzz/program.exe"
"$SAMPLE" --write-key-file "$OUT/pe_fuzz/key-long.dll" \
    --stamp "Release 8.0.2 Fix Pack 1 with a long name|December 31, 2010" --file-version 8.0.2.1 >/dev/null
"$SAMPLE" --write-program "$OUT/pe_fuzz/program-6.5.exe" --file-version 6.5.5.0 >/dev/null

# profile_fuzz: the byte that picks the small buffer (+64: reads into it;
# +192: writes too), the byte that picks a section (+8: writes a key, not the
# section) and a key, then the file.
ini() { { byte "$2"; byte "$3"; printf "$4"; } > "$OUT/profile_fuzz/$1"; }
ini r.ini 197 16 '[Sec]\r\nKey=Value\r\nEmpty=\r\nBlank=   \r\nNoEq\r\n[Other]\r\nK=V\r\n[EmptySec]\r\n[Last]\r\nX=1\r\n'
ini q.ini 3 0 '[Q]\r\ndq="text"\r\nsq='"'"'text'"'"'\r\ndqinner="  padded  "\r\ndqopen="text\r\ndqclose=text"\r\n'
ini c.ini 201 41 '; leading comment\r\n\r\n[C]\r\n;commented=1\r\n  ; indented comment\r\n#hash=2\r\njunk line\r\n\r\ndup=first\r\ndup=second\r\nk=v ; not a comment\r\n[D]\r\na=1\r\n[C]\r\ndup=third\r\nonly2=x\r\n[d]\r\nb=2\r\n'
ini h.ini 65 2 '[ Spaced ]\r\na=1\r\n["Release 7.0.1|May 1, 2009"]\r\nb=2\r\n[Br]acket]\r\nc=3\r\n[NoClose\r\nd=4\r\n  [Indented]  \r\ne=5\r\n[Trail] junk\r\nf=6\r\n'
ini g.ini 208 24 '[Full]\r\nk1=v1\r\n  k2 = "v2" \r\nnoeq\r\n;comment\r\n\r\nk3=\r\n[Empty]\r\n[OnlyComment]\r\n;c\r\n[OnlyBlank]\r\n\r\n\r\n[Last]\r\nz=1\r\n'
ini lf.ini 130 0 '[Sec]\nKey=Value\n'
ini bom.ini 68 1 '\357\273\277[First]\r\nk=v\r\n[Second]\r\nk=w\r\n'
ini patch.ini 64 1 '[Installed Fixes]\r\nLabel001=Release 8.0.1|March 3, 2010\r\n["Release 8.0.1|March 3, 2010"]\r\nqstrings.dll=0x1234abcdL\r\nprogram\\a.txt=0x9e83486dL\r\n'
ini quill.ini 204 32 '[Quill]\r\nDirectory=C:\\QUILLDATA\\PART1\r\nCFP_LP_CURRENT=8.0.1\r\nCFP_LP_PREV=8.0.0\r\nCFP_LP_BASE_VERSION=8.0\r\n'
for f in $(find "$WORK/m1" "$WORK/m2" -iname 'QUILL.INI'); do
    { byte 148; byte 0; cat "$f"; } > "$OUT/profile_fuzz/sample-$(echo "$f" | md5sum | head -c 8).ini"
done

# ---- cabinets ----------------------------------------------------------------

mkdir -p "$WORK/cabtree/js/dojo/src" "$WORK/cabtree/plugins"
seq 1 500 > "$WORK/cabtree/js/dojo/dojo.js"
printf 'x = 1;\n' > "$WORK/cabtree/js/dojo/src/x.js"
head -c 5000 "$PACK" > "$WORK/cabtree/plugins/plugin.jar"
printf '' > "$WORK/cabtree/plugins/empty.txt"
(
    cd "$WORK/cabtree"
    "$CAB" -r -p n "$WORK/tree.cab" 'js\*' >/dev/null
    "$CAB" -r -p -m none n "$WORK/stored.cab" 'js\*' >/dev/null
    "$CAB" n "$WORK/plugins.cab" 'plugins\*' >/dev/null
)
cp "$WORK"/*.cab "$OUT/cab_fuzz/"

# ---- command lines: the part byte, then the text ----------------------------

line() { { byte "$2"; printf '%s' "$3"; } > "$OUT/cmdline_fuzz/$1"; }
line nouser 0 'nouser'
line revert 0 '/nouser -revert Release 8.0.1|March 3, 2010'
line revert-quoted 0 'revert "Release 8.0.1|March 3, 2010" force nochecksum'
line listings 0 'listfix fixdetails contents'
line unknown 0 '-nouser /bogus word'
line split 1 'setup.exe "C:\Prog Dir\x" a\\"b "" c\\\\"d e" tail'
line split-tool 1 '"C:\start\cabarc.exe" -r -p n "C:\VIREO\GARNET\backup\gar-dojo.cab" garnet\js\dojo-1.3.2\*'
line path-win 2 'C:\WINDOWS;"C:\Program Files\x";;C:\VIREO\GARNET'
line path-unix 2 '/usr/bin::/bin:/opt/heron'

count=$(find "$OUT" -type f | wc -l)
echo "fuzz-seeds: $count seeds in $OUT"
for d in "$OUT"/*; do
    printf '  %-20s %s\n' "$(basename "$d")" "$(ls "$d" | wc -l)"
done
