#!/usr/bin/env bash
# Keeps the web front's message catalogs current: gathers the marked texts
# of the site's Python and templates into web/ptolix_web/translations/
# messages.pot, merges them into the Chinese catalog (zh/LC_MESSAGES/
# messages.po, where new texts wait for their translation) and compiles it
# to the messages.mo the site reads. English needs no catalog: the texts
# are written in English. Commit the .po and the .mo together.
#
#   bash scripts/translations.sh           extract, merge and compile
#   bash scripts/translations.sh compile   compile only
set -euo pipefail
cd "$(dirname "$0")/../web"

dir=ptolix_web/translations
pybabel=(/usr/bin/python3 -m babel.messages.frontend)
if [[ "${1:-}" != "compile" ]]; then
  "${pybabel[@]}" extract -F babel.cfg -k _l -k _n --no-location --sort-output \
    --project Ptolix --copyright-holder "Ptolix" -o "$dir/messages.pot" .
  "${pybabel[@]}" update -i "$dir/messages.pot" -d "$dir" -l zh --no-fuzzy-matching --ignore-obsolete \
    --no-wrap
fi
"${pybabel[@]}" compile -d "$dir" -l zh --statistics
