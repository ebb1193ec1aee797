#!/bin/sh
# Fails when a translation lacks a text of the dialog: the .pot is extracted
# afresh from the sources, so a new label cannot ship untranslated. Also fails
# on fuzzy entries, on a catalogue msgfmt rejects and on a stale discWren.pot.
# Usage: check.sh LANGUAGE...
set -eu
PO=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sh "$PO/extract.sh" "$work/discWren.pot"
status=0
for language in "$@"; do
    po="$PO/$language.po"
    msgfmt --check -o /dev/null "$po" || status=1
    msgmerge --quiet --no-fuzzy-matching -o "$work/$language.po" "$po" "$work/discWren.pot"
    for kind in untranslated only-fuzzy; do
        msgattrib --$kind --no-obsolete --no-location -o "$work/$kind.po" "$work/$language.po"
        if [ -s "$work/$kind.po" ]; then
            echo "$language.po: entries that are $kind:" >&2
            # Each entry's first two lines, after the header entry.
            sed -n '/^msgid /{N;p}' "$work/$kind.po" | tail -n +3 >&2
            status=1
        fi
    done
done
# The committed template should match the sources, for the translators' sake.
if ! diff -q -I '^"POT-Creation-Date:' "$PO/discWren.pot" "$work/discWren.pot" >/dev/null; then
    echo "po/discWren.pot is out of date: cmake --build <build> --target update-po" >&2
    status=1
fi
[ $status -eq 0 ] && echo "translations complete: $*"
exit $status
