#!/usr/bin/env bash
# Sets up, builds and runs every test on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# The tests of the database's use run a second time on SQL Server: the one
# VARDENIX_MSSQL names, or else the T-SQL server kept beside the project.
tsql_server=../shared/tsql-server/start.sh
if [ -z "${VARDENIX_MSSQL:-}" ] && [ -x "$tsql_server" ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo -n)
    if ((${#sudo_cmd[@]})) && ! sudo -n true 2>/dev/null; then
        echo "The T-SQL server needs root to start; the SQL Server tests are skipped." >&2
    else
        VARDENIX_MSSQL=$("${sudo_cmd[@]}" "$tsql_server" | tail -n 1)
        export VARDENIX_MSSQL
    fi
fi
export QT_QPA_PLATFORM=offscreen
# Window titles are Chinese: X clients and the tests that find windows by
# title need a UTF-8 locale, which a bare CI environment may not set.
export LC_ALL=C.UTF-8
ctest --test-dir build --output-on-failure -j "$(nproc)"
