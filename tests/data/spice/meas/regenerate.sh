#!/bin/sh
# Regenerates the raw files of this folder and ngspice's own measurements of
# them (DECK.expected) with ngspice: each deck writes its saved vectors as a
# binary raw file and then measures on those same vectors, so that Kurvex and
# ngspice measure exactly the same points. meas_tran.cir is one transient,
# meas_ac.cir one AC analysis, meas_loop.cir three transients from a foreach loop.
# DECK.expected holds one block per run ("run K", K from 1), then a line
# "NAME VALUE [at=X] [targ=X] [trig=X]" as ngspice printed it, or "NAME failed".
set -eu
cd "$(dirname "$0")"
rm -f ./meas_*.raw ./meas_*.expected
# extract DECK RUNS: ngspice prints the results of .meas lines twice in batch
# mode, so a name met again starts the next run and runs past RUNS are dropped.
extract() {
    ngspice -b "$1.cir" >"$1.log" 2>&1 || true
    awk -v runs="$2" -v deck="$1" -v version="$(ngspice -v | sed -n 's/.*\(ngspice-[0-9.]*\).*/\1/p' | head -n 1)" '
        function record(name, text) {
            if (name in seen || run == 0) {
                run++
                delete seen
                if (run <= runs) out = out "run " run "\n"
            }
            seen[name] = 1
            if (run <= runs) out = out text "\n"
        }
        BEGIN { run = 0; out = "" }
        $2 == "=" && $1 ~ /^[A-Za-z0-9_]+$/ {
            text = $1 " " $3
            for (i = 4; i < NF; i += 2) if ($i != "from=" && $i != "to=") text = text " " $i $(i + 1)
            record($1, text)
            next
        }
        /^ \.?meas(ure)? .* failed!$/ { record($3, $3 " failed") }
        END {
            printf "# %s measurements of %s.cir (tests/data/spice/meas/regenerate.sh)\n%s", version, deck, out
        }' "$1.log" >"$1.expected"
    rm -f "$1.log"
    [ -s "$1.raw" ] || { echo "ngspice did not write $1.raw" >&2; exit 1; }
    grep -q '^run ' "$1.expected" || { echo "ngspice measured nothing in $1.cir" >&2; exit 1; }
}
extract meas_tran 1
extract meas_ac 1
extract meas_loop 3
