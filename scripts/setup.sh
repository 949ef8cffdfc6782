#!/usr/bin/env bash
# Installs the Debian packages that the build, the program and the tests need.
# Quick when everything is already there.
set -euo pipefail

packages=(
    g++ make cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev
    libsqlite3-dev libicu-dev unixodbc-dev tdsodbc freetds-bin
    clang libclang-rt-14-dev
    libjpeg-dev libwmf-dev libemf2svg-dev libemf-dev libsimpleini-dev
    fonts-wqy-zenhei gsfonts qt6-translations-l10n xvfb xauth x11-xserver-utils xdotool imagemagick
    sqlite3 python3
    dpkg-dev lintian mmdebstrap
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The FreeTDS ODBC driver registers itself as {FreeTDS}, with Threading = 1:
# unixODBC then serializes the calls on each statement only, and lets the
# SQLCancel that "取消" sends from the window's thread reach FreeTDS while the
# statement runs, as FreeTDS's guide advises; at level 3 the cancel would
# wait for the very call it is to end. A registration without it gets it.
if ! odbcinst -q -d -n FreeTDS 2>/dev/null | grep -qiE '^Threading[[:space:]]*=[[:space:]]*1[[:space:]]*$'; then
    driver=$(odbcinst -q -d -n FreeTDS 2>/dev/null | sed -n 's/^Driver[[:space:]]*=[[:space:]]*//p' | head -n 1)
    [ -n "$driver" ] || driver=$(find /usr/lib -name libtdsodbc.so | head -n 1)
    printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\nThreading=1\n' "$driver" >/tmp/freetds-odbcinst.ini
    odbcinst -i -d -f /tmp/freetds-odbcinst.ini >/dev/null
fi
