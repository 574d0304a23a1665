#!/usr/bin/env bash
# Fetches the Access test databases and the independent reader (npm mdb-reader) into a cache
# folder, once: Monitor.mdb (Debian mrtg-contrib, Jet 4), testodbc.mdb (Debian fp-units-db,
# Jet 3), fruit.mdb (npm mdb@0.1.0, Jet 4 with a deleted column). Nothing fetched is committed.
# Exits 77 (CTest: skipped) when something could not be fetched, 1 in CI (CI set), where a run
# without the fixtures must not pass; what was fetched stays.
#
# A failure is remembered in CACHE-FOLDER/.fetch-failed, so that the test processes of the same run
# give up at once instead of each trying again for minutes. --retry (the test run's set-up step)
# forgets it and tries again.
set -u
retry=
if [ "${1:-}" = --retry ]; then retry=1; shift; fi
dest=${1:?usage: fetch-fixtures.sh [--retry] CACHE-FOLDER}
mkdir -p "$dest" || exit 1
dest=$(cd "$dest" && pwd)
failed="$dest/.fetch-failed"
# Test processes may start this at the same time.
exec 9>"$dest/.lock"
flock 9

give_up() { # status
  [ "$1" -ne 0 ] && [ -n "${CI:-}" ] && exit 1
  exit "$1"
}
complete() {
  [ -s "$dest/Monitor.mdb" ] && [ -s "$dest/testodbc.mdb" ] && [ -s "$dest/fruit.mdb" ] &&
    [ -d "$dest/node/node_modules/mdb-reader" ]
}
complete && exit 0
if [ -n "$retry" ]; then
  rm -f "$failed"
elif [ -e "$failed" ]; then
  cat "$failed" >&2
  echo "fetch-fixtures: not tried again in this run; delete $failed to try again" >&2
  give_up 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
: >"$work/errors"
fail() { # reason
  echo "fetch-fixtures: $1" >>"$work/errors"
  status=77
}
# npm's own words on why, e.g. a certificate it could not verify.
npm_reason() {
  grep -E '^npm (ERR!|error) (code |.*reason: )' "$work/npm.log" | head -n2 | sed 's/^/  /' >>"$work/errors"
}

apt_download() { # package...
  (cd "$work" && apt-get download -q "$@" >/dev/null 2>&1) && return 0
  # A fresh machine may not have read the package lists yet.
  [ "$(id -u)" -eq 0 ] && apt-get update -q >/dev/null 2>&1 && (cd "$work" && apt-get download -q "$@" >/dev/null 2>&1)
}

if [ ! -s "$dest/Monitor.mdb" ]; then
  if apt_download mrtg-contrib && dpkg-deb -x "$work"/mrtg-contrib_*.deb "$work/mrtg"; then
    found=$(find "$work/mrtg" -name Monitor.mdb | head -n1)
    [ -n "$found" ] && cp "$found" "$dest/Monitor.mdb" || fail "Monitor.mdb is not in Debian package mrtg-contrib"
  else
    fail "could not fetch Debian package mrtg-contrib (apt-get download)"
  fi
fi

if [ ! -s "$dest/testodbc.mdb" ]; then
  # The file sits in the versioned package that fp-units-db depends on.
  pkg=$(apt-cache depends fp-units-db 2>/dev/null | awk '/Depends: fp-units-db-/ {print $2; exit}')
  if apt_download fp-units-db ${pkg:+"$pkg"}; then
    for deb in "$work"/fp-units-db*.deb; do dpkg-deb -x "$deb" "$work/fpc"; done
    found=$(find "$work/fpc" -name testodbc.mdb.gz | head -n1)
    [ -n "$found" ] && gunzip -c "$found" >"$dest/testodbc.mdb.part" && mv "$dest/testodbc.mdb.part" "$dest/testodbc.mdb" ||
      fail "testodbc.mdb is not in Debian package fp-units-db"
  else
    fail "could not fetch Debian package fp-units-db (apt-get download)"
  fi
fi

if [ ! -s "$dest/fruit.mdb" ]; then
  if (cd "$work" && npm pack --loglevel=error mdb@0.1.0 >/dev/null 2>"$work/npm.log") && tar -xzf "$work"/mdb-0.1.0.tgz -C "$work"; then
    cp "$work/package/test/fruit.mdb" "$dest/fruit.mdb" || fail "fruit.mdb is not in npm package mdb@0.1.0"
  else
    fail "could not fetch npm package mdb@0.1.0 from the npm registry"
    npm_reason
  fi
fi

if [ ! -d "$dest/node/node_modules/mdb-reader" ]; then
  if ! npm install --loglevel=error --no-audit --no-fund --prefix "$dest/node" mdb-reader@3 >/dev/null 2>"$work/npm.log"; then
    fail "could not install npm package mdb-reader from the npm registry"
    npm_reason
  fi
fi
if [ $status -ne 0 ]; then
  # Written whole, so that a process that reads it never sees half a reason.
  tee "$failed.part" <"$work/errors" >&2 && mv "$failed.part" "$failed"
fi
give_up $status
