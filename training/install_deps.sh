#!/usr/bin/env bash
# Installs what the model pipeline needs, and nothing when it is all present:
#   Debian packages (Python 3 from Debian with PyTorch, ONNX, NumPy, Matplotlib; groff renders manual pages)
#   the peer detectors the evaluation compares with, from npm, into .cache/peers (pinned versions)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install_deps.sh" --training

peers="$root/.cache/peers"
peer_packages=("@vscode/vscode-languagedetection@1.0.23" "highlight.js@11.12.0")
if [[ ! -f "$peers/.complete" ]]; then
  mkdir -p "$peers"
  [[ -f "$peers/package.json" ]] || echo '{"name": "quorvel-peers", "private": true}' >"$peers/package.json"
  (cd "$peers" && npm install --silent --no-audit --no-fund --ignore-scripts "${peer_packages[@]}")
  touch "$peers/.complete"
fi
