#!/usr/bin/env bash
# fuzz.sh [--replay] [BUILD]: builds the libFuzzer targets of fuzz/ with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer in BUILD (default build-fuzz), then
#   --replay  runs every target once over its committed regression corpus,
#             fuzz/regression/<target>/ (tests/suites/30-fuzz-replay.sh does this);
#   otherwise fuzzes each target for FUZZ_SECONDS seconds (default 60), starting from the
#             regression corpus and from fuzz/corpus-new/<target>/, where the new inputs
#             it finds are kept; an input that crashes or breaks an invariant is left as
#             fuzz/corpus-new/<target>-crash-<hash>.
# Exits 0 when all went well, 1 when something was found or did not build, 77 when clang
# or its libFuzzer runtime cannot be had here.
set -u
cd "$(dirname "$0")/.."
replay=false
if [ "${1:-}" = --replay ]; then
  replay=true
  shift
fi
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
targets=(identify convert modern relative_path options)

unavailable() {
  echo "!!!!!!!! fuzz.sh: $* !!!!!!!!" >&2
  exit 77
}

scripts/need.sh cmake cmake clang++ clang || unavailable "clang cannot be installed"
runtime="$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-$(uname -m).a"
major=$(clang++ -dumpversion | cut -d. -f1)
scripts/need.sh "$runtime" "libclang-rt-$major-dev" ||
  unavailable "no libFuzzer runtime ($runtime), and libclang-rt-$major-dev cannot be installed"

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS -DTOLBRIK_FUZZ=ON -DTOLBRIK_TESTS=OFF >/dev/null || exit 1
cmake --build "$build" -j "${JOBS:-2}" >/dev/null || cmake --build "$build" -j 1 || exit 1

# Every sanitizer report and broken invariant ends the run with a crash that libFuzzer
# reports; leaks count too.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0

if $replay; then
  for target in "${targets[@]}"; do
    inputs=(fuzz/regression/"$target"/*)
    if "$build/fuzz/fuzz_$target" "${inputs[@]}" >"$log" 2>&1; then
      echo "fuzz replay: $target: ${#inputs[@]} inputs, nothing found"
    else
      echo "fuzz replay: $target FAILED:"
      grep -v '^Running: \|^Executed ' "$log" | tail -60
      status=1
    fi
  done
  exit $status
fi

printf '%-14s %12s %10s %12s  %s\n' target executions "exec/s" "new inputs" result
for target in "${targets[@]}"; do
  kept=fuzz/corpus-new/$target
  mkdir -p "$kept"
  before=$(find "$kept" -type f | wc -l)
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="fuzz/corpus-new/$target-crash-")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  # Pages of a few line buffers hold every case of the converter; a larger seed (the
  # nesting counter wrapping round) is replayed whole but fuzzed only in part.
  [ "$target" = convert ] && options+=(-max_len=8192)
  [ "$target" = modern ] && options+=(-max_len=4096)
  if "$build/fuzz/fuzz_$target" "${options[@]}" "$kept" "fuzz/regression/$target" >"$log" 2>&1; then
    result="nothing found"
  else
    result="FOUND: $(grep -m1 -E 'invariant broken|ERROR' "$log")"
    status=1
  fi
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  rate=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")
  after=$(find "$kept" -type f | wc -l)
  printf '%-14s %12s %10s %12s  %s\n' "$target" "${runs:-?}" "${rate:-?}" $((after - before)) "$result"
done
[ $status -eq 0 ] || echo "inputs that crashed or broke an invariant: fuzz/corpus-new/*-crash-*"
exit $status
