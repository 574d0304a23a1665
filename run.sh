#!/usr/bin/env bash
# Installs what building and running need (deps/*.txt) when it is missing, builds
# Quillfast into build/ and starts it. test.sh adds the test packages.
#
#   ./run.sh [project.qfx] [table.dbf | database.mdb]
#
# Without arguments it opens a copy of the sample project and the sample table (resources/sample)
# kept in the user's data folder, so that edits, saves and the grid layout never touch the
# shipped files.
#
# Without a screen (QT_QPA_PLATFORM=offscreen) Quillfast closes itself, in the orderly
# way of File > Exit, after it has started: 3 seconds after the main window is shown,
# or after QUILLFAST_QUIT_AFTER_MS milliseconds when that variable is set. The same
# variable makes a run on a screen close itself too. QUILLFAST_BUILD_DIR names another build
# folder, QF_TESTS=OFF leaves the tests out even where GoogleTest is installed.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
build="${QUILLFAST_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQF_WERROR=ON -DQF_TESTS="${QF_TESTS:-AUTO}" >/dev/null
cmake --build "$build" --target quillfast -j"${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
if [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
  export QUILLFAST_QUIT_AFTER_MS="${QUILLFAST_QUIT_AFTER_MS:-3000}"
fi
if [ $# -eq 0 ]; then
  sample="${XDG_DATA_HOME:-$HOME/.local/share}/Tembrook/Quillfast 2.0/sample"
  if [ ! -e "$sample/contacts.dbf" ]; then
    mkdir -p "$sample"
    cp resources/sample/contacts.dbf resources/sample/contacts.dbt "$sample/"
  fi
  [ -e "$sample/letter.qfx" ] || cp resources/sample/letter.qfx "$sample/"
  set -- "$sample/letter.qfx" "$sample/contacts.dbf"
fi
exec "$build/quillfast" "$@"
