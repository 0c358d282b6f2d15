#!/usr/bin/env bash
# The conversion tests with the program built with ThreadSanitizer: every run of the tool
# in the end-to-end suites converts on several threads, and any data race fails its test.
exec bash "$(dirname "$0")/20-sanitizers.sh" "${1:-build}" thread
