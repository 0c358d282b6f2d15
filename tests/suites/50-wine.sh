#!/usr/bin/env bash
# 50-wine.sh BUILD: the Windows program, cross-built, run under Wine on the same input
# trees as the Linux program BUILD/tolbrik; both must write the same files byte for byte,
# help files included, and print the same console bytes (tests/wine/compare.py says how
# the trees are made and what the one accepted difference is); and Wine's help viewer
# must show the contents and index of the help file (tests/wine/viewer.py). The 64-bit
# build runs under wine64; the 32-bit build runs under wine32, installed when missing.
# Exit 0 passed, 1 failed, 77 skipped.
set -u
build=${1:-build}
cd "$(dirname "$0")/../.."
repo=$(pwd)
linux_exe=$(realpath "$build/tolbrik" 2>/dev/null || true)

skip() {
  echo "!!!!!!!! 50-wine.sh SKIPPED: $* !!!!!!!!"
  exit 77
}

[ -n "$linux_exe" ] && [ -x "$linux_exe" ] || { echo "50-wine.sh: no Linux build at $build/tolbrik" >&2; exit 1; }

# The 64-bit loader: Debian's wine64 package keeps it out of PATH.
wine64_loader() {
  for candidate in "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine64; do
    [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return 0; }
  done
  return 1
}

wine64_loader >/dev/null || scripts/need.sh /usr/lib/wine/wine64 wine64 >/dev/null 2>&1
loader64=$(wine64_loader) || skip "wine64 is not installed and could not be installed (apt-get install wine64)"
scripts/need.sh python3 python3 x86_64-w64-mingw32-g++ g++-mingw-w64-x86-64 >/dev/null 2>&1 ||
  skip "python3 or the 64-bit MinGW-w64 cross compiler is missing and could not be installed"
scripts/windows.sh win64 >/dev/null || { echo "50-wine.sh: the 64-bit cross build failed" >&2; exit 1; }

# A few hundred real pages, made once per run of the suite.
corpus=$(mktemp -d "${TMPDIR:-/tmp}/tolbrik-wine-corpus.XXXXXX")
trap 'rm -rf "$corpus"' EXIT
python3 scripts/man_corpus.py "$corpus/pages" --limit 300 >/dev/null ||
  { echo "50-wine.sh: could not make the corpus of real pages" >&2; exit 1; }

# Makes the Wine prefix PREFIX of architecture ARCH (win64 or win32) once, with LOADER;
# its first start takes a few seconds.
make_prefix() {
  local loader=$1 prefix=$2 arch=$3
  [ -e "$prefix/system.reg" ] && return 0
  mkdir -p "$prefix"
  WINEARCH=$arch WINEPREFIX=$prefix WINEDEBUG=-all "$loader" wineboot -i >"$prefix.log" 2>&1
  WINEPREFIX=$prefix "$(dirname "$loader")/wineserver" -w 2>/dev/null || true
  [ -e "$prefix/system.reg" ]
}

# Compares one Windows build, run through LOADER in PREFIX, with the Linux build, then
# waits for that prefix's Wine processes to end. The trees go to a tmpfs (see
# tests/wine/compare.py for why), the build folder being the last resort.
compare() {
  local label=$1 loader=$2 prefix=$3 exe=$4 status
  WINEPREFIX=$prefix WINEDEBUG=-all python3 tests/wine/compare.py --label "$label" \
    --linux "$linux_exe" --windows "$repo/$exe" --wine "$loader" --source "$repo" \
    --corpus "$corpus/pages" --work-in /dev/shm --work-in "${TMPDIR:-/tmp}" \
    --work-in "$repo/$(dirname "$exe")"
  status=$?
  WINEPREFIX=$prefix "$(dirname "$loader")/wineserver" -w 2>/dev/null || true
  return $status
}

make_prefix "$loader64" "$repo/build-win64/wineprefix" win64 ||
  { echo "50-wine.sh: could not make the Wine prefix (see build-win64/wineprefix.log)" >&2; exit 1; }
compare "wine64, build-win64/tolbrik.exe" "$loader64" "$repo/build-win64/wineprefix" build-win64/tolbrik.exe
status=$?
[ $status -eq 77 ] && skip "no folder here can hold the trees (see above)"
[ $status -eq 0 ] || exit $status

# Wine's help viewer on a virtual display reads the help file's contents and index.
scripts/need.sh Xvfb xvfb >/dev/null 2>&1 || skip "Xvfb is not installed and could not be installed"
WINEPREFIX=$repo/build-win64/wineprefix python3 tests/wine/viewer.py --wine "$loader64" --exe "$linux_exe" \
  --examples "$repo/examples" || exit 1
WINEPREFIX=$repo/build-win64/wineprefix "$(dirname "$loader64")/wineserver" -w 2>/dev/null || true

# The 32-bit program needs the 32-bit loader (Debian's wine32, an i386 package, so the
# i386 architecture is added first).
if [ ! -x /usr/lib/wine/wine ] && [ "$(id -u)" = 0 ]; then
  if ! dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386; then
    dpkg --add-architecture i386 && rm -f /var/lib/apt/periodic/tolbrik-update-stamp
  fi
  scripts/need.sh /usr/lib/wine/wine wine32 >/dev/null 2>&1
fi
if [ -x /usr/lib/wine/wine ]; then
  scripts/windows.sh win32 >/dev/null || { echo "50-wine.sh: the 32-bit cross build failed" >&2; exit 1; }
  make_prefix /usr/lib/wine/wine "$repo/build-win32/wineprefix" win32 ||
    { echo "50-wine.sh: could not make the 32-bit Wine prefix (see build-win32/wineprefix.log)" >&2; exit 1; }
  compare "wine32, build-win32/tolbrik.exe" /usr/lib/wine/wine "$repo/build-win32/wineprefix" build-win32/tolbrik.exe
  status=$?
else
  echo "!!!!!!!! 50-wine.sh: 32-bit run SKIPPED: wine32 is not installed and could not be installed (dpkg --add-architecture i386 && apt-get install wine32) !!!!!!!!"
  [ "${CI:-}" = true ] && { echo "50-wine.sh: under CI=true the 32-bit program must be run" >&2; exit 1; }
fi
exit $status
