#!/usr/bin/env bash
# Builds the dialog and saves a PNG of each of its pages and of the CD list
# editor into docs/screenshots/ (and the Russian interface into its ru/),
# drawn under a private Xvfb with a made-up demonstration library. Run it
# again to refresh the images.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/common.sh"

install_missing pngquant
build_tests
OUTPUT="$ROOT/docs/screenshots"
mkdir -p "$OUTPUT"
"$ROOT/build-test/tests/discwren_screenshots" "$OUTPUT"
# The same in Russian, from the catalogue just built.
mkdir -p "$OUTPUT/ru"
LANG=C.UTF-8 LANGUAGE=ru DISCWREN_LOCALEDIR="$ROOT/build-test/po" \
    "$ROOT/build-test/tests/discwren_screenshots" "$OUTPUT/ru"
# Indexed colours where they keep the look; otherwise the full-colour image stays.
for image in "$OUTPUT"/*.png "$OUTPUT"/ru/*.png; do
    pngquant --quality=80-100 --speed 1 --strip --skip-if-larger --force \
        --output "$image" -- "$image" || echo "kept full colour: $image"
done
ls -l "$OUTPUT" "$OUTPUT/ru"
