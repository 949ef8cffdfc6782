#!/usr/bin/env bash
# The road of a typical use on SQL Server, on the real program under X, in a
# database of its own on the server that VARDENIX_MSSQL names, checked from
# outside (the database through FreeTDS's bsqldb, the settings file, the
# exported files):
#   first start: connection page -> sign-in -> table designer -> root signs
#   in -> Chinese records typed into the grid, one filling its column in GBK
#   bytes -> a record changed by another operator meanwhile is not written
#   over -> search -> sort -> a picture and a document imported from paths
#   of 240 GBK bytes, a longer path refused -> the attachments opened -> CSV
#   export -> close;
#   second start: root finds every value and name whole.
# Without VARDENIX_MSSQL it ends at once with exit code 77 (skipped).
# Usage: road_sqlserver.sh <vardenix executable>   (under X: tests/support/with-xvfb.sh)
set -euo pipefail

if [ -z "${VARDENIX_MSSQL:-}" ]; then
    echo "SKIP: VARDENIX_MSSQL is not set, so there is no SQL Server to run on."
    exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=drive.sh
source "$here/drive.sh"
# shellcheck source=road-steps.sh
source "$here/road-steps.sh"

# A part of the connection string, by its key in any case.
server_part() {
    local parts part key
    IFS=';' read -ra parts <<<"$VARDENIX_MSSQL"
    for part in "${parts[@]}"; do
        key=${part%%=*}
        if [ "${key,,}" = "${1,,}" ]; then
            printf '%s' "${part#*=}"
            return 0
        fi
    done
}
host=$(server_part "Data Source")
login=$(server_part "User ID")
password=$(server_part Password)
database=vardenix_test_$(date +%Y%m%d_%H%M%S)_$$_e2e_road

# Runs a batch in a database of the server; the rows come one a line, their
# values between bars, texts in the locale's UTF-8 (drive.sh sets it).
sql_in() {
    printf '%s\n' "$2" |
        bsqldb -S "${host/,/:}" -U "$login" -P "$password" -D "$1" -q -t '|' 2>"$root/bsqldb.log"
}
sql() { sql_in "$database" "$1"; }
expect_sql() {
    local actual
    actual=$(sql "$1") || fail "bsqldb could not read the database: $(cat "$root/bsqldb.log")"
    [ "$actual" = "$2" ] || fail "database: $1"$'\n'"  expected: $2"$'\n'"  found:    $actual"
}
# The bytes of a file as bsqldb shows a binary value.
hex_of() { printf '0x%s' "$(od -An -v -tx1 "$1" | tr -d ' \n')"; }

# The database goes once the program's connections are closed. Microsoft's
# server may keep a closed session a moment, which single-user mode cuts;
# not every T-SQL server has that mode, so its failure is no matter.
drop_database() {
    local attempt
    sql_in master "ALTER DATABASE [$database] SET SINGLE_USER WITH ROLLBACK IMMEDIATE" \
        >/dev/null 2>&1 || true
    for attempt in 1 2 3 4 5; do
        sql_in master "DROP DATABASE [$database]" >/dev/null 2>&1 && return 0
        sleep 1
    done
    echo "e2e: could not drop the database $database: $(cat "$root/bsqldb.log")" >&2
}
database_made=""
finish() {
    local status=$?
    drive_stop
    [ -z "$database_made" ] || drop_database
    road_end "$status"
}

road_begin "$1"
trap finish EXIT

# A path of exactly the given length in GBK bytes below the folder: Chinese
# folder and file names (two bytes a character) and, for an odd length, one
# ASCII letter. Every name keeps within the 255 bytes of a name in UTF-8.
gbk_length() { printf '%s' "$1" | iconv -f UTF-8 -t GBK | wc -c; }
chinese() {
    local text=采购部年度计划与合同档案资料汇编
    while ((${#text} < $1)); do
        text+=$text
    done
    printf '%s' "${text:0:$1}"
}
long_path() {
    local path=$1 extension=$2 length=$3 left name
    left=$((length - $(gbk_length "$path") - ${#extension}))
    while ((left > 81 + 41)); do
        path+=/$(chinese 40)
        left=$((left - 81))
    done
    left=$((left - 1))
    name=$(chinese $((left / 2)))
    ((left % 2 == 0)) || name+=a
    printf '%s' "$path/$name$extension"
}

picture=$(long_path "$files" .jpg 240)
document=$(long_path "$files" .pdf 240)
too_long=$(long_path "$files" .pdf 241)
mkdir -p "$(dirname "$picture")" "$(dirname "$too_long")"
convert -size 160x100 gradient:teal-gold -fill white -draw 'circle 80,50 80,20' "$picture"
printf '%%PDF-1.4\n%% 合同 contract\n' >"$document"
cp "$document" "$too_long"
[ "$(gbk_length "$document")" = 240 ] && [ "$(gbk_length "$too_long")" = 241 ] ||
    fail "the long paths are not 240 and 241 bytes long"

started=$SECONDS

step "a database of its own on the server"
sql_in master "CREATE DATABASE [$database] COLLATE Chinese_PRC_CI_AS" >/dev/null ||
    fail "cannot create the database on $host: $(cat "$root/bsqldb.log")"
database_made=1

first_start_connect "$host" "$database" "$login" "$password"
design_table
expect_sql "select title, cLength from fid_title order by id" \
    "$(printf '%s\n' '名称|20' '数量|10' '单价|10' 'pic|1' 'dbfile|1')"
expect_sql "select column_name, data_type, isnull(character_maximum_length, 0)
            from information_schema.columns where table_name = 'fid_main'
            order by ordinal_position" \
    "$(printf '%s\n' 'id|int|0' 'f_1|varchar|20' 'f_2|int|0' 'f_3|float|0' \
        'pic|image|2147483647' 'picmin|image|2147483647' 'picname|varchar|240' \
        'doc|image|2147483647' 'docname|varchar|240')"

step "root signs in with the second press"
sign_in "$dialog" 480517
main=$(wait_main_window)
only_windows "$main"

step "管理/查看 shows the empty table"
click "$main" manage
only_windows "$main"

step "three records typed into the grid: one fills 名称, one mixes Chinese and ASCII"
type_record "$main" 国家标准化管理委员会 3 1.5
type_record "$main" 墨盒HP-803黑色 12 0.25
type_record "$main" 黑色签字笔 7 12.5
keys Up # leaving the row posts it
only_windows "$main"
eventually 10 test "$(sql 'select count(*) from fid_main')" = 3 ||
    fail "the third record was not written"
expect_sql "select id, f_1, len(f_1), f_2, f_3 from fid_main order by id" \
    "$(printf '%s\n' '1|国家标准化管理委员会|10|3|1.5' '2|墨盒HP-803黑色|10|12|0.25' \
        '3|黑色签字笔|5|7|12.5')"

step "another operator changes a record: the value typed over it is refused"
record_changed_elsewhere "$main" 国家标准化管理委员会 国家标准委 标准委员会

step "search: 名称 包含 黑色"
search_names "$main" 黑色
export_csv "$main" "$files/search.csv"
expect_csv "$files/search.csv" 名称,数量,单价, 墨盒HP-803黑色,12,0.25, 黑色签字笔,7,12.5,

step "sort: a click on the title 单价"
click_grid_title "$main" 3 100 60 60
only_windows "$main"
export_csv "$main" "$files/sorted.csv"
expect_csv "$files/sorted.csv" 名称,数量,单价, 黑色签字笔,7,12.5, 墨盒HP-803黑色,12,0.25,

step "管理/查看 again: all records in id order"
click "$main" manage
only_windows "$main"

step "picture imported into the first record from a path of 240 bytes"
import_picture "$main" "$picture"
expect_sql "select picname, pic from fid_main where id = 1" "$picture|$(hex_of "$picture")"
# The thumbnail: a bitmap file 124 wide and 73 high, bottom-up or top-down.
thumbnail=$(sql "select picmin from fid_main where id = 1")
[[ $thumbnail == 0x424d* ]] && [ "${thumbnail:38:8}" = 7c000000 ] &&
    [[ ${thumbnail:46:8} == @(49000000|b7ffffff) ]] ||
    fail "the thumbnail is no bitmap of 124 × 73: ${thumbnail:0:60}"

step "document imported into the first record from a path of 240 bytes"
import_document "$main" "$document"
expect_sql "select docname, doc from fid_main where id = 1" "$document|$(hex_of "$document")"

step "a document path of 241 bytes is refused"
click "$main" docimport
file_dialog=$(wait_new_window 15 "$main")
answer_file_dialog "$file_dialog" "$too_long"
report=$(wait_new_window 15 "$main")
expect_title "$report" Vardenix # the standard error report
focus "$report"
keys Return
wait_gone "$report"
only_windows "$main"
expect_sql "select docname, doc from fid_main where id = 1" "$document|$(hex_of "$document")"

step "管理/查看 refreshes the strip; the document and the picture open from temp/"
click "$main" manage
only_windows "$main"
click "$main" docicon 1 2
only_windows "$main"
expect_opened "$document"
click "$main" picture 1 2
only_windows "$main"
expect_opened "$picture"

step "the page exported to CSV"
export_csv "$main" "$files/first.csv"
expect_csv "$files/first.csv" 名称,数量,单价, 国家标准化管理委员会,3,1.5, 墨盒HP-803黑色,12,0.25, \
    黑色签字笔,7,12.5,

step "退出 closes the program with exit code 0 and empties temp/"
close_with_exit "$main"

step "the settings file"
expected_ini=$(printf '%s\n' '[odbc]' "host=$(scramble "$host")" "user=$(scramble "$login")" \
    "port=$(scramble 1433)" "database=$(scramble "$database")" \
    "password=$(scramble "$password")" "dbuser=$(scramble root)")
[ "$(grep -v '^$' "$folder/vardenix.ini")" = "$expected_ini" ] ||
    fail "settings file:"$'\n'"$(cat "$folder/vardenix.ini")"
[ "$(stat -c %a "$folder/vardenix.ini")" = 600 ] || fail "the settings file is readable by others"
records="select id, f_1, f_2, f_3, picname, docname, datalength(pic), datalength(picmin),
         datalength(doc) from fid_main order by id"
before=$(sql "$records")

step "second start: root signs in"
drive_start "$folder" "${program_env[@]}"
dialog=$(wait_window '^登录$' 20)
sign_in "$dialog" 480517
main=$(wait_main_window)
only_windows "$main"

step "管理/查看 and CSV show the same rows"
click "$main" manage
only_windows "$main"
export_csv "$main" "$files/second.csv"
cmp -s "$files/second.csv" "$files/first.csv" || fail "the second start's export differs"

step "the strip names the document and the picture whole: both open"
click "$main" docicon 1 2
only_windows "$main"
expect_opened "$document"
click "$main" picture 1 2
only_windows "$main"
expect_opened "$picture"

step "退出 closes the program again"
close_with_exit "$main"
[ "$(sql "$records")" = "$before" ] || fail "the records changed during the second start"

echo "e2e: the road took $((SECONDS - started))s"
echo "1 passed, 0 failed"
