#!/usr/bin/env bash
# Mail throughput against postfix's smtp-source, all sending 10,000 messages of about 2 KB over
# 15 reused connections to postfix's smtp-sink on 127.0.0.1: our client alone (bench_delivery),
# and a whole mailing (bench_mailing: a .dbf of 10,000 records, the merged list, the connector,
# senders and dispatcher), whose list preparation is reported apart. Then smtp-source and the
# whole mailing once more through latency_proxy.py, which holds every chunk LATENCY_MS (10) in
# each direction and counts the client's round trips on the wire.
# Installs postfix for the sink and the source only, without configuring or starting it.
# BUILD_DIR may name an existing build folder that holds bench_delivery.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
messages=${MESSAGES:-10000}
sessions=${SESSIONS:-15}
rounds=${ROUNDS:-3}
build=${BUILD_DIR:-$root/build-bench-delivery}

if ! command -v smtp-sink >/dev/null && [ ! -x /usr/sbin/smtp-sink ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
  # Keep the package scripts from starting a mail system.
  made_policy=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
    $sudo chmod +x /usr/sbin/policy-rc.d
    made_policy=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends postfix >/dev/null
  [ -z "$made_policy" ] || $sudo rm -f /usr/sbin/policy-rc.d
fi
PATH=$PATH:/usr/sbin

if [ ! -x "$build/bench/delivery/bench_delivery" ] || [ ! -x "$build/bench/delivery/bench_mailing" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQF_GUI=OFF >/dev/null
  cmake --build "$build" --target bench_delivery bench_mailing -j4 >/dev/null
fi

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user=$( [ "$(id -u)" -eq 0 ] && echo "-u postfix" || true )
smtp-sink $user 127.0.0.1:"$port" 1024 &
sink=$!
proxy=""
trap 'kill $sink $proxy 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null && break
  sleep 0.1
done

rate() { /usr/bin/python3 -c "print(round($1 / $2))"; }
best_source=0
best_ours=0
best_mailing=0
best_whole=0
prepare=""
for r in $(seq "$rounds"); do
  start=$(date +%s.%N)
  smtp-source -d -s "$sessions" -m "$messages" -l 2048 -f sender@example.com -t rcpt@example.com 127.0.0.1:"$port"
  end=$(date +%s.%N)
  source_rate=$(rate "$messages" "$(/usr/bin/python3 -c "print($end - $start)")")
  ours_line=$("$build/bench/delivery/bench_delivery" 127.0.0.1 "$port" "$messages" "$sessions")
  ours_rate=${ours_line##*rate=}
  mailing_line=$("$build/bench/delivery/bench_mailing" 127.0.0.1 "$port" "$messages" "$sessions")
  read -r mailing_rate whole_rate round_prepare < <(/usr/bin/python3 -c "
import sys; f = dict(p.split('=') for p in sys.argv[1].split())
print(f['rate'], f['whole'], f['prepare'])" "$mailing_line")
  echo "round $r: smtp-source $source_rate msg/s, client $ours_rate msg/s, mailing $mailing_rate msg/s" \
    "($mailing_line)"
  [ "$source_rate" -gt "$best_source" ] && best_source=$source_rate
  [ "$ours_rate" -gt "$best_ours" ] && best_ours=$ours_rate
  if [ "$mailing_rate" -gt "$best_mailing" ]; then
    best_mailing=$mailing_rate
    best_whole=$whole_rate
    prepare=$round_prepare
  fi
done
ratio() { /usr/bin/python3 -c "print(round($1 / $2, 2))"; }
echo "best of $rounds: smtp-source $best_source msg/s"
echo "  client alone: $best_ours msg/s, ratio $(ratio "$best_ours" "$best_source")"
echo "  whole mailing, sending: $best_mailing msg/s, ratio $(ratio "$best_mailing" "$best_source")"
echo "  whole mailing with the list preparation: $best_whole msg/s, ratio $(ratio "$best_whole" "$best_source")"
echo "  list preparation of $messages records (open, merge): $prepare s"

# Through the latency proxy: one round each, the proxy started afresh to count each client alone.
latency=${LATENCY_MS:-10}
stats=$(mktemp)
through_proxy() { # command...: runs it against the proxy's port; sets seconds and turns
  local ports
  ports=$(mktemp)
  /usr/bin/python3 "$root/bench/delivery/latency_proxy.py" 0 "$port" "$latency" "$stats" >"$ports" &
  proxy=$!
  until grep -q PORT "$ports"; do sleep 0.05; done
  local pport start end
  pport=$(sed 's/PORT //' "$ports")
  start=$(date +%s.%N)
  "$@" "$pport" >/dev/null
  end=$(date +%s.%N)
  kill "$proxy"
  wait "$proxy" || true
  proxy=""
  seconds=$(/usr/bin/python3 -c "print($end - $start)")
  turns=$(sed 's/turns=\([0-9]*\).*/\1/' "$stats")
  rm -f "$ports"
}
source_via() { smtp-source -d -s "$sessions" -m "$messages" -l 2048 -f sender@example.com -t rcpt@example.com 127.0.0.1:"$1"; }
mailing_via() { "$build/bench/delivery/bench_mailing" 127.0.0.1 "$1" "$messages" "$sessions"; }
through_proxy source_via
source_seconds=$seconds source_turns=$turns
through_proxy mailing_via
echo "with ${latency} ms each way: smtp-source $(rate "$messages" "$source_seconds") msg/s," \
  "$(/usr/bin/python3 -c "print(round($source_turns / $messages, 2))") round trips a message;" \
  "whole mailing $(rate "$messages" "$seconds") msg/s," \
  "$(/usr/bin/python3 -c "print(round($turns / $messages, 2))") round trips a message;" \
  "ratio $(ratio "$source_seconds" "$seconds")"
rm -f "$stats"

# Peak memory of a mailing of 10,000 and of 1,000,000 records against the same sink (MEMORY=1).
if [ "${MEMORY:-0}" = 1 ]; then
  "$build/bench/delivery/bench_mailing" --memory 127.0.0.1 "$port"
fi
