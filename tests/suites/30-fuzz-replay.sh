#!/usr/bin/env bash
# Replays the committed regression corpus of every fuzz target (fuzz/regression/<target>/)
# through the libFuzzer builds in <build>-fuzz, with AddressSanitizer and
# UndefinedBehaviorSanitizer: no crash, no report and no broken invariant allowed.
cd "$(dirname "$0")/../.." || exit 1
exec scripts/fuzz.sh --replay "${1:-build}-fuzz"
