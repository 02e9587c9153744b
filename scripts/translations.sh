#!/usr/bin/env bash
# Brings translations/quillmeter_ja.ts and quillmeter_en.ts up to date with
# the texts in src/ (lupdate; texts no longer in the code are dropped). New
# texts come in unfinished: translate them with Qt Linguist (linguist6) or in
# the file, the Japanese one as the text itself. The test i18n_catalogue
# fails until both are complete.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
LUPDATE=/usr/lib/qt6/bin/lupdate; [ -x "$LUPDATE" ] || LUPDATE=$(command -v lupdate)
for lang in ja en; do
  "$LUPDATE" -locations none -no-obsolete -source-language ja -target-language "$lang" src -ts "translations/quillmeter_$lang.ts"
done
