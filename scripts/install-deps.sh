#!/usr/bin/env bash
# Installs, with apt-get, every package listed in deps/*.txt that is not installed yet.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t wanted < <(cat "$root"/deps/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# The Access fixtures' oracle runs on Node.js; a machine that has node from elsewhere keeps it.
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
