#!/usr/bin/env bash
# 40-install.sh BUILD: what `make install` and `make package` put where. A staged install
# (PREFIX, DESTDIR) and the Debian package each hold the program, its manual page and the
# README, and nothing else; the packaged program answers --version and -?, and its manual
# page reads with man. Exit 0 passed, 1 failed, 77 skipped.
set -u
build=${1:-build}
cd "$(dirname "$0")/../.." || exit 1
scripts/need.sh dpkg-deb dpkg man man-db || { echo "!!!!!!!! 40-install.sh: dpkg or man cannot be installed !!!!!!!!"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tolbrik-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "40-install.sh: $*" >&2; status=1; }

expected="bin/tolbrik share/doc/tolbrik/README.md share/man/man1/tolbrik.1.gz"
make -s install BUILD="$build" PREFIX=/opt/tb DESTDIR="$work/stage" >/dev/null || fail "make install failed"
staged=$(cd "$work/stage/opt/tb" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
[ "$staged" = "$expected " ] || fail "make install wrote: $staged"

make -s package BUILD="$build" >/dev/null || fail "make package failed"
deb=$(ls "$build"/tolbrik_*.deb 2>/dev/null | head -n 1)
if [ -n "$deb" ]; then
  dpkg-deb -x "$deb" "$work/deb"
  packed=$(cd "$work/deb/usr" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
  [ "$packed" = "$expected " ] || fail "the package holds: $packed"
  dpkg-deb -f "$deb" Depends | grep -q zlib1g || fail "the package does not depend on zlib1g"
  "$work/deb/usr/bin/tolbrik" --version | grep -qx "tolbrik [0-9.]*" || fail "the packaged program's --version"
  "$work/deb/usr/bin/tolbrik" -? | grep -q -- "-indir:" || fail "the packaged program's -?"
  MANPAGER=cat man -l "$work/deb/usr/share/man/man1/tolbrik.1.gz" 2>/dev/null | grep -q -- "--version" ||
    fail "the packaged manual page does not read"
else
  fail "make package left no .deb in $build"
fi
[ $status -eq 0 ] && echo "install and package: $expected"
exit $status
