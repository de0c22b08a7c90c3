#!/usr/bin/env bash
# Runs every benchmark program of the build folder ($1, default build) and writes
# bench/results/<name>.json plus a summary bench/results/SUMMARY.md naming the machine and date.
set -euo pipefail
build=${1:-build}
repetitions=${QUORVEL_BENCH_REPETITIONS:-3}
out=bench/results
mkdir -p "$out"
summary="$out/SUMMARY.md"
{
  echo "# Benchmark results"
  echo
  echo "- date: $(date -u +%Y-%m-%dT%H:%MZ)"
  echo "- CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //') ($(nproc) cores)"
  echo "- repetitions: $repetitions (median reported)"
  echo
} >"$summary"
export OMP_THREAD_LIMIT=1 VESKLOG_LEVEL=warn
for name in text_bench parse_bench ocr_bench; do
  exe="$build/bench/$name"
  [[ -x "$exe" ]] || continue
  echo "== $name"
  "$exe" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/$name.json" --benchmark_out_format=json | tee "$out/$name.txt"
  { echo "## $name"; echo; echo '```'; grep -E '_median|^Benchmark|^-' "$out/$name.txt" || true; echo '```'; echo; } >>"$summary"
done
echo "results in $out/"
