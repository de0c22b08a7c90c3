#!/usr/bin/env bash
# The samples as a new user scans them, from the staged deployment tree, with the shipped model:
# every file must get the answer the expected file gives it.
set -euo pipefail
dist=$1
samples=$2
expected=$3
cd "$(dirname "$samples")"
got=$("$dist/bin/quorvel" scan --no-progress samples/ 2>/dev/null | grep '^samples/' | sort)
if ! diff <(sort "$expected") <(echo "$got"); then
  echo "the samples were answered otherwise (< expected, > got)"
  exit 1
fi
echo "$(wc -l <"$expected") samples answered as expected"
