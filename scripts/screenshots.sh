#!/usr/bin/env bash
# Takes the pictures of docs/ from the real program under Xvfb: every window
# on a fresh embedded database, driven as in the end-to-end test.
# Usage: scripts/screenshots.sh [executable]   (default build/app/vardenix)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if [ -z "${DISPLAY:-}" ] || [ -z "${SCREENSHOTS_UNDER_X:-}" ]; then
    program=${1:-build/app/vardenix}
    [ -x "$program" ] || scripts/build.sh
    export SCREENSHOTS_UNDER_X=1
    exec tests/support/with-xvfb.sh 1600x1000 "$0" "$(realpath "$program")"
fi

# shellcheck source=../tests/e2e/drive.sh
source "$repo/tests/e2e/drive.sh"
docs=$repo/docs
root=$(mktemp -d)
trap 'drive_stop; rm -rf "$root"' EXIT
folder=$root/program
files=$root/files
mkdir -p "$folder" "$files"
cp "$1" "$folder/vardenix"

# A picture and a document for the first record.
convert -size 480x300 gradient:'#fdf6e3'-'#e0c9a6' \
    -fill '#2f6f9f' -draw 'roundrectangle 120,70 360,230 18,18' \
    -fill white -draw 'rectangle 150,100 330,120' -draw 'rectangle 150,140 300,160' \
    -draw 'rectangle 150,180 320,200' "$files/打印纸.jpg"
printf '%%PDF-1.4\n%% 采购计划\n' >"$files/采购计划.pdf"

step "connection page"
drive_start "$folder"
dialog=$(wait_window '^连接设置$' 20)
focus "$dialog"
type_text '(localdb)'
keys Tab
type_text office
shoot "$dialog" "$docs/connection.png"
keys Tab Tab Tab space
dismiss_message

step "table designer"
sign_in "$dialog" ""
designer=$(wait_window '^第一次连接数据库-数据库初始化$')
design_three_columns "$designer" 名称 数量 单价
shoot "$designer" "$docs/designer.png"
keys Return
wait_gone "$designer"
sign_in "$dialog" 480517

step "About view"
main=$(wait_main_window)
park_pointer "$main"
shoot "$main" "$docs/main-about.png"

step "Data view with a picture and a document"
click "$main" manage
type_record "$main" 打印纸 120 25.5
type_record "$main" 墨盒 8 189
type_record "$main" 订书机 15 32.8
type_record "$main" 文件夹 200 3.5
type_record "$main" 白板笔 60 4.2
keys Up
click "$main" manage
click "$main" picture 3
keys i
answer_file_dialog "$(wait_new_window 15 "$main")" "$files/打印纸.jpg"
dismiss_message
click "$main" docimport
answer_file_dialog "$(wait_new_window 15 "$main")" "$files/采购计划.pdf"
dismiss_message
click "$main" manage
park_pointer "$main"
only_windows "$main"
shoot "$main" "$docs/main-data.png"

step "search and sort"
choose_item "$main" column 0
choose_item "$main" operator 0
click "$main" key 1 3
type_text 笔
keys Return
click "$main" manage
choose_item "$main" column 1
choose_item "$main" operator 1
click "$main" key 1 3
type_text 10
keys Return
click_grid_title "$main" 3 100 60 60
park_pointer "$main"
only_windows "$main"
shoot "$main" "$docs/main-search.png"

step "user dialog and Users view"
menu "$main" d u
click "$main" adduser
adder=$(wait_window '^添加新用户$')
focus "$adder"
type_text clerk
keys Tab
type_text 办事员
keys Tab
type_text secret1
keys Tab
type_text secret1
keys Tab space
shoot "$adder" "$docs/user-dialog.png"
keys Tab space
dismiss_message
park_pointer "$main"
only_windows "$main"
shoot "$main" "$docs/main-users.png"

step "settings dialog"
click "$main" settings
settings=$(wait_window '^设置$')
shoot "$settings" "$docs/settings.png"
focus "$settings"
keys Escape
wait_gone "$settings"
click "$main" exit
drive_wait_exit 15

step "sign-in page"
drive_start "$folder"
dialog=$(wait_window '^登录$' 20)
focus "$dialog"
type_text 480517
shoot "$dialog" "$docs/signin.png"
keys Tab Tab Tab space # 退出
drive_wait_exit 15

echo "screenshots: $(cd "$docs" && ls ./*.png | tr '\n' ' ')"
