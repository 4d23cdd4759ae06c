#!/usr/bin/env bash
# Counts of a run of the generated-aperture test from the report file that its
# shards append to (FSS_GENERATOR_REPORT): outcomes per family and lattice,
# the worst power balance, the worst figure of every invariance with its
# case, and the cases that failed.
#   bash scripts/generator_summary.sh gen.txt
set -euo pipefail
[ $# -eq 1 ] && [ -r "$1" ] || { echo "usage: $0 report-file" >&2; exit 2; }
sort -t$'\t' -k2,2n "$1" | awk -F'\t' '
{
  seed[$1] = 1; n++; fam = $3; lat = $4
  cases[fam]++; lattice[lat]++
  if ($5 == "FAIL") { failed[fam]++; nfail++; bad[nfail] = $2 " (" fam ", " lat "): " }
  if ($6 != "ran") { runfail[fam]++; bad[nfail] = bad[nfail] $6 }
  split($7, p, " "); pw = p[2] + 0
  if (!(pw <= worstp)) { worstp = pw; worstpc = $2 " (" fam ")" }
  for (i = 8; i <= NF; i++) {
    name = $i; sub(/ [^ ]+( FAIL)?( \(.*\))?$/, "", name)
    rest = substr($i, length(name) + 2); split(rest, q, " "); fig = q[1]
    runs[name]++
    v = fig == "no" ? 1e300 : fig + 0
    if (!(name in worst) || v > worst[name]) { worst[name] = v; worstc[name] = $2 " (" fam ")" }
    if ($i ~ / FAIL/) { fails[name]++; if ($5 == "FAIL") bad[nfail] = bad[nfail] " " $i }
  }
}
END {
  for (s in seed) seeds = seeds " " s
  printf "seed%s: %d cases, %d failed\n\n", seeds, n, nfail
  printf "%-22s %6s %7s %11s\n", "family", "cases", "failed", "run failed"
  for (f in cases) printf "%-22s %6d %7d %11d\n", f, cases[f], failed[f] + 0, runfail[f] + 0 | "sort"
  close("sort")
  printf "\nlattices:"; for (l in lattice) printf " %s %d", l, lattice[l]; printf "\n"
  printf "\npower: worst |Ptotal - 1| %.2e (case %s)\n", worstp, worstpc
  for (c in runs)
    printf "%s: %d copies run, worst %s (case %s), %d above tolerance\n", c, runs[c],
           (worst[c] >= 1e300 ? "no run" : sprintf("%.2e", worst[c])), worstc[c], fails[c] + 0
  if (nfail) { printf "\nfailed cases:\n"; for (i = 1; i <= nfail; i++) print "  " bad[i] }
}'
