#!/usr/bin/env bash
# The unit tests and the end-to-end suites once more, with the program and the tests built
# with AddressSanitizer and UndefinedBehaviorSanitizer (clang, else gcc) in <build>-asan.
# ctest hands the sanitized program to the end-to-end suites as TOLBRIK_EXE. Every report
# (memory error, undefined behaviour, leak) aborts the process, which fails its test.
set -u
cd "$(dirname "$0")/../.." || exit 1
build="${1:-build}-asan"

unavailable() {
  echo "!!!!!!!! 20-sanitizers.sh: $* !!!!!!!!" >&2
  exit 77
}

scripts/need.sh cmake cmake googletest libgtest-dev python3 python3 ||
  unavailable "cmake, GoogleTest or python3 cannot be installed"
if scripts/need.sh clang++ clang; then
  compiler=clang++
elif command -v g++ >/dev/null 2>&1; then
  compiler=g++
else
  unavailable "neither clang nor g++ is here"
fi

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$sanitize -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DTOLBRIK_TESTS=ON -DTOLBRIK_FUZZ=OFF >/dev/null || exit 1
cmake --build "$build" -j "${JOBS:-2}" >/dev/null || cmake --build "$build" -j 1 || exit 1

# A report aborts (status 134), so that no test can mistake it for the program's own
# status 1; the end-to-end suites also compare standard error whole.
export ASAN_OPTIONS="abort_on_error=1:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="abort_on_error=1:halt_on_error=1:print_stacktrace=1"
echo "sanitized build ($compiler): $build"
ctest --test-dir "$build" --output-on-failure -j 2
