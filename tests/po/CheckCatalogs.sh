#!/bin/sh
# The translations are complete and up to date with the sources:
#   CheckCatalogs.sh SOURCE_DIR LANGUAGE...
# fails when a text marked in the sources (po/extract.sh) has no translation in po/LANGUAGE.po
# or only a fuzzy one, when po/LANGUAGE.po translates a text no source has any more, or when a
# Chinese text in the sources of the core or of pictavo-cli is not marked at all.
set -eu
source_dir=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

"$source_dir/po/extract.sh" "$work/marked.pot"
for language in "$@"; do
  # msgcmp fails on a text missing from the translation, untranslated or fuzzy, and warns of a
  # translation no longer used.
  if ! msgcmp "$source_dir/po/$language.po" "$work/marked.pot" >"$work/msgcmp.log" 2>&1 ||
     grep -q 'this message is not used' "$work/msgcmp.log"; then
    cat "$work/msgcmp.log" >&2
    echo "po/$language.po is not up to date: po/extract.sh pictavo.pot && msgmerge --update po/$language.po pictavo.pot, then translate what is new or fuzzy" >&2
    status=1
  fi
done

# Every string of the sources holding Chinese characters (UTF-8 lead bytes of U+4E00-U+9FFF)
# against the marked ones. The default name of an icon that has none ("图标 %d") is kept with
# the icon and written into files: the same in every language.
"$source_dir/po/extract.sh" "$work/all.pot" --extract-all 2>/dev/null
cjk=$(printf '[\344-\351]')
awk -f "$here/msgids.awk" "$work/marked.pot" | LC_ALL=C sort -u >"$work/marked.ids"
awk -f "$here/msgids.awk" "$work/all.pot" | LC_ALL=C grep "$cjk" | grep -v -x -F '图标 %d' |
  LC_ALL=C sort -u >"$work/all.ids"
LC_ALL=C comm -23 "$work/all.ids" "$work/marked.ids" >"$work/unmarked.ids"
if [ -s "$work/unmarked.ids" ]; then
  echo "Chinese texts not marked for translation (wrap them in Tr, TrN, Message or FormatMessage):" >&2
  cat "$work/unmarked.ids" >&2
  status=1
fi
exit $status
