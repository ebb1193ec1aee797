#!/bin/sh
# Regenerates po/discWren.pot from the sources and merges it into each .po
# file; new texts arrive there untranslated, for the translator to fill in.
set -eu
PO=$(cd "$(dirname "$0")" && pwd)
sh "$PO/extract.sh" "$PO/discWren.pot"
for po in "$PO"/*.po; do
    msgmerge --quiet --update --backup=none --no-fuzzy-matching "$po" "$PO/discWren.pot"
done
