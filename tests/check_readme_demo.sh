#!/usr/bin/env bash
# The README's `make demo` block must be what `make demo` prints: the same command on the samples,
# compared line by line, with only the summary's measured times and rates masked.
set -euo pipefail
dist=$1
root=$2
mask() { sed -E 's/ in [0-9.]+ s: [0-9.]+ files\/s, [0-9.]+ MB\/s$/ in T s: R files\/s, R MB\/s/'; }
readme=$(awk '/^`make demo` gives:$/ {found = 1; next} found && /^```$/ {if (inside) exit; inside = 1; next} inside' \
  "$root/README.md")
if [[ -z "$readme" ]]; then
  echo "README.md has no block after \"\`make demo\` gives:\""
  exit 1
fi
demo=$(awk '/^demo:/ {inside = 1; next} inside && !/^\t/ {exit} inside {last = $0} END {print last}' "$root/Makefile" |
  sed -E 's/^\t@//')
[[ "$demo" == "dist/bin/quorvel scan --no-progress samples/" ]] || {
  echo "make demo runs '$demo', not the command this check runs"
  exit 1
}
got=$(cd "$root" && "$dist/bin/quorvel" scan --no-progress samples/ 2>&1)
if ! diff <(echo "$readme" | mask) <(echo "$got" | mask); then
  echo "README.md's demo block differs from the real output (< README, > make demo)"
  exit 1
fi
echo "README demo block matches make demo"
