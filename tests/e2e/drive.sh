# Drives the real program under X from outside, as an operator would: windows
# found by their titles, keys, typed text and clicks at the places the window
# layouts give. Sourced by the end-to-end test and by scripts/screenshots.sh.
#
# The caller sets DISPLAY (tests/support/with-xvfb.sh does), then calls
# drive_start with the program's folder. Every wait has a timeout; every
# failure names the step.

# Window titles and typed texts are Chinese.
export LC_ALL=C.UTF-8

DRIVE_STEP="start"
DRIVE_PID=""
DRIVE_EXIT=""
DRIVE_ARTIFACTS=${DRIVE_ARTIFACTS:-}

# The main window opens at its design size without a window manager; the
# places below are measured on it from its top-left corner, and those of the
# attachment strip from its top-right corner.
MAIN_WIDTH=1448
declare -A AT=(
    [manage]="60 40"     # SpeedButton3 管理/查看
    [about]="165 40"     # SpeedButton7 关于
    [settings]="253 40"  # SpeedButton9 设置
    [exit]="434 40"      # SpeedButton8 退出
    [column]="72 79"     # Com11, the search column list
    [operator]="171 79"  # Com12, the search operator list
    [key]="264 79"       # EKey
    [search]="359 79"    # SpeedButton6 搜索
    [adduser]="54 79"    # SpeedButton4 增加用户
    [docicon]="-394 58"  # the document icon of the strip
    [docimport]="-315 74" # SpeedButton1 导入...
    [picture]="-66 60"   # ImagePic, the thumbnail
)
# Titles of the record grid: the indicator column is 16 wide, then each
# column is as wide as the designed length times 5, within 60 to 180.
GRID_TITLE_Y=108
GRID_LEFT=17

step() {
    DRIVE_STEP=$1
    echo "e2e: $DRIVE_STEP"
}

# Ends the run naming the step, with the windows on screen and a picture of
# the screen when an artefacts folder is set.
fail() {
    echo "e2e: FAILED at step \"$DRIVE_STEP\": $*" >&2
    local id
    for id in $(visible_windows); do
        echo "e2e:   window on screen: \"$(xdotool getwindowname "$id" 2>/dev/null)\"" >&2
    done
    if [ -n "$DRIVE_ARTIFACTS" ]; then
        mkdir -p "$DRIVE_ARTIFACTS"
        import -window root "$DRIVE_ARTIFACTS/failure.png" 2>/dev/null &&
            echo "e2e:   screen: $DRIVE_ARTIFACTS/failure.png" >&2
    fi
    exit 1
}

# Starts the program of the folder; the extra arguments are environment
# settings for it (NAME=value).
drive_start() {
    local folder=$1
    shift
    DRIVE_EXIT=""
    env "$@" QT_QPA_PLATFORM=xcb "$folder/vardenix" >>"$folder/../program.log" 2>&1 &
    DRIVE_PID=$!
}

# Waits for the program to end by itself and keeps its exit code.
drive_wait_exit() {
    local timeout=${1:-10}
    local deadline=$((SECONDS + timeout))
    while kill -0 "$DRIVE_PID" 2>/dev/null; do
        ((SECONDS < deadline)) || fail "the program did not end within ${timeout}s"
        sleep 0.1
    done
    DRIVE_EXIT=0
    wait "$DRIVE_PID" || DRIVE_EXIT=$?
    DRIVE_PID=""
}

# Ends a program that is still running, for clean-up after a failure.
drive_stop() {
    if [ -n "$DRIVE_PID" ] && kill -0 "$DRIVE_PID" 2>/dev/null; then
        kill "$DRIVE_PID" 2>/dev/null || true
        wait "$DRIVE_PID" 2>/dev/null || true
    fi
    DRIVE_PID=""
}

# Every window on screen but the root window, which a bare X server lists.
visible_windows() {
    local root
    root=$(xdotool search --maxdepth 0 --name '' 2>/dev/null)
    xdotool search --onlyvisible --name '' 2>/dev/null | grep -vx "$root" || true
}

# The id of the visible window whose title matches the pattern (and, when a
# minimum width is given, that is at least that wide).
find_window() {
    local pattern=$1 min_width=${2:-0} id width
    for id in $(xdotool search --onlyvisible --name "$pattern" 2>/dev/null); do
        width=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | sed -n 's/^WIDTH=//p')
        if [ -n "$width" ] && ((width >= min_width)); then
            echo "$id"
            return 0
        fi
    done
    return 1
}

wait_window() {
    local pattern=$1 timeout=${2:-15} min_width=${3:-0} id
    local deadline=$((SECONDS + timeout))
    until id=$(find_window "$pattern" "$min_width"); do
        kill -0 "$DRIVE_PID" 2>/dev/null || fail "the program ended while waiting for \"$pattern\""
        ((SECONDS < deadline)) || fail "no window \"$pattern\" within ${timeout}s"
        sleep 0.1
    done
    echo "$id"
}

# The main window: the wide one titled with the application title.
wait_main_window() {
    wait_window "^${1:-Vardenix}\$" "${2:-20}" 1000
}

# Waits for a visible window other than the ones given: a dialog whose title
# the program does not set (the file dialogs).
wait_new_window() {
    local timeout=$1 id
    shift
    local deadline=$((SECONDS + timeout))
    while :; do
        for id in $(visible_windows); do
            [[ " $* " == *" $id "* ]] || {
                echo "$id"
                return 0
            }
        done
        ((SECONDS < deadline)) || fail "no new window within ${timeout}s"
        sleep 0.1
    done
}

wait_gone() {
    local id=$1 timeout=${2:-15}
    local deadline=$((SECONDS + timeout))
    while xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$id"; do
        ((SECONDS < deadline)) || fail "window \"$(xdotool getwindowname "$id")\" still open after ${timeout}s"
        sleep 0.1
    done
}

# Fails when any window but the given ones is on screen: an error report
# or a message that the step did not expect.
only_windows() {
    local id
    sleep 0.3
    for id in $(visible_windows); do
        [[ " $* " == *" $id "* ]] && continue
        if [ -n "$DRIVE_ARTIFACTS" ]; then
            mkdir -p "$DRIVE_ARTIFACTS"
            import -window "$id" "$DRIVE_ARTIFACTS/unexpected.png" 2>/dev/null &&
                echo "e2e:   the window: $DRIVE_ARTIFACTS/unexpected.png" >&2
        fi
        fail "unexpected window \"$(xdotool getwindowname "$id")\""
    done
}

focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || fail "cannot focus window $1"
    sleep 0.1
}

keys() {
    xdotool key --delay 80 "$@"
    sleep 0.1
}

# Any text, Chinese included. A character that the keyboard map lacks gets
# a key of its own first, for the rest of the run: xdotool would map it to a
# scratch key only for the moment of its press, and a program busy at that
# moment (a row posted to a server, a loaded machine) would read the press
# after the map has changed again and take another character or none.
type_text() {
    bind_characters "$1"
    xdotool type --delay 60 -- "$1"
    sleep 0.1
}

# Binds the characters of the text that no key has to keys that hold only
# multimedia symbols or nothing.
bind_characters() {
    local text=$1 keymap c symbol i
    local missing=() codes=() bindings=()
    keymap=$(xmodmap -pke)
    for ((i = 0; i < ${#text}; i++)); do
        c=${text:i:1}
        [[ $c == [\ -~] ]] && continue
        printf -v symbol 'U%04X' "'$c"
        [[ " ${missing[*]} " == *" $symbol "* ]] && continue
        grep -q " $symbol\( \|\$\)" <<<"$keymap" || missing+=("$symbol")
    done
    ((${#missing[@]})) || return 0
    mapfile -t codes < <(
        awk '$4 ~ /^XF86/ {print $2}' <<<"$keymap"
        awk '$4 == "" {print $2}' <<<"$keymap"
    )
    ((${#codes[@]} >= ${#missing[@]})) || fail "no free keys left for typing \"$text\""
    for i in "${!missing[@]}"; do
        bindings+=(-e "keycode ${codes[i]} = ${missing[i]} ${missing[i]}")
    done
    xmodmap "${bindings[@]}" || fail "xmodmap could not bind keys for \"$text\""
}

# Clicks at a named place of the main window (table AT) or at x y.
click() {
    local window=$1 x y button=1 count=1
    shift
    if [ -n "${AT[$1]:-}" ]; then
        read -r x y <<<"${AT[$1]}"
        shift
    else
        x=$1 y=$2
        shift 2
    fi
    [ $# -gt 0 ] && button=$1
    [ $# -gt 1 ] && count=$2
    if ((x < 0)); then
        local width
        width=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^WIDTH=//p')
        x=$((width + x))
    fi
    xdotool mousemove --window "$window" "$x" "$y" click --repeat "$count" --delay 80 "$button"
    sleep 0.3
}

# The title of grid column n (from 1), given the grid widths of the columns.
click_grid_title() {
    local window=$1 n=$2 x=$GRID_LEFT i
    shift 2
    local widths=("$@")
    for ((i = 0; i < n - 1; i++)); do
        x=$((x + widths[i]))
    done
    click "$window" $((x + widths[n - 1] / 2)) "$GRID_TITLE_Y"
}

# Waits for the message box "提示", takes its picture when asked, and closes
# it with its default button.
dismiss_message() {
    local picture=${1:-} id
    id=$(wait_window '^提示$' 15)
    [ -n "$picture" ] && shoot "$id" "$picture"
    focus "$id"
    keys Return
    wait_gone "$id"
}

# Picks a drop-down item by its place in the list (0 = first): the click
# opens the list, Esc closes it and the keys choose without the mouse.
choose_item() {
    local window=$1 place=$2 index=$3
    click "$window" "$place"
    keys Escape Home
    local i
    for ((i = 0; i < index; i++)); do
        keys Down
    done
}

# Answers a file dialog (Qt's own under a bare X server) with a full path in
# its file-name box. The completer may take the first Enter.
answer_file_dialog() {
    local id=$1 path=$2 _
    focus "$id"
    keys ctrl+a
    type_text "$path"
    keys Return
    for _ in 1 2 3; do
        xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$id" || return 0
        sleep 1
        xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$id" || return 0
        focus "$id"
        keys Return
    done
    wait_gone "$id" 5
}

# The main window's menus by their mnemonics: menu letter, then item letter.
menu() {
    local window=$1
    focus "$window"
    keys "alt+$2"
    sleep 0.3
    keys "$3"
}

shoot() {
    local id=$1 file=$2
    mkdir -p "$(dirname "$file")"
    sleep 0.3
    import -window "$id" "$file" || fail "cannot take a picture of window $id"
}

# Waits until the command succeeds (it is retried): for effects that the
# program writes after the keys that cause them.
eventually() {
    local timeout=$1
    shift
    local deadline=$((SECONDS + timeout))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# ScrambleText of a printable ASCII text, as the settings file stores it.
scramble() {
    local text=$1 out="" i b
    for ((i = 0; i < ${#text}; i++)); do
        printf -v b '%d' "'${text:i:1}"
        if ((i % 2 == 0)); then
            ((b > 123 ? (b -= 103) : (b += 3)))
        else
            ((b > 124 ? (b -= 104) : (b += 2)))
        fi
        out+=$(printf "\\$(printf '%03o' "$b")")
    done
    printf '%s' "$out"
}

# The three lines of the table designer for a design of three columns: a
# text column of length 20, an integer and a real column, both attachment
# groups kept. The focus starts in the column count.
design_three_columns() {
    local designer=$1 name=$2 count=$3 price=$4
    focus "$designer"
    keys ctrl+a
    type_text 3
    keys Tab ctrl+a
    type_text "$name"
    keys Tab Tab ctrl+a
    type_text 20
    keys Tab ctrl+a
    type_text "$count"
    keys Tab Down Tab Tab ctrl+a
    type_text "$price"
    keys Tab Down Down Tab
}

# Signs in on the sign-in page: the name box is left as it is when no name
# is given; the focus starts in the password box.
sign_in() {
    local dialog=$1 password=$2 name=${3:-}
    focus "$dialog"
    if [ -n "$name" ]; then
        keys shift+Tab ctrl+a
        type_text "$name"
        keys Return
    fi
    keys ctrl+a
    [ -z "$password" ] || type_text "$password"
    keys Return Return
}

# Appends a record with Ins and types its values, one cell after another.
type_record() {
    local window=$1 value first=1
    shift
    focus "$window"
    keys Insert Home
    for value in "$@"; do
        ((first)) || keys Tab
        first=0
        type_text "$value"
    done
}

# Moves the pointer over the status bar, where it lights up no button.
park_pointer() {
    xdotool mousemove --window "$1" 1000 868
    sleep 0.2
}
