#!/usr/bin/env bash
# Throughput of the host program: `quorvel scan --json` over a folder (default: the test split of
# the corpus if built, else a folder of generated source files), with one and two jobs, in the
# default batching (every window of texts up to 64 KB) and in the library's automatic choice.
# Reports files/s, MB/s and the peak resident memory, and appends them to bench/results/SCAN.md.
set -euo pipefail
folder=${1:-}
dist=${DIST:-dist}
if [[ -z "$folder" ]]; then
  folder=$(mktemp -d)
  trap 'rm -rf "$folder"' EXIT
  # 400 files of 0.5 to 20 KB: copies of the samples with their lines repeated.
  i=0
  for n in $(seq 1 50); do
    for f in samples/*.py samples/*.c samples/*.java samples/*.js samples/*.sql samples/*.sh samples/*.txt; do
      i=$((i + 1))
      for _ in $(seq 1 $((n % 12 + 1))); do cat "$f"; done >"$folder/file$i.${f##*.}"
    done
  done
fi
files=$(find "$folder" -type f | wc -l)
bytes=$(find "$folder" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
out=bench/results
mkdir -p "$out"
{
  echo "## quorvel scan, $(date -u +%Y-%m-%dT%H:%MZ)"
  echo
  echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //') ($(nproc) cores); $files files, $((bytes / 1024)) KB"
  echo
  echo "| batching | jobs | seconds | files/s | MB/s | peak memory |"
  echo "|---|---|---|---|---|---|"
} >>"$out/SCAN.md"
for mode in default automatic; do
  mode_args=()
  [[ $mode == automatic ]] && mode_args=(--mode -1)
  for jobs in 1 2; do
    /usr/bin/time -f '%e %M' -o /tmp/bench_scan.time "$dist/bin/quorvel" scan --json --no-progress --jobs "$jobs" \
      "${mode_args[@]}" "$folder" >/tmp/bench_scan.json 2>/dev/null || true
    read -r seconds peak_kb </tmp/bench_scan.time
    line=$(awk -v s="$seconds" -v f="$files" -v b="$bytes" -v j="$jobs" -v m="$peak_kb" -v mode="$mode" \
      'BEGIN {printf "| %s | %d | %.2f | %.1f | %.2f | %.0f MB |", mode, j, s, f / s, b / s / 1048576, m / 1024}')
    echo "$line" | tee -a "$out/SCAN.md"
  done
done
echo >>"$out/SCAN.md"
