#!/usr/bin/env bash
# Every sentence the code translates (Tr, TrN, TrNIn, N_ in any source under src/)
# has a translation in each catalog, and every translation keeps the
# placeholders ({0}, {1}, ...) of its sentence.
set -euo pipefail
cd "$1"
pot=$(mktemp)
trap 'rm -f "$pot"' EXIT
xgettext --language=C++ --from-code=UTF-8 --keyword=Tr --keyword=TrN:1,2 --keyword=TrNIn:2,3 --keyword=N_ --keyword=Zh \
         --no-wrap --package-name=strivo-cli -o - $(grep -rlE --include='*.cpp' --include='*.h' '\b(Tr|TrN|TrNIn|N_|Zh)\(' src) |
  sed -e 's/charset=CHARSET/charset=UTF-8/' -e '/^msgid ".*{[0-9]}/i #, python-brace-format' >"$pot"
status=0
for po in po/*.po; do
  report=$(msgmerge --quiet --no-fuzzy-matching "$po" "$pot" |
           msgfmt --check --statistics -o /dev/null - 2>&1) || status=1
  [[ $report != *untranslated* && $report != *fuzzy* ]] || status=1
  echo "$po: $report"
done
exit $status
