#!/usr/bin/env bash
# The profile-file probe of the Win32 behaviour write-up run twice: under
# Wine against the real kernel32 (the probes' own runner, as an unprivileged
# user in a fresh prefix), and on Linux against the emulation
# (profile_probe_emulated of the Linux build). Every case whose line differs
# must be listed in tests/wine/profile_choices.txt with the reason; a case
# that differs without one, or is missing on either side, fails.
#
#   bash tests/wine/profile_conformance.sh LINUX_BUILD [PROBES_DIR]
#
# PROBES_DIR defaults to ../shared/probes/win32 beside the repository.
set -u
LIN=$(cd "$1" && pwd)
TOP=$(cd "$(dirname "$0")/../.." && pwd)
PROBES=${2:-$TOP/../shared/probes/win32}
CHOICES=$TOP/tests/wine/profile_choices.txt
[ -f "$PROBES/profile.c" ] || { echo "SKIPPED profile conformance: no probes at $PROBES"; exit 0; }
[ -x "$LIN/tests/profile_probe_emulated" ] || { echo "FAIL profile conformance: $LIN/tests/profile_probe_emulated not built"; exit 1; }
WORK=$(mktemp -d /tmp/heron-conformance-XXXXXX)
trap 'rm -rf "$WORK" ${KEPT:+"$KEPT"}' EXIT

mkdir -p "$WORK/machine/drive_c"
HERON_ROOT=$WORK/machine "$LIN/tests/profile_probe_emulated" >"$WORK/emulation.txt" 2>&1
bash "$PROBES/run.sh" --keep profile >"$WORK/wine-run.txt" 2>&1
KEPT=$(sed -n 's/^kept: //p' "$WORK/wine-run.txt")
if [ -z "$KEPT" ] || [ ! -s "$KEPT/out/profile.txt" ]; then
    echo "FAIL profile conformance: the probe did not run under Wine"
    sed 's/^/    /' "$WORK/wine-run.txt" | tail -n 20
    exit 1
fi
cp "$KEPT/out/profile.txt" "$WORK/wine.txt"

awk -v choices="$CHOICES" '
    BEGIN { while ((getline line < choices) > 0) if (line !~ /^#/ && line != "") {
                id = line; sub(/ .*/, "", id); why = line; sub(/^[^ ]* /, "", why); reason[id] = why } }
    function caseid(s) { sub(/ .*/, "", s); return s }
    FNR == NR { if ($1 ~ /^A[0-9]/) { id = caseid($1); sub(/-.*/, "", id); wine[id] = $0; order[++n] = id }; next }
    $1 ~ /^A[0-9]/ { id = caseid($1); sub(/-.*/, "", id); emu[id] = $0; if (!(id in wine)) order[++n] = id }
    END {
        for (i = 1; i <= n; i++) {
            id = order[i]
            if (seen[id]++) continue
            if ((id in wine) && (id in emu) && wine[id] == emu[id]) { same++; continue }
            if ((id in wine) && (id in emu) && (id in reason)) {
                chosen++; print "CHOSEN " id ": " reason[id]; continue }
            failed++
            print "FAIL " id
            print "    wine:      " ((id in wine) ? wine[id] : "<missing>")
            print "    emulation: " ((id in emu) ? emu[id] : "<missing>")
        }
        for (id in reason) if (!(id in seen)) { failed++; print "FAIL " id ": listed as a choice but not run" }
        printf "Profile conformance: %d cases the same, %d chosen differences, %d failed\n", same, chosen, failed
        exit failed > 0
    }' "$WORK/wine.txt" "$WORK/emulation.txt"
