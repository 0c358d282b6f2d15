#!/usr/bin/env bash
# need.sh CMD PACKAGE [CMD PACKAGE ...]: installs each Debian package whose command (or,
# for a package of headers or libraries, a file path given as CMD) is missing. When
# another install holds the package manager's lock, it waits for it (up to 20 minutes).
# Exits non-zero when something could not be installed.
set -u
missing=()
while [ $# -ge 2 ]; do
  cmd=$1 pkg=$2; shift 2
  if [ "${cmd#/}" != "$cmd" ]; then
    [ -e "$cmd" ] || missing+=("$pkg")
  elif [ "$cmd" = googletest ]; then
    [ -e /usr/include/gtest/gtest.h ] || missing+=("$pkg")
  else
    command -v "$cmd" >/dev/null 2>&1 || missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "need.sh: installing ${missing[*]}" >&2
if [ "$(id -u)" != 0 ]; then
  echo "need.sh: not root, cannot install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive

# apt_get ARGS: apt-get, tried again while another process holds one of its locks.
apt_get() {
  local waited=0 out
  while :; do
    out=$(apt-get -o DPkg::Lock::Timeout=60 "$@" 2>&1) && return 0
    case $out in
      *"Could not get lock"* | *"Unable to acquire"* | *"Unable to lock"*) ;;
      *) printf '%s\n' "$out" | tail -n 5 >&2; return 1 ;;
    esac
    [ $waited -ge 1200 ] && { echo "need.sh: the package manager stayed locked for 20 minutes" >&2; return 1; }
    [ $waited -eq 0 ] && echo "need.sh: another install holds the package manager's lock; waiting" >&2
    sleep 10
    waited=$((waited + 10))
  done
}

stamp=/var/lib/apt/periodic/tolbrik-update-stamp
if [ ! -e "$stamp" ] || [ -n "$(find "$stamp" -mmin +600 2>/dev/null)" ]; then
  apt_get update -q >/dev/null && mkdir -p "$(dirname "$stamp")" && touch "$stamp"
fi
apt_get install -y -q "${missing[@]}" >/dev/null || {
  apt_get update -q >/dev/null
  apt_get install -y -q "${missing[@]}" >/dev/null
} || { echo "need.sh: could not install ${missing[*]}" >&2; exit 1; }
