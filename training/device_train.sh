#!/usr/bin/env bash
# Trains on an accelerator machine from the pools `make model-pools` wrote (carry .cache/device there), from
# the repository root: leaves checkpoint.pt and training.json in the folder given (default $OUT), for
# `make model-finish` here. Further arguments go to train.py; give the recipe options the pools were made
# with. MINUTES bounds the run (default 9: the machine is lent for minutes).
set -euo pipefail
out=${1:-${OUT:?give the output folder}}
shift || true
pools=$(mktemp -d)
trap 'rm -rf "$pools"' EXIT
for split in train val; do
  xz -dc ".cache/device/pools-$split.npz.xz" >"$pools/pools-$split.npz"
done
cp .cache/device/pools.json "$pools/"
python3 training/train.py --pools "$pools" --device cuda --work "$out" --train-only \
  --max-minutes "${MINUTES:-9}" "$@"
