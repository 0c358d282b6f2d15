#!/usr/bin/env bash
# demo.sh TOLBRIK: converts the bundled examples/ tree into out/ and compiles the help
# project into out/tolbrik.chm when a help compiler (chmcmd) is at hand.
set -euo pipefail
exe=$(realpath "${1:-build/tolbrik}")
cd "$(dirname "$0")/.."
rm -rf out
mkdir -p out
echo "tolbrik: converting examples/ into out/"
# The console texts are code page 866; show them readably on a UTF-8 terminal.
set +e
"$exe" -indir:examples -outdir:out | iconv -f cp866 -t utf-8
status=${PIPESTATUS[0]}
set -e
echo
[ "$status" -eq 0 ] || { echo "tolbrik failed with status $status" >&2; exit "$status"; }

scripts/need.sh chmcmd fp-utils >/dev/null 2>&1 || true
if command -v chmcmd >/dev/null 2>&1; then
  (cd out && chmcmd tolbrik.hhp >chmcmd.log 2>&1) || { cat out/chmcmd.log >&2; exit 1; }
  echo "compiled help file: $(pwd)/out/tolbrik.chm"
else
  echo "no help compiler (chmcmd) here: compile out/tolbrik.hhp with your own"
fi
echo "HTML pages:          $(pwd)/out/ ($(find out -name '*.htm' | wc -l) pages; start at out/man1/tolbrik.htm)"
echo "help project:        $(pwd)/out/tolbrik.hhp, tolbrik.hhc, tolbrik.hhk"
