#!/bin/sh
# Writes every translatable text of the dialog to the .pot file given: the
# texts of the UI definition and those marked with _() or N_() in the code.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
output=$1
cd "$ROOT"
folders=
for folder in app catalogue containers input settings ui util; do
    [ -d "$folder" ] && folders="$folders $folder"
done
# shellcheck disable=SC2086  # one word per folder and per file
sources=$(find $folders \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)
messages=$(mktemp)
trap 'rm -f "$messages"' EXIT
# shellcheck disable=SC2086
if ! xgettext --from-code=UTF-8 --package-name=discWren --package-version=1.21 \
    --copyright-holder=Zantur --msgid-bugs-address=zantur@korvanet.example \
    --add-comments=TRANSLATORS: --add-location=file --sort-by-file \
    --keyword=_ --keyword=N_ --keyword=C_:1c,2 --keyword=NC_:1c,2 \
    -o "$output" ui/discWren.ui $sources 2>"$messages"; then
    cat "$messages" >&2
    exit 1
fi
# gettext's own GtkBuilder rules are all this needs; their age is no concern.
grep -v -e "fallback ITS rule file" -e "may not be in sync" "$messages" >&2 || true
