#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (the training pipeline's tests train a tiny
# network, so PyTorch is among them), and nothing when they are all present.
#   --arm64   the cross toolchain and qemu for the 64-bit ARM build instead
#   --fuzz    clang with libFuzzer and the sanitizer runtimes instead
#   --training  Debian's Python with PyTorch, ONNX, NumPy, Matplotlib, Pygments (a peer detector), and groff, for the model pipeline
set -euo pipefail

packages=(
  cmake make g++ binutils pkg-config ca-certificates
  libgtest-dev libbenchmark-dev
  clang-format
  libtesseract-dev libleptonica-dev tesseract-ocr-eng
  libarchive-dev
  python3-pil fonts-dejavu-core
  python3-numpy python3-torch python3-onnx
)

arm64_packages=(g++-aarch64-linux-gnu qemu-user-static)
fuzz_packages=(clang-14 libclang-rt-14-dev)
training_packages=(python3 python3-torch python3-onnx python3-numpy python3-matplotlib python3-pygments groff-base xz-utils)
case "${1:-}" in
  --training) packages=("${training_packages[@]}") ;;
  --arm64) packages=("${arm64_packages[@]}") ;;
  --fuzz) packages=("${fuzz_packages[@]}") ;;
esac

# npm fetches ONNX Runtime; a node installation may bring its own npm, which Debian's would conflict with.
if [[ "${1:-}" != --arm64 && "${1:-}" != --fuzz ]] && ! command -v npm >/dev/null 2>&1; then packages+=(npm); fi

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
# Another package run (unattended upgrades, a second build) may hold apt's locks: wait for it, up to
# APT_LOCK_WAIT seconds, rather than fail. dpkg's lock is waited for by apt itself; the lists lock
# of `apt-get update` is not, so that step is retried while its message names a lock.
wait_s=${APT_LOCK_WAIT:-900}
apt_waiting() {
  local deadline=$((SECONDS + wait_s)) log
  log=$(mktemp)
  until apt-get -o DPkg::Lock::Timeout="$wait_s" "$@" 2>"$log"; do
    if ! grep -q 'Could not get lock\|Unable to acquire\|is held by process' "$log" || ((SECONDS >= deadline)); then
      cat "$log" >&2
      rm -f "$log"
      return 1
    fi
    echo "install_deps: waiting for another package manager run to finish" >&2
    sleep 5
  done
  rm -f "$log"
}
apt_waiting update -qq
apt_waiting install -y -qq --no-install-recommends "${missing[@]}"
