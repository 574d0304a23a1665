#!/usr/bin/env bash
# Installs, with apt-get, the packages listed in deps/*.txt (building and running) that are
# not installed yet; with --test also those of deps/test/*.txt (tests and benchmarks).
# Runs unattended: as root, or through sudo otherwise, and never reads standard input.
#
#   scripts/install-deps.sh [--test]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lists=("$root"/deps/*.txt)
case "${1:-}" in
  "") ;;
  --test) lists+=("$root"/deps/test/*.txt) ;;
  *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac
mapfile -t wanted < <(cat "${lists[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  # A machine with Node.js from elsewhere keeps it.
  case "$p" in nodejs) command -v node >/dev/null 2>&1 && continue ;; npm) command -v npm >/dev/null 2>&1 && continue ;; esac
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
apt=(env DEBIAN_FRONTEND=noninteractive apt-get)
[ "$(id -u)" -eq 0 ] || apt=(sudo "${apt[@]}")
"${apt[@]}" update -q </dev/null
# postfix is wanted for its benchmark tools only: unconfigured, it starts no mail service.
if [[ " ${missing[*]} " == *" postfix "* ]]; then
  preseed=(debconf-set-selections)
  [ "$(id -u)" -eq 0 ] || preseed=(sudo debconf-set-selections)
  echo "postfix postfix/main_mailer_type select No configuration" | "${preseed[@]}"
fi
"${apt[@]}" install -y -q --no-install-recommends "${missing[@]}" </dev/null
