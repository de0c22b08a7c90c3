#!/usr/bin/env bash
# Prints the Debian mirror the system's own apt configuration names (its first non-security entry), for
# the private apt configurations that fetch packages; the system's configuration is only read.
set -euo pipefail
mirror=$(grep -h -E '^\s*URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{print $2}' | grep -v security | head -n1 || true)
if [[ -z "$mirror" ]]; then
  mirror=$(grep -h -E '^\s*deb\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
    | grep -v security | sed -E 's/^\s*deb\s+(\[[^]]*\]\s+)?//' | awk '{print $1}' | head -n1 || true)
fi
echo "${mirror:-http://deb.debian.org/debian}"
