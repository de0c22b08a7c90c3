#!/usr/bin/env bash
# The samples as a new user scans them, from the staged deployment tree, with the shipped model: every
# file must be taken as code or prose as the expected file says, with the expected first class and the
# same further columns (such as "ocr"). Classes after the first may change from one model to the next.
set -euo pipefail
dist=$1
samples=$2
expected=$3
cd "$(dirname "$samples")"
got=$("$dist/bin/quorvel" scan --no-progress samples/ 2>/dev/null | grep '^samples/' |
  awk 'BEGIN { FS = OFS = "\t" } { sub(/,.*/, "", $3); print }' | sort)
if ! diff <(sort "$expected") <(echo "$got"); then
  echo "the samples were answered otherwise (< expected, > got; the third column is the first class)"
  exit 1
fi
echo "$(wc -l <"$expected") samples answered as expected"
