#!/bin/sh
# The median of several runs of vexfilt_compare, row by row: pass the saved output of each run.
#   for i in 1 2 3 4 5; do build-bench/bench/vexfilt_compare ... > run$i.txt; done
#   bench/median_of_runs.sh run*.txt
# Each cell is the median over the runs of that cell: ns per record, and the ratio to the hand-written
# loop of the same run (the median of the runs' ratios, not the ratio of the medians). The last column lists
# every run's ratio for the library, so that a row's spread shows.
set -eu
if [ "$#" -eq 0 ]; then
  echo "usage: $0 RUN_OUTPUT..." >&2
  exit 2
fi
awk '
  function median(list,    n, v, i, j, t) {
    n = split(list, v, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  function ns(cell) { sub(/ *\(.*/, "", cell); gsub(/ /, "", cell); return cell }
  function ratio(cell) { if (cell !~ /\(/) return ""; sub(/.*\(/, "", cell); sub(/x\).*/, "", cell); return cell }
  # Rows of the summary table: the VexFilt cell carries a ratio, "2.27 (1.29x)".
  /^\| P[0-9] \| [0-9]+ \| [0-9.]+ \([0-9.]+x\)/ {
    split($0, f, "|")
    key = f[2] "|" f[3]
    if (!(key in target)) { order[++rows] = key; target[key] = f[9] }
    for (c = 4; c <= 8; c++) { t[key, c] = t[key, c] " " ns(f[c]); r[key, c] = r[key, c] " " ratio(f[c]) }
  }
  END {
    print "| predicate | records | VexFilt | batch | hand | SQLite | libpcap | VexFilt target | met | VexFilt ratio in each run | batch ratio in each run |"
    print "|---|---:|---:|---:|---:|---:|---:|---:|---|---|---|"
    for (i = 1; i <= rows; i++) {
      key = order[i]
      split(key, k, "|")
      line = "|" k[1] "|" k[2] "|"
      for (c = 4; c <= 8; c++) {
        cell = sprintf(" %.2f", median(t[key, c]))
        if (c != 6) cell = cell sprintf(" (%.2fx)", median(r[key, c]))
        if (median(t[key, c]) + 0 == 0) cell = " -"  # not run: filtered out
        line = line cell " |"
      }
      goal = target[key]; gsub(/[ x]/, "", goal)
      met = median(r[key, 4]) <= goal + 0 ? "yes" : "NO"
      runs = r[key, 4]; sub(/^ /, "", runs); gsub(/ /, "x, ", runs)
      batchRuns = r[key, 5]; sub(/^ /, "", batchRuns); gsub(/ /, "x, ", batchRuns)
      print line target[key] "| " met " | " runs "x | " batchRuns "x |"
    }
  }
' "$@"
