#!/bin/sh
# Runs vexfilt on a live table with no end, stops it with SIGTERM, and checks that it ended by itself after
# a whole sample: its own exit status, every sample's line printed whole, nothing on standard error.
#   sh check_interrupt.sh PROGRAM
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$program" --source processes --every 200ms --format jsonl --count TRUE >"$work/out" 2>"$work/err" &
pid=$!
sleep 1
kill -TERM "$pid"
wait "$pid"
status=$?
lines=$(wc -l <"$work/out")
whole=$(grep -c '^{"sample":[0-9]*,"time":"[-0-9: ]*","source":"processes","count":[1-9][0-9]*}$' "$work/out")
if [ "$status" -ne 0 ] || [ "$lines" -lt 2 ] || [ "$whole" -ne "$lines" ] || [ -s "$work/err" ]; then
  echo "exit status $status, $lines lines of which $whole whole:"
  cat "$work/out" "$work/err"
  exit 1
fi
echo "ended by itself after $lines samples"
