# The steps that the roads on the embedded database and on SQL Server share:
# the run's folders, the first start up to the designed table, imports,
# opening attachments, CSV exports and the close. Sourced after drive.sh.

# The run's folders: the program's (settings, embedded database, temp), the
# operator's files, and a stand-in for the desktop's xdg-open, through which
# the program hands over an attachment to open, that notes what it is asked.
# Sets program, root, folder, files and program_env.
road_begin() {
    program=$(realpath "$1")
    root=$(mktemp -d)
    DRIVE_ARTIFACTS=$root/artefacts
    folder=$root/program
    files=$root/files
    local shell=$root/shell
    mkdir -p "$folder" "$files" "$shell"
    cp "$program" "$folder/vardenix"
    cat >"$shell/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>"$root/opened"
EOF
    chmod +x "$shell/xdg-open"
    program_env=("PATH=$shell:$PATH")
}

# Stops a program left running; the run's files stay after a failure.
road_end() {
    local status=$1
    drive_stop
    if ((status == 0)); then
        rm -rf "$root"
    else
        echo "e2e: the run's files stay in $root" >&2
    fi
}

# Another operator saves a new 名称 for the first record while the window
# shows it: the value typed here afterwards is refused rather than written
# over theirs, stays in the grid until Esc, and 管理/查看 then goes on. The
# record gets its first value back for the rest of the road. Needs sql and
# expect_sql of the road.
record_changed_elsewhere() {
    local main=$1 original=$2 theirs=$3 mine=$4 report
    sql "update fid_main set f_1='$theirs' where id=1" >/dev/null
    focus "$main"
    keys ctrl+Home
    type_text "$mine"
    keys Down # leaving the row posts it
    report=$(wait_new_window 15 "$main")
    expect_title "$report" Vardenix # the standard error report
    focus "$report"
    keys Return
    wait_gone "$report"
    expect_sql "select f_1 from fid_main where id=1" "$theirs"
    focus "$main"
    keys Escape
    click "$main" manage
    only_windows "$main"
    expect_sql "select f_1 from fid_main where id=1" "$theirs"
    sql "update fid_main set f_1='$original' where id=1" >/dev/null
}

# The CSV file as the program writes it: GBK, CR LF, a comma after each value.
expect_csv() {
    local file=$1 expected
    shift
    [ -f "$file" ] || fail "no CSV file $file"
    expected=$(printf '%s\r\n' "$@" | iconv -f UTF-8 -t GBK | od -An -c)
    [ "$(od -An -c "$file")" = "$expected" ] ||
        fail "CSV $file holds"$'\n'"$(iconv -f GBK -t UTF-8 "$file" | cat -A)"
}

# Qt's own dialogs speak Chinese like the rest of the program.
expect_title() {
    local title
    title=$(xdotool getwindowname "$1")
    [ "$title" = "$2" ] || fail "the dialog is titled \"$title\", not \"$2\""
}

export_csv() {
    local main=$1 path=$2 dialog
    menu "$main" f e
    dialog=$(wait_new_window 15 "$main")
    expect_title "$dialog" 另存为
    answer_file_dialog "$dialog" "$path"
    dismiss_message
    only_windows "$main"
}

# The first start opens the connection page; a successful "连接测试" saves
# the settings and turns it into the sign-in page. Sets dialog.
first_start_connect() {
    local host=$1 database=$2 user=$3 password=$4
    step "first start opens the connection page"
    drive_start "$folder" "${program_env[@]}"
    dialog=$(wait_window '^连接设置$' 20)

    step "connection test on $host"
    focus "$dialog"
    type_text "$host"
    keys Tab
    type_text "$database"
    keys Tab
    [ -z "$user" ] || type_text "$user"
    keys Tab
    [ -z "$password" ] || type_text "$password"
    keys Tab space
    dismiss_message
    [ "$(xdotool getwindowname "$dialog")" = "登录" ] || fail "the sign-in page did not follow the test"
    [ -f "$folder/vardenix.ini" ] || fail "no settings file after the test"
}

# On an empty database the first press of 登录 opens the designer; the
# design: 名称 text of length 20, 数量 integer, 单价 real, with pictures and
# documents.
design_table() {
    step "first press of 登录 opens the designer"
    sign_in "$dialog" ""
    local designer
    designer=$(wait_window '^第一次连接数据库-数据库初始化$' 15)

    step "design: text, integer and real columns with pictures and documents"
    design_three_columns "$designer" 名称 数量 单价
    keys Return
    wait_gone "$designer"
}

# Searches the first column (名称) with the first operator (包含).
search_names() {
    local main=$1 key=$2
    choose_item "$main" column 0
    choose_item "$main" operator 0
    click "$main" key 1 3
    type_text "$key"
    keys Return
    only_windows "$main"
}

# Imports a file into the current record through the strip's picture menu
# or its document button; the program confirms with a message.
import_picture() {
    local main=$1 path=$2 file_dialog
    click "$main" picture 3
    keys i
    file_dialog=$(wait_new_window 15 "$main")
    expect_title "$file_dialog" 打开
    answer_file_dialog "$file_dialog" "$path"
    dismiss_message
    only_windows "$main"
}

import_document() {
    local main=$1 path=$2 file_dialog
    click "$main" docimport
    file_dialog=$(wait_new_window 15 "$main")
    expect_title "$file_dialog" 打开
    answer_file_dialog "$file_dialog" "$path"
    dismiss_message
    only_windows "$main"
}

# The desktop was asked to open a whole copy of the given file, under its own
# name in its record's folder of temp/ (temp/doc1/, temp/pic1/): as a
# file:// address with the path percent-encoded.
expect_opened() {
    local original=$1 name=${1##*/} address path
    eventually 5 test -s "$root/opened" || fail "the desktop was not asked to open $name"
    address=$(tail -n 1 "$root/opened")
    ! printf '%s' "$address" | LC_ALL=C grep -q '[^ -~]' ||
        fail "the address is not percent-encoded: $address"
    path=$(printf '%b' "${address//%/\\x}")
    path=${path#file://}
    [[ $path =~ ^"$folder/temp/"(doc|pic)[0-9]+/"$name"$ ]] ||
        fail "the desktop was asked to open: $address"
    cmp -s "$path" "$original" || fail "no whole copy of $name in temp/"
    rm "$root/opened"
}

# 退出 ends the program with exit code 0 and empties temp/.
close_with_exit() {
    click "$1" exit
    drive_wait_exit 15
    [ "$DRIVE_EXIT" -eq 0 ] || fail "exit code $DRIVE_EXIT"
    [ ! -e "$folder/temp" ] || fail "temp/ is still there"
}
