#!/usr/bin/env bash
# demo.sh TOLBRIK: converts the bundled examples/ tree twice, the classic way into out/ and
# with -modern into out-modern/, and compiles each help project into tolbrik.chm when a help
# compiler (chmcmd) is at hand.
set -euo pipefail
exe=$(realpath "${1:-build/tolbrik}")
cd "$(dirname "$0")/.."
scripts/need.sh chmcmd fp-utils >/dev/null 2>&1 || true

# convert FOLDER [OPTION]: converts examples/ into FOLDER and compiles its help project.
convert() {
  local folder=$1
  shift
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "tolbrik${*:+ $*}: converting examples/ into $folder/"
  # The console texts are code page 866; show them readably on a UTF-8 terminal.
  set +e
  "$exe" -indir:examples -outdir:"$folder" "$@" | iconv -f cp866 -t utf-8
  local status=${PIPESTATUS[0]}
  set -e
  echo
  [ "$status" -eq 0 ] || { echo "tolbrik failed with status $status" >&2; exit "$status"; }
  if command -v chmcmd >/dev/null 2>&1; then
    (cd "$folder" && chmcmd tolbrik.hhp >chmcmd.log 2>&1) || { cat "$folder/chmcmd.log" >&2; exit 1; }
  fi
}

convert out
convert out-modern -modern

here=$(pwd)
if command -v chmcmd >/dev/null 2>&1; then
  echo "compiled help files:  $here/out/tolbrik.chm (classic), $here/out-modern/tolbrik.chm (modern)"
else
  echo "no help compiler (chmcmd) here: compile out/tolbrik.hhp and out-modern/tolbrik.hhp with your own"
fi
echo "classic HTML pages:   $here/out/ ($(find out -name '*.htm' | wc -l) pages; start at out/man1/tolbrik.htm)"
echo "modern HTML pages:    $here/out-modern/ ($(find out-modern -name '*.htm' | wc -l) pages; start page: out-modern/index.htm, the help file's default topic)"
echo "help projects:        $here/out/tolbrik.hhp, $here/out-modern/tolbrik.hhp, each with its .hhc and .hhk"
