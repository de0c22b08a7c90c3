#!/usr/bin/env bash
# Runs every fuzz target of the fuzz build ($1, default build-fuzz) for FUZZ_SECONDS each (default 60)
# on a scratch copy of its committed seed corpus, and prints the executions each made.
# A crash stops the script with the target's report and the input under fuzz/crashes/.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p fuzz/crashes
export VESKLOG_LEVEL=off OMP_THREAD_LIMIT=1
status=0
for exe in "$build"/fuzz/fuzz_*; do
  [[ -x "$exe" ]] || continue
  name=$(basename "$exe")
  seeds="fuzz/corpus/${name#fuzz_}"
  mkdir -p "$work/$name"
  [[ -d "$seeds" ]] && cp -r "$seeds/." "$work/$name/"
  max_len=4096
  [[ $name == fuzz_ocr_image ]] && max_len=16384  # room for a small real image
  echo "== $name: ${seconds}s"
  if ! "$exe" -max_total_time="$seconds" -max_len="$max_len" -timeout=25 -rss_limit_mb=3072 -print_final_stats=1 \
      -artifact_prefix="fuzz/crashes/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    status=1
    continue
  fi
  runs=$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$work/$name.log" | tail -n1 || true)
  corpus=$(ls "$work/$name" | wc -l)
  echo "$name: ${runs:-no summary}; corpus grew to $corpus inputs"
done
exit $status
