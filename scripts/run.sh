#!/usr/bin/env bash
# Sets up, builds and starts the program. Without a settings file beside the
# executable it starts on the embedded database "demo".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

ini=build/app/vardenix.ini
if [ ! -e "$ini" ]; then
    # host "(localdb)" and database "demo", scrambled as the program writes them.
    (umask 077 && printf '[odbc]\nhost=+nredngd,\ndatabase=ggpq\n' >"$ini")
fi
exec build/app/vardenix
