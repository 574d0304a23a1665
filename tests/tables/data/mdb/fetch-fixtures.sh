#!/usr/bin/env bash
# Fetches the Access test databases and the independent reader (npm mdb-reader) into a cache
# folder, once: Monitor.mdb (Debian mrtg-contrib, Jet 4), testodbc.mdb (Debian fp-units-db,
# Jet 3), fruit.mdb (npm mdb@0.1.0, Jet 4 with a deleted column). Nothing fetched is committed.
# Exits 77 (CTest: skipped) when something could not be fetched, 1 in CI (CI set), where a run
# without the fixtures must not pass; what was fetched stays.
set -u
dest=${1:?usage: fetch-fixtures.sh CACHE-FOLDER}
mkdir -p "$dest" || exit 1
dest=$(cd "$dest" && pwd)
# Test processes may start this at the same time.
exec 9>"$dest/.lock"
flock 9

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

apt_download() { # package...
  (cd "$work" && apt-get download -q "$@" >/dev/null 2>&1) && return 0
  # A fresh machine may not have read the package lists yet.
  [ "$(id -u)" -eq 0 ] && apt-get update -q >/dev/null 2>&1 && (cd "$work" && apt-get download -q "$@" >/dev/null 2>&1)
}

if [ ! -s "$dest/Monitor.mdb" ]; then
  if apt_download mrtg-contrib && dpkg-deb -x "$work"/mrtg-contrib_*.deb "$work/mrtg"; then
    found=$(find "$work/mrtg" -name Monitor.mdb | head -n1)
    [ -n "$found" ] && cp "$found" "$dest/Monitor.mdb" || status=77
  else
    echo "fetch-fixtures: could not fetch Debian package mrtg-contrib" >&2; status=77
  fi
fi

if [ ! -s "$dest/testodbc.mdb" ]; then
  # The file sits in the versioned package that fp-units-db depends on.
  pkg=$(apt-cache depends fp-units-db 2>/dev/null | awk '/Depends: fp-units-db-/ {print $2; exit}')
  if apt_download fp-units-db ${pkg:+"$pkg"}; then
    for deb in "$work"/fp-units-db*.deb; do dpkg-deb -x "$deb" "$work/fpc"; done
    found=$(find "$work/fpc" -name testodbc.mdb.gz | head -n1)
    [ -n "$found" ] && gunzip -c "$found" >"$dest/testodbc.mdb.part" && mv "$dest/testodbc.mdb.part" "$dest/testodbc.mdb" || status=77
  else
    echo "fetch-fixtures: could not fetch Debian package fp-units-db" >&2; status=77
  fi
fi

if [ ! -s "$dest/fruit.mdb" ]; then
  if (cd "$work" && npm pack --silent mdb@0.1.0 >/dev/null 2>&1) && tar -xzf "$work"/mdb-0.1.0.tgz -C "$work"; then
    cp "$work/package/test/fruit.mdb" "$dest/fruit.mdb" || status=77
  else
    echo "fetch-fixtures: could not fetch npm package mdb@0.1.0" >&2; status=77
  fi
fi

if [ ! -d "$dest/node/node_modules/mdb-reader" ]; then
  if ! npm install --silent --no-audit --no-fund --prefix "$dest/node" mdb-reader@3 >/dev/null 2>&1; then
    echo "fetch-fixtures: could not install npm package mdb-reader" >&2; status=77
  fi
fi
[ $status -ne 0 ] && [ -n "${CI:-}" ] && exit 1
exit $status
