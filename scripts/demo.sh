#!/usr/bin/env bash
# The demo: builds hollisvc, starts loopback POP3 and SMTP servers with sample mail,
# runs one `hollisvc -query` against them and shows what was logged and delivered.
# Needs no outside server; stops everything it started.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${HOLLIMERE_BUILD_DIR:-$top/build}"

"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target hollisvc hollimere_demo
exec "$build/tools/demo/hollimere_demo" "$build/src/service/hollisvc"
