#!/usr/bin/env bash
# need.sh CMD PACKAGE [CMD PACKAGE ...]: installs each Debian package whose command (or,
# for a package of headers, a file path given as CMD) is missing. Exits non-zero when
# something could not be installed.
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
stamp=/var/lib/apt/periodic/tolbrik-update-stamp
if [ ! -e "$stamp" ] || [ -n "$(find "$stamp" -mmin +600 2>/dev/null)" ]; then
  apt-get update -q >/dev/null 2>&1 && mkdir -p "$(dirname "$stamp")" && touch "$stamp"
fi
apt-get install -y -q "${missing[@]}" >/dev/null 2>&1 || {
  apt-get update -q >/dev/null 2>&1
  apt-get install -y -q "${missing[@]}" >/dev/null 2>&1
} || { echo "need.sh: could not install ${missing[*]}" >&2; exit 1; }
