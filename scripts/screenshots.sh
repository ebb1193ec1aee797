#!/usr/bin/env bash
# Builds the dialog and saves a PNG of each of its pages into screenshots/,
# drawn under a private Xvfb. For reviewing the look; not a test.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/common.sh"

build_tests
mkdir -p "$ROOT/screenshots"
"$ROOT/build-test/tests/discwren_screenshots" "$ROOT/screenshots"
