#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and nothing when they are all present.
#   --arm64   the cross toolchain and qemu for the 64-bit ARM build instead
#   --fuzz    clang with libFuzzer and the sanitizer runtimes instead
#   --training  Debian's Python with PyTorch, ONNX, NumPy, Matplotlib, Pygments (a peer detector), and groff, for the model pipeline
set -euo pipefail

packages=(
  cmake make g++ binutils pkg-config ca-certificates
  libgtest-dev libbenchmark-dev
  clang-format
  libtesseract-dev libleptonica-dev tesseract-ocr-eng
  python3-pil fonts-dejavu-core
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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
