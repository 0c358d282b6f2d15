#!/usr/bin/env bash
# The conversion tests once more with the program built with ThreadSanitizer (clang, else
# gcc) in <build>-tsan: every run of the tool in the end-to-end suites converts on several
# threads (one per core, three where a test asks), and any data race aborts it, which
# fails its test.
set -u
cd "$(dirname "$0")/../.." || exit 1
build="${1:-build}-tsan"

unavailable() {
  echo "!!!!!!!! 25-threads.sh: $* !!!!!!!!" >&2
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

sanitize="-fsanitize=thread"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$sanitize -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
  -DTOLBRIK_TESTS=ON -DTOLBRIK_FUZZ=OFF >/dev/null || exit 1
cmake --build "$build" -j "${JOBS:-2}" >/dev/null || cmake --build "$build" -j 1 || exit 1

# A report aborts (status 134), which no test takes for the program's own status 1.
export TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1"
echo "thread-sanitized build ($compiler): $build"
ctest --test-dir "$build" --output-on-failure -j 2 -R "e2e|Run\."
