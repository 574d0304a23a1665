#!/usr/bin/env bash
# Non-blank lines of the tests against the code they test, by folder: tests/<sub> against
# src/<sub> (sources, headers, CMake lists and scripts). The workspace is the files directly in
# src/tables and tests/tables; tests/common counts toward the total only.
set -euo pipefail
cd "$(dirname "$0")/.."
lines() { # folder [maxdepth]
  [ -d "$1" ] || { echo 0; return; }
  find "$1" ${2:+-maxdepth $2} -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.sh' \
    -o -name '*.mjs' -o -name CMakeLists.txt \) -print0 | xargs -0 -r cat | grep -cv '^\s*$' || true
}
row() { printf "%-12s tests %6d  code %6d  %3d%%\n" "$1" "$2" "$3" $((100 * $2 / $3)); }
tt=0 ts=0
for sub in store expr tables/data tables/calc tables composer delivery shell tables/ui; do
  if [ "$sub" = tables ]; then t=$(lines tests/tables 1) s=$(lines src/tables 1); name=tables/ws
  else t=$(lines tests/$sub) s=$(lines src/$sub); name=$sub; fi
  row "$name" "$t" "$s"; tt=$((tt + t)) ts=$((ts + s))
done
c=$(lines tests/common); tt=$((tt + c))
printf "%-12s tests %6d\n" common "$c"
row TOTAL "$tt" "$ts"
