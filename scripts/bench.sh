#!/usr/bin/env bash
# Configures a Release build in build-release/, builds the benchmarks and runs
# them; data go to a temporary folder that is removed at the end. The SQL
# Server benchmark runs when VARDENIX_MSSQL holds a connection string: at
# 100,000 records on the loopback and through the modelled office link, at
# 1,000,000 through the link.
#
#   scripts/bench.sh [records...]   sizes of the browser benchmark
#                                   (default 10000 100000 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j "$(nproc)" --target bench_db bench_browser bench_attachments bench_mssql
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$data}"
# The offscreen platform's notes about window hints are no figures.
quiet() { "$@" 2> >(grep -v 'propagateSizeHints' >&2); }
mkdir -p "$data/db" "$data/browser" "$data/attachments"
quiet build-release/bench/db/bench_db "$data/db"
quiet build-release/bench/browser/bench_browser "$data/browser" "$@"
quiet build-release/bench/attachments/bench_attachments "$data/attachments"
quiet build-release/bench/mssql/bench_mssql 100000
quiet build-release/bench/mssql/bench_mssql --link 1000000
