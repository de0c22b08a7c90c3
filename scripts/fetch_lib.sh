# Shared by the fetch scripts (sourced): log lines and sha256 checks under the script's name.
# The sourcing script sets fetch_name first.

log() { echo "$fetch_name: $*"; }

check_sha() { # file expected
  local got
  got=$(sha256sum "$1" | cut -d' ' -f1)
  if [[ "$got" != "$2" ]]; then
    echo "$fetch_name: sha256 mismatch for $1: got $got, expected $2 (remove it to fetch it again)" >&2
    exit 1
  fi
}
