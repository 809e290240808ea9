#!/bin/sh
# Writes the template of the program's texts (a .pot file) from the sources of the core and of
# pictavo-cli: every text marked with Tr, TrN, Message or FormatMessage. Run from anywhere:
#   po/extract.sh OUTPUT.pot [xgettext option...]
# Bring a translation up to date with it: msgmerge --update po/en.po OUTPUT.pot
set -eu
output=$1
shift
case $output in /*) ;; *) output=$PWD/$output ;; esac
cd "$(dirname "$0")/.."
# shellcheck disable=SC2046 # the file names hold no blanks
xgettext --language=C++ --from-code=UTF-8 --package-name=pictavo --add-location=file --sort-by-file \
  --keyword= --keyword=Tr --keyword=TrN:1,2 --keyword=Message --keyword=FormatMessage \
  --flag=FormatMessage:1:c-format --flag=Format:1:c-format \
  --flag=Tr:1:pass-c-format --flag=TrN:1:pass-c-format --flag=TrN:2:pass-c-format \
  "$@" -o "$output" \
  $(find src/base src/icons src/library src/search src/settings src/cli -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
