#!/usr/bin/env bash
# Fetches what the OCR engine and the host need to cross-build for arm64 into the folder given as $1
# (default .cache/sysroot-arm64), which cmake/aarch64-linux-gnu.cmake searches:
#   usr/lib/aarch64-linux-gnu/  Leptonica, libarchive and the shared libraries they link (Debian 12's arm64
#                               packages)
#   usr/include/archive.h       libarchive's headers
#   usr/include/leptonica/      its headers; lept.pc is read with PKG_CONFIG_SYSROOT_DIR set to the folder
#   usr/include/tesseract       a link to the host's /usr/include/tesseract (libtesseract-dev): the engine
#                               loads Tesseract at run time, and its headers are the same for every architecture
# Every package is checked against a pinned sha256. A complete folder makes this a no-op without network.
set -euo pipefail

# name=version sha256, from bookworm main for arm64. libc6 and libstdc++6 come with the cross toolchain.
pins=(
  "libleptonica-dev=1.82.0-3+b3 927aeb302e203db9b38af2ca48f247feee1aefe45b521cefcc41c9762a67670f"
  "liblept5=1.82.0-3+b3 8558ed0ca34daace46cedebb8f13374d4248c4f47faf337c736f1ad1dfcc23fd"
  "libgif7=5.2.1-2.5+deb12u1 be2d59e3e3f630391b72fd5c4a3430dbd6eb6d98c6b6012082135aff860ae580"
  "libjpeg62-turbo=1:2.1.5-2 de66f186f3ff3c1d10c2e75ae056b019b3f7f091f51096a06cade48b2dea875b"
  "libopenjp2-7=2.5.0-2+deb12u3 c3cfa6f3ec67bb3caa361c21034df0a5a1c8359a16e00a460f62920fc07e561a"
  "libpng16-16=1.6.39-2+deb12u5 69aba3963ddfb11b98e5bf4b0d022f76b797436568884b10f2da32e0f4b8c2dd"
  "libtiff6=4.5.0-6+deb12u4 d88aa87e5e786f322048683cab56ae922448f501e9b402747d0a883738ce35ce"
  "libwebp7=1.2.4-0.2+deb12u1 7aafdb66662df9e1f68c80980fe3567bd29f93a03677d0cf408c21ce49da29ff"
  "libwebpmux3=1.2.4-0.2+deb12u1 e2780b058ecf06261ee1b7788307e56537dceb1da538cfd7fa44f379c12186e3"
  "zlib1g=1:1.2.13.dfsg-1 52b8b8a145bbe1956bba82034f77022cbef0c3d0885c9e32d9817a7932fe1913"
  # libtiff6's own
  "libdeflate0=1.14-1 32576ec45ad51662e02f5381e09cca75bc114065eaf28090f7294a4d84526451"
  "libjbig0=2.1-6.1 098a382f51781c149e37aa25aeacfd54f26fdadfcbe5dc3ebf8713ef72efa6bd"
  "liblerc4=4.0.0+ds-2 c5294ed128ac375249098c43be9805c787ed1c65703fe1d877ead4213904f123"
  "liblzma5=5.4.1-1+deb12u1 647ce9d81e41c30071ce6ac0d3324579216a33aaa1d28971d6952315f6a95a75"
  "libzstd1=1.5.4+dfsg2-5 95e173c9538f96ede4fc275ec7863f395a97dd0ea62454be9bc914efa1b9be93"
  # libarchive, which the host expands archives and compressed files with, and the libraries it links
  "libarchive-dev=3.6.2-1+deb12u4 c419fe6963b6abe8330fc4e9d14381ee99ec1cd7a51d16a40143c1bf0b7ba479"
  "libarchive13=3.6.2-1+deb12u4 04fa92e0fac6c44d41259802692d1ca065b65fb7909b9419a2f0e496de442fdb"
  "libacl1=2.3.1-3 2b0eef11a2e271e7355adaf1f6cbf8d2e83835ae1b6cf15165d59b8289c08342"
  "libbz2-1.0=1.0.8-5+b1 d3a96ece03326498b39ff093a76800dfcbcb1d4049d6ae6e9f6fa1aa7a590ad6"
  "liblz4-1=1.9.4-1 f061216ce11aabba8f032dfd6c75c181e782fef7493033b9621a8c3b2953b87e"
  "libnettle8=3.8.1-2 c945ff210df69cf7b95e935b8fa936e81c1c1f475355e3d5db83510b174f0cd6"
  "libxml2=2.9.14+dfsg-1.3~deb12u6 0bc00975e459387535a4bbabe98a398f0e77c9ab82474face18d01ae8ed0dae4"
  "libicu72=72.1-3+deb12u1 4f5d892fd81110435e45ed0a5f1b12899d7ff989d51db283cbc043f5631646d8"
)
TESSERACT_HEADERS=/usr/include/tesseract

dest=$(realpath -m "${1:-.cache/sysroot-arm64}")
stamp="$dest/.complete"
# The stamp holds the pins it was made from: changing them here fetches again.
[[ -f "$stamp" && "$(cat "$stamp")" == "$(printf '%s\n' "${pins[@]}")" ]] && exit 0

fetch_name=fetch_arm64_sysroot
# shellcheck source=scripts/fetch_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/fetch_lib.sh"
# The file name apt-get download gives name=version: the epoch's colon is written %3a.
deb_name() { # name version
  echo "${1}_${2//:/%3a}_arm64.deb"
}

if [[ ! -f "$TESSERACT_HEADERS/capi.h" ]]; then
  echo "fetch_arm64_sysroot: $TESSERACT_HEADERS/capi.h missing: install libtesseract-dev (scripts/install_deps.sh)" >&2
  exit 1
fi

work="$dest/.download"
mkdir -p "$work"

# Packages not downloaded yet, by a private apt configuration naming bookworm of the mirror the system uses.
wanted=()
for pin in "${pins[@]}"; do
  spec=${pin%% *}
  [[ -f "$work/$(deb_name "${spec%%=*}" "${spec#*=}")" ]] || wanted+=("$spec")
done
if [[ ${#wanted[@]} -gt 0 ]]; then
  mirror=$(bash "$(dirname "${BASH_SOURCE[0]}")/system_mirror.sh")
  apt_dir="$work/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  echo "deb [arch=arm64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm main" \
    >"$apt_dir/sources.list"
  apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o Dir::State::status=/dev/null
    -o APT::Architectures::=arm64 -o APT::Architecture=arm64 -o APT::Sandbox::User=root)
  log "downloading ${#wanted[@]} arm64 package(s) from $mirror bookworm"
  apt-get "${apt_opts[@]}" -qq update
  specs=()
  for spec in "${wanted[@]}"; do
    name=${spec%%=*}
    if apt-cache "${apt_opts[@]}" show "$name:arm64=${spec#*=}" >/dev/null 2>&1; then
      specs+=("$name:arm64=${spec#*=}")
    else
      # A point release replaced it; apt checks the newer one against the signed index.
      log "pinned $spec is gone from bookworm; taking its current version"
      specs+=("$name:arm64")
    fi
  done
  (cd "$work" && apt-get "${apt_opts[@]}" -qq download "${specs[@]}")
  rm -rf "$apt_dir"
fi

# Unpacked afresh: one library folder, /lib merged into /usr/lib as on the running system.
rm -rf "${dest:?}/usr" "${dest:?}/lib"
for pin in "${pins[@]}"; do
  spec=${pin%% *}
  name=${spec%%=*}
  deb="$work/$(deb_name "$name" "${spec#*=}")"
  if [[ -f "$deb" ]]; then
    check_sha "$deb" "${pin#* }"
  else
    deb=$(ls "$work/${name}_"*_arm64.deb 2>/dev/null | sort -V | tail -n1 || true)
    [[ -n "$deb" ]] || { echo "fetch_arm64_sysroot: no package $name in $work" >&2; exit 1; }
    log "using $(basename "$deb") in place of the pinned $spec"
  fi
  dpkg-deb -x "$deb" "$dest"
done
if [[ -d "$dest/lib" ]]; then
  cp -a "$dest/lib/." "$dest/usr/lib/"
  rm -rf "${dest:?}/lib"
fi
rm -rf "${dest:?}/usr/share"
ln -s "$TESSERACT_HEADERS" "$dest/usr/include/tesseract"

# Every library Leptonica and libarchive need is here or in the cross toolchain's folder.
libdir="$dest/usr/lib/aarch64-linux-gnu"
for lib in "$libdir"/*.so.*; do
  [[ -L "$lib" ]] && continue
  for needed in $(readelf -d "$lib" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
    if [[ ! -e "$libdir/$needed" && ! -e "/usr/aarch64-linux-gnu/lib/$needed" ]]; then
      echo "fetch_arm64_sysroot: $needed, needed by $(basename "$lib"), is in no package here" >&2
      exit 1
    fi
  done
done

printf '%s\n' "${pins[@]}" >"$stamp"
log "arm64 Leptonica and libarchive ready in $dest"
