#!/bin/sh
# The window's translations are complete and up to date with its sources:
#   CheckWindowTranslations.sh SOURCE_DIR LUPDATE LANGUAGE...
# fails when a text marked in the window's sources (src/app, src/widgets) has no finished
# translation in translations/pictavo_LANGUAGE.ts, when that file translates a text no source
# has any more, or when a Chinese text in the window's sources is not marked at all.
set -eu
source_dir=$1
lupdate=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
cd "$source_dir"
sources=$(find src/app src/widgets -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)

for language in "$@"; do
  # lupdate over a copy: a text new in the sources comes in unfinished, one the sources dropped
  # is marked vanished (or obsolete), and an unfinished or empty translation stays so.
  cp "translations/pictavo_$language.ts" "$work/$language.ts"
  # shellcheck disable=SC2086 # the file names hold no blanks
  "$lupdate" -silent -locations none $sources -ts "$work/$language.ts" >"$work/lupdate.log" 2>&1 ||
    { cat "$work/lupdate.log" >&2; status=1; }
  if grep -n -E 'type="(unfinished|vanished|obsolete)"|<translation></translation>|<translation/>' \
       "$work/$language.ts" >"$work/stale.txt"; then
    cat "$work/stale.txt" >&2
    echo "translations/pictavo_$language.ts is not up to date: cmake --build build --target update_translations, then translate what is unfinished and delete what is vanished" >&2
    status=1
  fi
done

# Every string of the window's sources holding Chinese characters (UTF-8 lead bytes of
# U+4E00-U+9FFF) against the ones marked for Qt's translation. The name of the Chinese font
# the window asks for is no text.
extract() {
  # shellcheck disable=SC2086
  xgettext --language=C++ --from-code=UTF-8 "$@" -o "$work/texts.pot" $sources 2>/dev/null
  awk -f "$here/msgids.awk" "$work/texts.pot" | LC_ALL=C sort -u
}
cjk=$(printf '[\344-\351]')
extract --keyword= --keyword=tr --keyword=translate:2 --keyword=QT_TR_NOOP \
  --keyword=QT_TRANSLATE_NOOP:2 --keyword=QT_TR_N_NOOP --keyword=QT_TRANSLATE_N_NOOP:2 --keyword=WindowText:2 \
  >"$work/marked.ids"
extract --extract-all | LC_ALL=C grep "$cjk" | grep -v -x -F '宋体' >"$work/all.ids" || true
LC_ALL=C comm -23 "$work/all.ids" "$work/marked.ids" >"$work/unmarked.ids"
if [ -s "$work/unmarked.ids" ]; then
  echo "Chinese texts of the window not marked for translation (wrap them in tr, QT_TR_NOOP or QT_TRANSLATE_NOOP):" >&2
  cat "$work/unmarked.ids" >&2
  status=1
fi
exit $status
