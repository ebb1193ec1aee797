#!/usr/bin/env bash
# Installs what is missing, builds the dialog and starts it.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/common.sh"

install_missing $BUILD_PACKAGES $RUN_PACKAGES
build "$ROOT/build" -DCMAKE_BUILD_TYPE=Release -DDISCWREN_TESTS=OFF
exec "$ROOT/build/cfgDiscWren" "$@"
