#!/usr/bin/env bash
# CPU time of an idle service: hollisvc -debug with a real data file (an interval of 15
# minutes) for SECONDS seconds, read from /proc. Usage: bench/idle_service.sh [SECONDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
svc="${HOLLISVC:-$top/build/src/service/hollisvc}"
seconds="${1:-60}"
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$top/tests/data/typical.ini" "$work/HOLLISVC.ini"
HOLLIMERE_DATA_DIR="$work" HOLLIMERE_EVENTLOG="$work/events.log" "$svc" -debug &
pid=$!
sleep 8 # past the first cycle, which finds the accounts' servers unreachable
read -r -a before < "/proc/$pid/stat"
sleep "$seconds"
read -r -a after < "/proc/$pid/stat"
ticks=$(getconf CLK_TCK)
# Fields 14 and 15 (0-based 13, 14) are user and system time in clock ticks.
used=$(( (after[13] + after[14]) - (before[13] + before[14]) ))
awk -v t="$used" -v hz="$ticks" -v s="$seconds" \
    'BEGIN { printf "idle hollisvc: %.3f s of CPU in %d s (%.4f%%)\n", t / hz, s, 100 * t / hz / s }'
