#!/usr/bin/env bash
# Makes the test T-SQL server whose data folder is given check the password
# of logins named vardenix_pw_* (every other login from the loopback stays
# trusted, as the server is set up). Idempotent.
set -euo pipefail
data=$1
home=$(dirname "$data")
rule='host    all    /^vardenix_pw_    127.0.0.1/32    password'
if ! grep -qF "$rule" "$data/pg_hba.conf"; then
    # The first matching line decides: the rule goes before all others.
    { echo "$rule"; cat "$data/pg_hba.conf"; } >"$data/pg_hba.conf.new"
    chown --reference="$data/pg_hba.conf" "$data/pg_hba.conf.new"
    chmod --reference="$data/pg_hba.conf" "$data/pg_hba.conf.new"
    mv "$data/pg_hba.conf.new" "$data/pg_hba.conf"
    runuser -u postgres -- env LD_LIBRARY_PATH="$home/install/lib" \
        "$home/install/bin/pg_ctl" -D "$data" reload >/dev/null
fi
