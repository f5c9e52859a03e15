#!/usr/bin/env bash
# scripts/records.sh CLI OUTDIR: runs portmill-cli over the samples with every record,
# so two builds can be compared byte for byte: diff -r OUT1 OUT2
set -u
cli=$(readlink -f "$1"); out=$(readlink -f "$2"); mkdir -p "$out"
S=$(cd "$(dirname "$0")/../samples" && pwd)
cd "$out"
i=0
run() { i=$((i+1)); local n=$(printf %02d $i); "$cli" "$@" --trace $n.trace --dots $n.dots --list $n.list > $n.out 2> $n.err; echo $? > $n.rc; }
for f in casa.red quadrado.red; do
  for m in on off; do
    run run $S/$f --motors $m --divisor 1
    run run $S/$f --motors $m --speed 3 --scale -2 --divisor 3.55
  done
  run scan $S/$f
done
run goto 100 -50 --motors on --divisor 0.5
run goto 100 -50 --motors off
run home-xy --motors on
run home-xy --motors on --sim-start 300,200,0
run home-xy --sim-broken x
run home-z --motors on
run home-z --sim-broken z
run run $S/casa.red --motors on --sim-ztop 50 --sim-start 5,5,0
i=$((i+1)); "$cli" estimate $S/casa.red > $i.est.out 2>&1; echo $? >> $i.est.out
i=$((i+1)); "$cli" estimate $S/quadrado.red --speed 5 --motors on > $i.est.out 2>&1; echo $? >> $i.est.out
i=$((i+1)); "$cli" convert $S/desenho.plt $i.conv.red > $i.conv.out 2>&1; echo $? >> $i.conv.out
i=$((i+1)); "$cli" run $S/desenho.plt > $i.hpglrun.out 2>&1; echo $? >> $i.hpglrun.out
