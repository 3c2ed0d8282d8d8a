#!/usr/bin/env bash
# The whole test suite: installs what it needs, checks the formatting, builds with
# warnings as errors and runs every test. Exits non-zero on any failure.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${HOLLIMERE_BUILD_DIR:-$top/build}"
cd "$top"

"$top/scripts/install-deps.sh"

echo "== clang-format"
git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

echo "== build"
# The package test builds the programs a second time; the cache keeps that short.
export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=true
cmake -S "$top" -B "$build" -G Ninja -DHOLLIMERE_WERROR=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$build" -j "$(nproc)"

echo "== tests"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
