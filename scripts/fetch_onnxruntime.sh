#!/usr/bin/env bash
# Fetches ONNX Runtime into the cache folder given as $1 (default .cache/onnxruntime-1.21.0):
#   lib/x64/libonnxruntime.so.1, lib/arm64/libonnxruntime.so.1  from the npm package onnxruntime-node
#   include/                                                   from Debian 13's libonnxruntime-dev
# Every download is checked against a pinned sha256. A complete cache makes this a no-op without network.
set -euo pipefail

ORT_VERSION=1.21.0
NPM_SHA256=c711a4048a8b460a70de25a5008b1628e3773878ef9deec1dd4a4ccab46de01a
LIB_X64_SHA256=05bfddeefc536a44478c20226218dae8853995518bb2a994b4fa15a996f5f412
LIB_ARM64_SHA256=36671b53885a8433882c4db360138bd060f3580f7d7cb6578050e755e83b6128
DEB_REVISION=1.21.0+dfsg-1
DEB_SHA256=14f7d959d5deacbcf1504830d4189f91fc67382b399ed9ae9d3aa9c4050ced08

dest=$(realpath -m "${1:-.cache/onnxruntime-$ORT_VERSION}")
stamp="$dest/.complete"
[[ -f "$stamp" ]] && exit 0

fetch_name=fetch_onnxruntime
# shellcheck source=scripts/fetch_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/fetch_lib.sh"

work="$dest/.download"
mkdir -p "$work"

# The runtime libraries: unpack the npm tarball only; its install script never runs.
tgz="$work/onnxruntime-node-$ORT_VERSION.tgz"
if [[ ! -f "$tgz" ]]; then
  log "downloading onnxruntime-node@$ORT_VERSION from npm"
  (cd "$work" && npm pack --silent "onnxruntime-node@$ORT_VERSION" >/dev/null)
fi
check_sha "$tgz" "$NPM_SHA256"
for arch in x64 arm64; do
  mkdir -p "$dest/lib/$arch"
  tar -xzf "$tgz" -C "$dest/lib/$arch" --strip-components=5 \
    "package/bin/napi-v3/linux/$arch/libonnxruntime.so.1"
done
check_sha "$dest/lib/x64/libonnxruntime.so.1" "$LIB_X64_SHA256"
check_sha "$dest/lib/arm64/libonnxruntime.so.1" "$LIB_ARM64_SHA256"

# The headers: a private apt configuration naming the trixie suite of the mirror the system already uses.
mirror=$(bash "$(dirname "${BASH_SOURCE[0]}")/system_mirror.sh")
apt_dir="$work/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror trixie main" >"$apt_dir/sources.list"
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Architecture=amd64
  -o APT::Sandbox::User=root)

deb=$(ls "$work"/libonnxruntime-dev_*.deb 2>/dev/null | head -n1 || true)
if [[ -z "$deb" ]]; then
  log "downloading libonnxruntime-dev from $mirror trixie"
  apt-get "${apt_opts[@]}" -qq update
  revision=$DEB_REVISION
  if ! apt-cache "${apt_opts[@]}" show "libonnxruntime-dev=$revision" >/dev/null 2>&1; then
    revision=$(apt-cache "${apt_opts[@]}" madison libonnxruntime-dev | awk '{print $3}' \
      | grep -E "^$ORT_VERSION(\+|-)" | sort -V | tail -n1 || true)
    [[ -n "$revision" ]] || { echo "fetch_onnxruntime: no libonnxruntime-dev $ORT_VERSION in trixie" >&2; exit 1; }
    log "pinned revision $DEB_REVISION is gone; taking the newest revision of $ORT_VERSION: $revision"
  fi
  (cd "$work" && apt-get "${apt_opts[@]}" -qq download "libonnxruntime-dev=$revision")
  deb=$(ls "$work"/libonnxruntime-dev_*.deb | head -n1)
fi
# apt checks a fallback revision against the signed index; the pinned one is checked here as well.
[[ "$(basename "$deb")" == "libonnxruntime-dev_${DEB_REVISION}_amd64.deb" ]] && check_sha "$deb" "$DEB_SHA256"
rm -rf "$work/deb" "$dest/include"
dpkg-deb -x "$deb" "$work/deb"
cp -r "$work/deb/usr/include/onnxruntime" "$dest/include"
rm -rf "$work/deb" "$apt_dir"

touch "$stamp"
log "ONNX Runtime $ORT_VERSION ready in $dest"
