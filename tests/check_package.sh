#!/usr/bin/env bash
# The Debian package: built from the build folder into a scratch folder, its programs and libraries
# stripped, no /usr/bin/quorvel among its files, and its maintainer scripts run against a scratch root
# (DPKG_ROOT): they link /usr/bin/quorvel through the alternatives system, leave a /usr/bin/quorvel that
# is not theirs as it is, and remove their link again.
set -euo pipefail
build=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "$*"
  exit 1
}

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  fail "cpack failed"
}
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/data"
dpkg-deb -e "$deb" "$work/control"
[[ ! -e "$work/data/usr/bin/quorvel" ]] || fail "the package ships /usr/bin/quorvel itself"
unstripped=$(find "$work/data" -type f \( -name '*.so*' -o -perm -u+x \) -exec file {} + | grep 'ELF' |
  grep 'not stripped' || true)
[[ -z "$unstripped" ]] || fail "not stripped: $unstripped"

fresh_root() {
  local r=$1
  mkdir -p "$r/usr/bin" "$r/opt/quorvel/bin" "$r/etc/alternatives" "$r/var/lib/dpkg/alternatives"
  printf '#!/bin/sh\n' >"$r/opt/quorvel/bin/quorvel"
  chmod +x "$r/opt/quorvel/bin/quorvel"
}
r="$work/root-empty"
fresh_root "$r"
DPKG_ROOT=$r sh "$work/control/postinst" configure >/dev/null 2>&1
link=$(readlink "$r/usr/bin/quorvel" || true)
[[ -n "$link" && "$(readlink "$r$link")" == /opt/quorvel/bin/quorvel ]] ||
  fail "postinst did not link /usr/bin/quorvel to /opt/quorvel/bin/quorvel"
DPKG_ROOT=$r sh "$work/control/prerm" remove >/dev/null 2>&1
[[ ! -e "$r/usr/bin/quorvel" && ! -L "$r/usr/bin/quorvel" ]] || fail "prerm left /usr/bin/quorvel"

r="$work/root-taken"
fresh_root "$r"
echo "another program" >"$r/usr/bin/quorvel"
DPKG_ROOT=$r sh "$work/control/postinst" configure >/dev/null 2>&1
[[ ! -L "$r/usr/bin/quorvel" && "$(cat "$r/usr/bin/quorvel")" == "another program" ]] ||
  fail "postinst replaced a /usr/bin/quorvel it does not own"
DPKG_ROOT=$r sh "$work/control/prerm" remove >/dev/null 2>&1
[[ "$(cat "$r/usr/bin/quorvel")" == "another program" ]] || fail "prerm removed a /usr/bin/quorvel it does not own"
echo "package stripped; /usr/bin/quorvel through alternatives, someone else's left alone"
