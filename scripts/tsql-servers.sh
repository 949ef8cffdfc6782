# Sourced by scripts/test.sh and scripts/sanitize.sh: the SQL Server runs go
# to the server VARDENIX_MSSQL names, or else to the T-SQL server kept beside
# the project, started to demand encryption as a SQL Server with "Force
# Encryption" does. A second one on port 14331 runs in clear: the program
# must refuse it.
tsql_folder=../shared/tsql-server
tsql_home=${TSQL_HOME:-/opt/tsql-server}
if [ -z "${VARDENIX_MSSQL:-}" ] && [ -x "$tsql_folder/start.sh" ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo -n)
    if ((${#sudo_cmd[@]})) && ! sudo -n true 2>/dev/null; then
        echo "The T-SQL server needs root to start; the SQL Server tests are skipped." >&2
    else
        VARDENIX_MSSQL=$("${sudo_cmd[@]}" env TSQL_TLS=1 "$tsql_folder/start.sh" | tail -n 1)
        VARDENIX_MSSQL_PLAIN=$("${sudo_cmd[@]}" env TSQL_PORT=14331 "$tsql_folder/start.sh" | tail -n 1)
        export VARDENIX_MSSQL VARDENIX_MSSQL_PLAIN
        export VARDENIX_MSSQL_CA=$tsql_home/tls-1433.crt
        # The server trusts every login from the loopback; logins named
        # vardenix_pw_* must give their password, so that the tests of
        # passwords with any characters can tell a wrong one.
        "${sudo_cmd[@]}" scripts/tsql-check-passwords.sh "$tsql_home/data-1433"
    fi
fi
