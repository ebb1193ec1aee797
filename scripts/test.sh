#!/usr/bin/env bash
# Installs what is missing, builds the dialog and its tests, and runs the whole
# suite headless: once as released, once under AddressSanitizer and
# UndefinedBehaviorSanitizer; the helper suite under ThreadSanitizer; then a
# short run of every fuzz target when clang's libFuzzer is there or can be
# installed. Fails when any test fails.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/common.sh"

build_tests
(cd "$ROOT/build-test" && ctest -j"$(nproc)" --output-on-failure --no-tests=error)

build "$ROOT/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DDISCWREN_SANITIZE=ON -DDISCWREN_TESTS=ON
export ASAN_OPTIONS=detect_leaks=1
# GLib's slice allocator hides objects from the leak checker: plain malloc shows them.
export G_SLICE=always-malloc
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd "$ROOT/build-sanitize" && ctest -j"$(nproc)" --output-on-failure --no-tests=error)

# The scan's listing threads under ThreadSanitizer: the helper suite only.
cmake -S "$ROOT" -B "$ROOT/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DDISCWREN_TSAN=ON -DDISCWREN_TESTS=ON
cmake --build "$ROOT/build-tsan" -j "$(nproc)" --target test_helper
# The scan test forks a child that scans as another user, with threads of its own.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0
(cd "$ROOT/build-tsan" && ctest -R '^helper$' --output-on-failure --no-tests=error)

# About a minute of fuzzing in all, from the seed corpora.
if install_missing $FUZZ_PACKAGES && command -v clang++-14 >/dev/null; then
    targets=$(ls "$ROOT"/fuzz/*_fuzz.cpp | wc -l)
    bash "$ROOT/scripts/fuzz.sh" $((60 / targets))
else
    echo "clang-14 with libFuzzer is not available: fuzz targets skipped"
fi
