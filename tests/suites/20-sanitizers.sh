#!/usr/bin/env bash
# 20-sanitizers.sh BUILD [thread]: the unit tests and the end-to-end suites once more, with
# the program and the tests built with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang, else gcc) in BUILD-asan; with "thread", the runs of the program alone, built with
# ThreadSanitizer in BUILD-tsan (25-threads.sh). ctest hands the sanitized program to the
# end-to-end suites as TOLBRIK_EXE. Every report (memory error, undefined behaviour, leak,
# data race) aborts the process (status 134, which no test takes for the program's own
# status 1), and so fails its test.
set -u
cd "$(dirname "$0")/../.." || exit 1
mode=${2:-address}
name=$([ "$mode" = thread ] && echo 25-threads.sh || echo 20-sanitizers.sh)

unavailable() {
  echo "!!!!!!!! $name: $* !!!!!!!!" >&2
  exit 77
}

scripts/need.sh cmake cmake googletest libgtest-dev python3 python3 ||
  unavailable "cmake, GoogleTest or python3 cannot be installed"
# clang, with the sanitizers' runtime (a package of its own), else gcc.
compiler=clang++
scripts/need.sh clang++ clang || compiler=g++
if [ $compiler = clang++ ]; then
  runtime="$(clang++ -print-resource-dir)/lib/linux/libclang_rt.$([ "$mode" = thread ] && echo tsan || echo asan)-$(uname -m).a"
  scripts/need.sh "$runtime" "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev" || compiler=g++
fi
command -v $compiler >/dev/null 2>&1 || unavailable "neither clang nor g++ is here"

if [ "$mode" = thread ]; then
  build="${1:-build}-tsan" sanitize="-fsanitize=thread" flags="" only=(-R "e2e")
  export TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1"
else
  build="${1:-build}-asan" sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all"
  flags="-D_GLIBCXX_ASSERTIONS" only=()
  export ASAN_OPTIONS="abort_on_error=1:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
  export UBSAN_OPTIONS="abort_on_error=1:halt_on_error=1:print_stacktrace=1"
fi
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$sanitize -fno-omit-frame-pointer $flags" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
  -DTOLBRIK_TESTS=ON -DTOLBRIK_FUZZ=OFF >/dev/null || exit 1
cmake --build "$build" -j "${JOBS:-2}" >/dev/null || cmake --build "$build" -j 1 || exit 1
echo "$mode-sanitized build ($compiler): $build"
ctest --test-dir "$build" --output-on-failure -j 2 "${only[@]}"
