#!/usr/bin/env bash
# Sets up, builds and runs every test on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# The tests of the database's use run a second time on SQL Server.
source scripts/tsql-servers.sh
export QT_QPA_PLATFORM=offscreen
# Window titles are Chinese: X clients and the tests that find windows by
# title need a UTF-8 locale, which a bare CI environment may not set.
export LC_ALL=C.UTF-8
ctest --test-dir build --output-on-failure -j "$(nproc)"
