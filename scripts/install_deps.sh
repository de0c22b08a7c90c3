#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and nothing when they are all present.
set -euo pipefail

packages=(
  cmake make g++ binutils pkg-config ca-certificates npm
  libgtest-dev libbenchmark-dev
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install_deps: installing ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  echo "install_deps: need root to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
