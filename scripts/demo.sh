#!/usr/bin/env bash
# demo.sh TOLBRIK: converts the bundled examples/ tree twice, the classic way into out/
# (with -chm, so that it writes its help file too) and with -modern into out-modern/, and
# says where the pages and help files are.
set -euo pipefail
exe=$(realpath "${1:-build/tolbrik}")
cd "$(dirname "$0")/.."

# convert FOLDER [OPTION ...]: converts examples/ into FOLDER.
convert() {
  local folder=$1
  shift
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "tolbrik $*: converting examples/ into $folder/"
  # The console texts are code page 866; show them readably on a UTF-8 terminal.
  set +e
  "$exe" -indir:examples -outdir:"$folder" "$@" | iconv -f cp866 -t utf-8
  local status=${PIPESTATUS[0]}
  set -e
  echo
  [ "$status" -eq 0 ] || { echo "tolbrik failed with status $status" >&2; exit "$status"; }
}

convert out -chm
convert out-modern -modern

here=$(pwd)
echo "help files:           $here/out/tolbrik.chm (classic), $here/out-modern/tolbrik.chm (modern)"
echo "classic HTML pages:   $here/out/ ($(find out -name '*.htm' | wc -l) pages; start at out/man1/tolbrik.htm)"
echo "modern HTML pages:    $here/out-modern/ ($(find out-modern -name '*.htm' | wc -l) pages; start page: out-modern/index.htm, the help file's default topic)"
echo "help projects:        $here/out/tolbrik.hhp, $here/out-modern/tolbrik.hhp, each with its .hhc and .hhk, for a help compiler of your own"
