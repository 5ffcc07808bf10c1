#!/bin/sh
# Regenerates the SPICE raw files and reference tables of this folder with
# ngspice: rc.cir writes each analysis as binary and as text, and tables of
# the same values (amplitude in dB, phase in degrees) through ngspice's own
# wrdata; rc_batch.cir writes both analyses into one file of two plots, and
# rc_loop.cir three transients (R = 1k, 2k, 4k) with an AC plot between.
# loop_pole.cir and loop_two_poles.cir are loop gains built from ideal
# sources, resistors and capacitors, for the stability margins; loop_resonant.cir
# adds inductance, a type-II compensator before a lightly damped LC filter, and
# its gain and phase also go through wrdata and awk into loop_resonant.fra, the
# frequency-response text format.
# ltspice_fast.raw is no ngspice file (its values were worked out by hand) and stays.
set -eu
cd "$(dirname "$0")"
rm -f ./rc*.raw ./loop_*.raw ./loop_*.fra ./*_ref.txt
# A control-only deck runs no analysis of its own, for which ngspice exits with 1.
ngspice -b rc.cir >/dev/null 2>&1 || true
ngspice -b -r rc_batch.raw rc_batch.cir >/dev/null 2>&1
ngspice -b rc_loop.cir >/dev/null 2>&1 || true
ngspice -b loop_pole.cir >/dev/null 2>&1 || true
ngspice -b loop_two_poles.cir >/dev/null 2>&1 || true
ngspice -b loop_resonant.cir >/dev/null 2>&1 || true
if [ -s loop_resonant.txt ]; then
    {
        echo "; loop gain of loop_resonant.cir (ngspice): dB and continuous phase in degrees"
        echo "Frequency amp(V(out)) phase(V(out))"
        awk 'NF == 3 { print $1, $2, $3 }' loop_resonant.txt
    } >loop_resonant.fra.tmp
    mv loop_resonant.fra.tmp loop_resonant.fra
fi
rm -f loop_resonant.txt
for f in rc_tran.raw rc_tran_ascii.raw rc_tran_ref.txt rc_ac.raw rc_ac_ascii.raw \
         rc_ac_ref.txt rc_batch.raw rc_loop.raw \
         loop_pole.raw loop_two_poles.raw loop_resonant.raw loop_resonant.fra; do
    [ -s "$f" ] || { echo "ngspice did not write $f" >&2; exit 1; }
done
