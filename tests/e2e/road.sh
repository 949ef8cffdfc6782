#!/usr/bin/env bash
# The whole road of a typical use, on the real program under Xvfb, checked
# from outside (the database file, the settings file, the exported files):
#   first start: connection page -> sign-in -> table designer -> root signs
#   in -> records typed into the grid -> a record changed by another
#   operator meanwhile is not written over -> search -> sort -> a picture and a
#   document imported -> the document opened -> CSV export -> an operator
#   added -> close;
#   second start: the new operator, read-only, finds everything as left.
# Usage: road.sh <vardenix executable>   (under X: tests/support/with-xvfb.sh)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=drive.sh
source "$here/drive.sh"
# shellcheck source=road-steps.sh
source "$here/road-steps.sh"

road_begin "$1"
trap 'road_end $?' EXIT
db=$folder/road.db

convert -size 320x200 gradient:orange-purple -fill white -draw 'circle 160,100 160,40' \
    "$files/photo.jpg"
printf '%%PDF-1.4\n%% 计划 plan\n' >"$files/计划.pdf"

sql() { sqlite3 -batch -noheader "$db" "$1"; }
expect_sql() {
    local actual
    actual=$(sql "$1") || fail "sqlite3 could not read the database"
    [ "$actual" = "$2" ] || fail "database: $1"$'\n'"  expected: $2"$'\n'"  found:    $actual"
}

started=$SECONDS

first_start_connect '(localdb)' road "" ""
design_table
expect_sql "select title||':'||cLength from fid_title order by id" \
    "$(printf '%s\n' 名称:20 数量:10 单价:10 pic:1 dbfile:1)"
expect_sql "select sql like '%f_1 TEXT%' and sql like '%f_2 INTEGER%' and sql like '%f_3 REAL%'
            and sql like '%pic BLOB%' and sql like '%docname TEXT%'
            from sqlite_master where name='fid_main'" 1

step "root signs in with the second press"
sign_in "$dialog" 480517
main=$(wait_main_window)
only_windows "$main"

step "管理/查看 shows the empty table"
click "$main" manage
only_windows "$main"

step "three records typed into the grid"
type_record "$main" 苹果 3 1.5
type_record "$main" banana 12 0.25
type_record "$main" 果汁 7 12.5
keys Up # leaving the row posts it
only_windows "$main"
eventually 5 test "$(sql 'select count(*) from fid_main')" = 3 ||
    fail "the third record was not written"
expect_sql "select id||'|'||f_1||'|'||f_2||'|'||f_3 from fid_main order by id" \
    "$(printf '%s\n' '1|苹果|3|1.5' '2|banana|12|0.25' '3|果汁|7|12.5')"

step "another operator changes a record: the value typed over it is refused"
record_changed_elsewhere "$main" 苹果 橙子 青苹果

step "search: 名称 包含 果"
search_names "$main" 果
export_csv "$main" "$files/search"
expect_csv "$files/search.csv" 名称,数量,单价, 苹果,3,1.5, 果汁,7,12.5,

step "sort: a click on the title 数量"
click_grid_title "$main" 2 100 60 60
only_windows "$main"
export_csv "$main" "$files/sorted.csv"
expect_csv "$files/sorted.csv" 名称,数量,单价, 果汁,7,12.5, 苹果,3,1.5,

step "管理/查看 again: all records in id order"
click "$main" manage
only_windows "$main"

step "picture imported into the first record"
import_picture "$main" "$files/photo.jpg"
expect_sql "select picname||'|'||length(pic)||'|'||hex(substr(picmin,1,2))||'|'||
            hex(substr(picmin,19,4)) from fid_main where id=1" \
    "$files/photo.jpg|$(stat -c %s "$files/photo.jpg")|424D|7C000000"
expect_sql "select hex(substr(picmin,23,4)) in ('49000000','B7FFFFFF') from fid_main where id=1" 1

step "document imported into the first record"
import_document "$main" "$files/计划.pdf"
expect_sql "select docname from fid_main where id=1" "$files/计划.pdf"
sql "select writefile('$root/doc.stored', doc) from fid_main where id=1" >/dev/null
cmp -s "$root/doc.stored" "$files/计划.pdf" || fail "the stored document differs from the file"

step "管理/查看 refreshes the strip; the document opens from the temp folder"
click "$main" manage
only_windows "$main"
click "$main" docicon 1 2
only_windows "$main"
expect_opened "$files/计划.pdf"

step "the page exported to CSV"
export_csv "$main" "$files/root.csv"
expect_csv "$files/root.csv" 名称,数量,单价, 苹果,3,1.5, banana,12,0.25, 果汁,7,12.5,

step "a read-only operator added in the Users view"
menu "$main" d u
only_windows "$main"
click "$main" adduser
adder=$(wait_window '^添加新用户$' 15)
focus "$adder"
type_text clerk
keys Tab
type_text 办事员
keys Tab
type_text secret1
keys Tab
type_text secret1
keys Tab space Tab space # 只读, then 添加
dismiss_message
only_windows "$main"
expect_sql "select user_name||'|'||user_password||'|'||user_alias||'|'||user_wr from fid_user
            order by id" \
    "$(printf '%s\n' "root|$(printf 480517 | md5sum | cut -c1-32)|管理员|1" \
        "clerk|$(printf secret1 | md5sum | cut -c1-32)|办事员|0")"

step "退出 closes the program with exit code 0 and empties temp/"
close_with_exit "$main"

step "the settings file"
expected_ini=$(printf '%s\n' '[odbc]' "host=$(scramble '(localdb)')" 'user=' "port=$(scramble 1433)" \
    "database=$(scramble road)" 'password=' "dbuser=$(scramble root)")
[ "$(grep -v '^$' "$folder/vardenix.ini")" = "$expected_ini" ] ||
    fail "settings file:"$'\n'"$(cat "$folder/vardenix.ini")"
[ "$(stat -c %a "$folder/vardenix.ini")" = 600 ] || fail "the settings file is readable by others"
before=$(sqlite3 "$db" .dump)

step "second start: the operator signs in"
drive_start "$folder" "${program_env[@]}"
dialog=$(wait_window '^登录$' 20)
sign_in "$dialog" secret1 clerk
main=$(wait_main_window)
only_windows "$main"

step "管理/查看 and CSV as the operator show the same rows"
click "$main" manage
only_windows "$main"
export_csv "$main" "$files/clerk.csv"
cmp -s "$files/clerk.csv" "$files/root.csv" || fail "the operator's export differs from root's"

step "the grid is read-only for the operator"
focus "$main"
type_text X
keys Return Insert
type_text Y
keys Return Up
only_windows "$main"
export_csv "$main" "$files/clerk2.csv"
cmp -s "$files/clerk2.csv" "$files/root.csv" || fail "the read-only grid took typed values"

step "&x.退出 closes the program with exit code 0"
menu "$main" f x
drive_wait_exit 15
[ "$DRIVE_EXIT" -eq 0 ] || fail "exit code $DRIVE_EXIT"
[ "$(sqlite3 "$db" .dump)" = "$before" ] || fail "the database changed during the read-only session"
grep -qx "dbuser=$(scramble clerk)" "$folder/vardenix.ini" || fail "dbuser is not the operator"

echo "e2e: the road took $((SECONDS - started))s"
echo "1 passed, 0 failed"
