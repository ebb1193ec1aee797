#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (ASan and UBSan included) and
# runs each for the given number of seconds (default 60), starting from its
# seed corpus in fuzz/corpus/<name>/. New inputs collect in build-fuzz/corpus/;
# an input that fails is saved in build-fuzz/findings/ and the script fails.
#   scripts/fuzz.sh [seconds] [target ...]     e.g. scripts/fuzz.sh 30 settings
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/common.sh"

SECONDS_EACH=${1:-60}
shift || true
BUILD="$ROOT/build-fuzz"
CLANG=${CLANG:-clang++-14}

install_missing $BUILD_PACKAGES $FUZZ_PACKAGES
build "$BUILD" -DCMAKE_CXX_COMPILER="$CLANG" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDISCWREN_FUZZ=ON -DDISCWREN_TESTS=OFF

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$ROOT"/fuzz/*_fuzz.cpp; do
        name=$(basename "$source" _fuzz.cpp)
        targets+=("$name")
    done
fi

# The targets write their files under a scratch folder of their own, in memory
# where possible.
SCRATCH=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/discwren-fuzz.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
mkdir -p "$BUILD/findings"
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

failed=0
for name in "${targets[@]}"; do
    corpus="$BUILD/corpus/$name"
    mkdir -p "$corpus"
    echo "== fuzz_$name for ${SECONDS_EACH}s"
    if ! TMPDIR="$SCRATCH" "$BUILD/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" \
        -print_final_stats=1 -artifact_prefix="$BUILD/findings/$name-" \
        "$corpus" "$ROOT/fuzz/corpus/$name" 2>"$BUILD/fuzz_$name.log"; then
        tail -n 40 "$BUILD/fuzz_$name.log"
        echo "fuzz_$name found a failure; inputs in $BUILD/findings/" >&2
        failed=1
    fi
    grep -E "stat::number_of_executed_units|stat::new_units_added" "$BUILD/fuzz_$name.log" || true
done
exit $failed
