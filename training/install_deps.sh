#!/usr/bin/env bash
# Installs what the model pipeline needs, and nothing when it is all present:
#   Debian packages (Python 3 from Debian with PyTorch, ONNX, NumPy, Matplotlib; groff renders manual pages)
#   the peer detectors the evaluation compares with, from npm, into .cache/peers (pinned versions)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(python3 python3-torch python3-onnx python3-numpy python3-matplotlib groff-base xz-utils)
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
command -v npm >/dev/null || missing+=(npm)  # Node.js from elsewhere may bring its own npm
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "training/install_deps: installing ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "training/install_deps: need root to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

peers="$root/.cache/peers"
peer_packages=("@vscode/vscode-languagedetection@1.0.23" "highlight.js@11.12.0")
if [[ ! -f "$peers/.complete" ]]; then
  mkdir -p "$peers"
  [[ -f "$peers/package.json" ]] || echo '{"name": "quorvel-peers", "private": true}' >"$peers/package.json"
  (cd "$peers" && npm install --silent --no-audit --no-fund --ignore-scripts "${peer_packages[@]}")
  touch "$peers/.complete"
fi
