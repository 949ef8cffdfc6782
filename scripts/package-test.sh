#!/usr/bin/env bash
# Tests the Debian package in a clean Debian 12 system that it makes itself:
#   the package (revision 1) and a newer build of it (revision 2) are made
#   by scripts/package.sh; mmdebstrap makes a minimal bookworm system,
#   fetching through apt as this machine is set up;
#   apt installs the package, bringing what it depends on (not what it
#   recommends: the dependencies must be enough);
#   an ordinary user starts the program under Xvfb: the connection page,
#   an embedded database designed, root signs in and adds records;
#   the newer build installs over it: the program opens on the sign-in page
#   with the saved settings, and the records are there;
#   remove leaves the user's folder, purge says so and takes back the
#   {FreeTDS} registration, made by the package since tdsodbc was told not
#   to make it.
# The system lives in a mount namespace of its own (unshare), so its mounts
# go when the test ends; its folder goes too unless the test failed.
# Needs root (chroot, mounts; without it the test ends with exit code 77,
# skipped) and mmdebstrap (scripts/setup.sh installs it).
# Usage: scripts/package-test.sh
# shellcheck source-path=SCRIPTDIR/..
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

if [ "${1:-}" != --inside ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "package test: skipped, it needs root to make and enter the test system" >&2
        exit 77
    fi
    started=$SECONDS
    work=$(mktemp -d /var/tmp/vardenix-package-test.XXXXXX)
    echo "package test: in $work"

    echo "package test: making the package and a newer build of it"
    scripts/package.sh --revision 1 --output "$work/debs" | tail -n 1
    scripts/package.sh --revision 2 --output "$work/debs" | tail -n 1
    built=$SECONDS

    # The machine's own sources for bookworm, and its proxy if it has one.
    mirrors=()
    for sources in /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources; do
        [ -f "$sources" ] && grep -q 'bookworm' "$sources" && mirrors+=("$sources")
    done
    options=()
    proxy=$(apt-config dump --format '%v%n' Acquire::http::Proxy)
    [ -z "$proxy" ] || options+=(--aptopt "Acquire::http::Proxy \"$proxy\"")
    echo "package test: making a clean Debian 12 system"
    mmdebstrap --quiet --variant=minbase "${options[@]}" bookworm "$work/system" "${mirrors[@]}"
    made=$SECONDS

    status=0
    unshare --mount --propagation private \
        tests/support/with-xvfb.sh 1600x1000 "$0" --inside "$work" || status=$?
    echo "package test: took $((SECONDS - started))s (packages $((built - started))s," \
        "system $((made - built))s, install and road $((SECONDS - made))s)"
    if ((status == 0)); then
        rm -rf "$work"
        echo "1 passed, 0 failed"
    else
        echo "package test: the system and the program's log stay in $work" >&2
    fi
    exit "$status"
fi

# From here on: inside the namespace, under the X server.
work=$2
system=$work/system
# shellcheck source=tests/e2e/drive.sh
source "$source_dir/tests/e2e/drive.sh"
# shellcheck source=tests/e2e/road-steps.sh
source "$source_dir/tests/e2e/road-steps.sh"
DRIVE_ARTIFACTS=$work/artefacts
trap 'drive_stop' EXIT

mount -t proc proc "$system/proc"
mount --rbind /dev "$system/dev"
mkdir -p "$system/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$system/tmp/.X11-unix"

in_system() { chroot "$system" "$@"; }
apt_in_system() {
    DEBIAN_FRONTEND=noninteractive chroot "$system" apt-get -y -q -o Dpkg::Use-Pty=0 "$@" \
        >>"$work/apt.log" 2>&1 || fail "apt-get $* failed: see $work/apt.log"
}
package() { echo "/debs/$(basename "$work"/debs/vardenix_*-"$1"_amd64.deb)"; }

# The program as the operator starts it from the menu, in their own session:
# nothing of this machine's environment but the display.
operator=clerk
home=/home/$operator
drive_start() {
    shift
    DRIVE_EXIT=""
    chroot --userspec="$operator:$operator" "$system" env -i HOME="$home" USER="$operator" \
        PATH=/usr/bin:/bin DISPLAY="$DISPLAY" XAUTHORITY="$home/.Xauthority" LANG=C.UTF-8 "$@" \
        vardenix >>"$work/program.log" 2>&1 &
    DRIVE_PID=$!
}
folder=$system$home/.local/share/vardenix
program_env=()
db=$folder/office.db
sql() { sqlite3 -batch -noheader "$db" "$1"; }

step "apt installs the package with what it declares"
mkdir -p "$system/debs"
mount --bind "$work/debs" "$system/debs"
# No services start in the test system.
printf '#!/bin/sh\nexit 101\n' >"$system/usr/sbin/policy-rc.d"
chmod 0755 "$system/usr/sbin/policy-rc.d"
# tdsodbc is told not to register its driver, so that the package does.
echo "tdsodbc freetds/addtoodbc boolean false" | in_system debconf-set-selections
apt_in_system update
# Without what it recommends: what it depends on must be enough.
apt_in_system install --no-install-recommends "$(package 1)"
[ -x "$system/usr/lib/vardenix/vardenix" ] || fail "no program in /usr/lib/vardenix"
in_system odbcinst -q -d -n FreeTDS | grep -qx 'Driver=libtdsodbc.so' ||
    fail "no {FreeTDS} driver registered"
[ -e "$system/var/lib/vardenix/registered-freetds" ] || fail "the registration is not noted"

step "an ordinary user"
in_system useradd --create-home "$operator"
cp "$XAUTHORITY" "$system$home/.Xauthority"
in_system chown "$operator:" "$home/.Xauthority"

first_start_connect '(localdb)' office "" ""
design_table
step "root signs in and adds records"
sign_in "$dialog" 480517
main=$(wait_main_window)
only_windows "$main"
click "$main" manage
only_windows "$main"
type_record "$main" 苹果 3 1.5
type_record "$main" banana 12 0.25
keys Up # leaving the row posts it
only_windows "$main"
eventually 5 test "$(sql 'select count(*) from fid_main')" = 2 || fail "the records were not written"
[ "$(sql "select group_concat(f_1||'|'||f_2||'|'||f_3, ' ') from fid_main")" = \
    '苹果|3|1.5 banana|12|0.25' ] || fail "the records read $(sql 'select * from fid_main')"
close_with_exit "$main"

step "the program folder is the operator's own"
owner() { in_system stat -c '%U %a' "${1#"$system"}"; }
[ "$(owner "$folder")" = "$operator 700" ] || fail "the program folder is $(owner "$folder")"
[ "$(owner "$folder/vardenix.ini")" = "$operator 600" ] ||
    fail "the settings file is $(owner "$folder/vardenix.ini")"
[ "$(readlink "$folder/help.doc")" = /usr/lib/vardenix/help.doc ] || fail "no link to the manual"
in_system dpkg --verify vardenix || fail "the installed files changed"
[ "$(find "$system/usr/lib/vardenix" | wc -l)" = 4 ] ||
    fail "the program wrote beside itself: $(ls "$system/usr/lib/vardenix")"
cp "$folder/vardenix.ini" "$work/settings.before"
sqlite3 "$db" .dump >"$work/database.before"

step "a newer build installs over it"
apt_in_system install --no-install-recommends "$(package 2)"
[ "$(in_system dpkg-query -W -f '${Version}' vardenix)" = "$(basename "$(package 2)" | cut -d_ -f2)" ] ||
    fail "the newer build is not installed"
cmp -s "$folder/vardenix.ini" "$work/settings.before" || fail "the settings file changed"
sqlite3 "$db" .dump | cmp -s - "$work/database.before" || fail "the database changed"

step "the newer build opens on the sign-in page with the saved settings"
drive_start "$folder"
dialog=$(wait_window '^登录$' 20)
sign_in "$dialog" 480517
main=$(wait_main_window)
only_windows "$main"

step "the records are there"
click "$main" manage
only_windows "$main"
export_csv "$main" "$home/records.csv"
expect_csv "$system$home/records.csv" 名称,数量,单价, 苹果,3,1.5, banana,12,0.25,
close_with_exit "$main"

step "remove leaves the operator's folder"
apt_in_system remove vardenix
[ ! -e "$system/usr/lib/vardenix" ] || fail "/usr/lib/vardenix is still there"
cmp -s "$folder/vardenix.ini" "$work/settings.before" || fail "the settings file changed"
[ -f "$db" ] || fail "the database went with the package"

step "purge says what it leaves and takes back the {FreeTDS} registration"
apt_in_system purge vardenix
grep -q "vardenix: each user's program folder" "$work/apt.log" || fail "purge said nothing"
! in_system odbcinst -q -d -n FreeTDS >/dev/null 2>&1 || fail "{FreeTDS} is still registered"
[ -f "$db" ] && [ -f "$folder/vardenix.ini" ] || fail "purge touched the operator's folder"
