#!/usr/bin/env bash
# End-to-end scenarios of the installed program under Xvfb, driven with xdotool.
#   run_e2e.sh <build folder> <upgrade server program> <upgrade server port> <signing key>
# Screenshots of every window go to <build folder>/e2e/.
set -uo pipefail
build="$1"
server_bin="$2"
server_port="$3"
signing_key="$4"
out="$build/e2e"
rm -rf "$out"
mkdir -p "$out"
work="$(mktemp -d)"
install="$work/install"
cmake --install "$build" --prefix "$install" >/dev/null || exit 1
export LANG=C.UTF-8 LC_ALL=C.UTF-8
today="$(date +%-m-%-d-%Y)"

# ---------------------------------------------------------------- X session
display=":$((100 + RANDOM % 400))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
# A window manager, as on the volunteers' machines: it gives the focus back to the main
# window when a modal window closes.
openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
sleep 1
pids=($wm_pid)
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
checks=0
scenario=""
fail() { echo "FAIL [$scenario]: $*"; failures=$((failures + 1)); checks=$((checks + 1)); }
pass() { echo "ok   [$scenario]: $*"; checks=$((checks + 1)); }

# ---------------------------------------------------------------- windows and keys
# Waits for a visible window whose title matches the regular expression; prints its id.
wait_window() {
    local id
    for _ in $(seq 150); do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)"
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    return 1
}
wait_gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
focus() { timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus "$1" 2>/dev/null; sleep 0.2; }
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
typed() { xdotool type --delay 60 "$1"; sleep 0.3; }
# Clicks at x, y inside a window (xwininfo gives the true place of a framed window).
click() {
    local x y
    x="$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print $4}')"
    y="$(xwininfo -id "$1" | awk '/Absolute upper-left Y/ {print $4}')"
    xdotool mousemove $((x + $2)) $((y + $3)) click 1
    sleep 0.4
}
# A picture of the screen, or of one window (message boxes come out black in a picture of
# the whole screen under Xvfb, though they are drawn).
shot() {
    if [ -n "${2:-}" ]; then
        xwd -id "$2" -silent | convert xwd:- "$out/$1.png" 2>/dev/null
    else
        xwd -root -silent | convert xwd:- "$out/$1.png" 2>/dev/null
    fi
}
# Answers the message box with this title by pressing a key, and waits until it is gone.
answer() {
    local id
    id="$(wait_window "^$1\$")" || { fail "no \"$1\" message"; return 1; }
    focus "$id"
    if [ -n "${3:-}" ]; then
        # Under Xvfb and openbox a box mapped while its parent handles input can stay
        # undrawn until it is exposed again; nudging it makes the picture show it.
        xdotool windowmove "$id" 40 40 2>/dev/null
        sleep 1
        shot "$3" "$id"
    fi
    keys "$2"
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -qx "$id" || return 0
        sleep 0.1
    done
    fail "\"$1\" message did not close"
}

# ---------------------------------------------------------------- program
program_folder() { # name, [first line of the settings file]
    local dir="$work/$1"
    mkdir -p "$dir"
    cp "$install/lapmark" "$dir/"
    [ $# -gt 1 ] && printf '%s\r\n' "$2" >"$dir/Lapmark.lm"
    echo "$dir"
}
server_pid=""
start_server() { # version text, [folder of the package and its signature]
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    for _ in $(seq 50); do
        "$server_bin" "$server_port" "$@" &
        server_pid=$!
        sleep 0.3
        kill -0 "$server_pid" 2>/dev/null && break # the port may still be held for a moment
    done
    pids+=($server_pid)
}
main_id=""
start_program() { # folder
    (cd "$1" && exec ./lapmark) &
    program_pid=$!
    pids+=($program_pid)
    main_id="$(wait_window '^Lapmark from Korvel')" || { fail "main window not shown"; return 1; }
    focus "$main_id"
}
stop_program() {
    focus "$main_id"
    keys Escape
    for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || return 0; sleep 0.1; done
    fail "program did not end on Escape"
    kill "$program_pid" 2>/dev/null
}
# Event number and name on the main window; the focus ends on the event-name box.
choose_event() {
    focus "$main_id"
    click "$main_id" 150 106     # the event-number box
    keys End shift+Home
    typed "$1"
    keys Tab End shift+Home       # the event-name box; typing replaces the old name
    typed "$2"
}
# The window of the time capture: places of its buttons.
timer_click() {
    case "$2" in
    start) click "$1" 104 40 ;;
    stop) click "$1" 396 40 ;;
    clear) click "$1" 440 324 ;;
    savecurrent) click "$1" 96 364 ;;
    save) click "$1" 432 392 ;;
    esac
}
open_timer() { # [key answering the question to restore a crashed race]
    choose_event 7 "Girls 5K"
    keys Tab Tab space            # the event-name box, then "Time a Race"
    answer Reminder Return "reminder-time-a-race"
    [ -n "${1:-}" ] && answer 'Restore\?' "$1" "restore-question"
    answer Reminder Return "reminder-timer-load"
    timer_id="$(wait_window '^(Time Capture|Capture Times for EVENT # 7)$')" ||
        { fail "time capture window not shown"; return 1; }
    focus "$timer_id"
}
time_race() { # number of finishers
    timer_click "$timer_id" start
    sleep 11                      # the ten-second start display
    focus "$timer_id"
    for _ in $(seq "$1"); do keys space; sleep 0.4; done
    shot "timer-running"
    timer_click "$timer_id" stop
}
save_and_exit_timer() {
    timer_click "$timer_id" save
    answer Reminder Return "times-saved"
    wait_gone '^Capture Times' || fail "time capture window still open"
}
times_file() { echo "$1/ $today Girls 5K TIMES EV  7.LMT"; }
bibs_file() { echo "$1/ $today Girls 5K BIBS EV  7.LMB"; }
# Every line a time text with CR LF, increasing.
check_times() { # file, expected count
    local file="$1" count="$2"
    [ -f "$file" ] || { fail "no file $(basename "$file")"; return; }
    local lines
    lines="$(wc -l <"$file")"
    [ "$lines" = "$count" ] || { fail "$(basename "$file"): $lines lines, expected $count"; return; }
    if [ "$(tr -d '\n' <"$file" | tr -cd '\r' | wc -c)" != "$count" ]; then
        fail "$(basename "$file"): lines not ended by CR LF"; return
    fi
    local prev=-1 t
    while IFS= read -r line; do
        line="${line%$'\r'}"
        if ! [[ "$line" =~ ^(([0-9]+:)?[0-9]{1,2}:[0-9]{2}|[0-9]{0,2})\.[0-9]{2}$ ]]; then
            fail "$(basename "$file"): \"$line\" is not a time text"; return
        fi
        t="$(echo "$line" | awk -F: '{s=0; for (i=1;i<=NF;i++) s=s*60+$i; printf "%d", s*100}')"
        if [ "$t" -lt "$prev" ]; then fail "$(basename "$file"): times not in order"; return; fi
        prev="$t"
    done <"$file"
    pass "$(basename "$file"): $count time texts in order"
}
same_bytes() { # file, expected text (printf format)
    if [ "$(od -An -tx1 "$1" 2>/dev/null)" = "$(printf "$2" | od -An -tx1)" ]; then
        pass "$(basename "$1") holds the expected bytes"
    else
        fail "$(basename "$1"): $(od -c "$1" 2>&1 | head -3)"
    fi
}

# ================================================================ scenarios
start_server "1.12"

scenario="time a race"
app="$(program_folder race "no path set")"
start_program "$app" && {
    shot "main-window"
    open_timer && {
        shot "timer-window"
        time_race 3
        save_and_exit_timer
        check_times "$(times_file "$app")" 3
        open_timer && {
            timer_click "$timer_id" clear
            answer Confirm y
            time_race 2
            save_and_exit_timer
            check_times "$(times_file "$app")" 2
            versioned="$app/ $today Girls 5K TIMES EV  7A.LMT"
            check_times "$versioned" 3
        }
    }
    stop_program
}

scenario="enter bibs"
app="$(program_folder bibs "no path set")"
start_program "$app" && {
    choose_event 7 "Girls 5K"
    keys Tab Tab Tab space        # "Enter BIB Numbers"
    answer Reminder Return "reminder-bibs-load"
    bib_id="$(wait_window "^Enter Bib#'s for EVENT # 7\$")" || fail "bib window not shown"
    focus "$bib_id"
    shot "bib-window"
    for b in 101 57; do typed "$b"; keys Return; done
    typed 101
    keys Return
    answer 'Move\?' y "duplicate-question"
    focus "$bib_id"
    keys shift+Tab                # to the place box
    typed 1
    keys Tab
    typed 42
    keys Return
    same_bytes "$(bibs_file "$app")" '42\r\n57\r\n101\r\n'
    keys alt+s
    answer Reminder Return "bibs-saved"
    wait_gone "^Enter Bib" || fail "bib window still open"
    same_bytes "$(bibs_file "$app")" '42\r\n57\r\n101\r\n'
    same_bytes "$app/ $today Girls 5K BIBS EV  7A.LMB" '42\r\n57\r\n101\r\n'
    stop_program
}

scenario="secondary path"
app="$(program_folder secondary)"
usb="$work/usb"
mkdir -p "$usb"
start_program "$app" && {
    keys Tab Tab                  # to "Set Secondary Path for Data"
    keys space
    path_id="$(wait_window '^Set Path$')" || fail "path window not shown"
    shot "path-window"
    focus "$path_id"
    keys Tab space                # "Set SECONDARY Path"
    answer Reminder Return
    chooser="$(wait_window '^Save')" || fail "no file chooser"
    focus "$chooser"
    shot "file-chooser"
    keys ctrl+a
    typed "$usb/temp.txt"
    keys Return
    wait_gone '^Save' || fail "file chooser still open"
    focus "$path_id"
    keys alt+x
    wait_gone '^Set Path$' || fail "path window still open"
    same_bytes "$app/lapmark.lm" "$usb/\\r\\n"
    [ -e "$usb/temp.txt" ] && fail "temp.txt was created"
    open_timer && {
        time_race 2
        timer_click "$timer_id" savecurrent
        sleep 0.5
        if cmp -s "$(times_file "$app")" "$(times_file "$usb")"; then
            pass "secondary copy made"
        else
            fail "no secondary copy"
        fi
        check_times "$(times_file "$usb")" 2
        rm -rf "$usb"
        timer_click "$timer_id" savecurrent
        answer Reminder Return "secondary-not-saved"
        check_times "$(times_file "$app")" 2
        save_and_exit_timer_with_error() {
            timer_click "$timer_id" save
            answer Reminder Return       # the secondary copy failed
            answer Reminder Return       # the file was saved
        }
        save_and_exit_timer_with_error
        wait_gone '^Capture Times' || fail "time capture window still open"
        check_times "$(times_file "$app")" 2
    }
    stop_program
}

scenario="restart"
app="$work/bibs"                  # the program folder of "enter bibs"
start_program "$app" && {
    choose_event 7 "Girls 5K"
    keys Tab Tab Tab space
    answer Reminder Return
    bib_id="$(wait_window "^Enter Bib#'s for EVENT # 7\$")" || fail "bib window not shown"
    focus "$bib_id"
    keys alt+s                     # leaving at once saves what was loaded
    answer Reminder Return
    same_bytes "$(bibs_file "$app")" '42\r\n57\r\n101\r\n'
    same_bytes "$app/ $today Girls 5K BIBS EV  7B.LMB" '42\r\n57\r\n101\r\n'
    app_race="$work/race"
    stop_program
    start_program "$app_race" && {
        open_timer && {
            title="$(xdotool getwindowname "$timer_id")"
            [ "$title" = "Capture Times for EVENT # 7" ] && pass "times loaded again" ||
                fail "title \"$title\""
            timer_click "$timer_id" save
            answer Reminder Return
            check_times "$(times_file "$app_race")" 2
            check_times "$app_race/ $today Girls 5K TIMES EV  7B.LMT" 2
        }
        stop_program
    }
}

scenario="crash and restore"
app="$(program_folder crash "no path set")"
journal="$app/recovery/ $today Girls 5K TIMES EV  7.LMT.journal"
seconds() { awk -F: '{s=0; for (i=1;i<=NF;i++) s=s*60+$i; printf "%.2f", s}'; }
start_program "$app" && open_timer && {
    started="$(date +%s.%N)"
    timer_click "$timer_id" start
    sleep 2
    # The green note must be whole during the start display: green at its corners, text
    # in its first line.
    shot "start-display" "$timer_id"
    note="$(convert "$out/start-display.png" -format '%[hex:p{337,74}] %[hex:p{481,74}] ' info:
        convert "$out/start-display.png" -crop 140x12+340+75 -threshold 50% -format '%[fx:int(100*mean)]' info:)"
    [[ "$note" =~ ^C0FFC0\ C0FFC0\ ([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -lt 97 ] &&
        pass "note shown whole during the start display" || fail "note during the start display: $note"
    sleep 9
    focus "$timer_id"
    for _ in 1 2 3 4 5; do keys space; done
    kill -KILL "$program_pid"
    wait "$program_pid" 2>/dev/null
}
start_program "$app" && open_timer Return && {
    # Yes: the clock runs on from its old start.
    focus "$timer_id"
    shot "restored"
    pressed="$(date +%s.%N)"
    keys space
    timer_click "$timer_id" savecurrent
    check_times "$(times_file "$app")" 6
    sixth="$(tail -1 "$(times_file "$app")" | tr -d '\r' | seconds)"
    since="$(awk -v a="$started" -v b="$pressed" 'BEGIN {printf "%.2f", b - a}')"
    awk -v t="$sixth" -v e="$since" 'BEGIN {exit !(t - e < 1 && e - t < 1)}' &&
        pass "sixth time $sixth s, pressed $since s after the start" ||
        fail "sixth time $sixth s, but pressed $since s after the start"
    kill -KILL "$program_pid"
    wait "$program_pid" 2>/dev/null
}
start_program "$app" && open_timer n && {
    # No: the times file as saved, the clock stopped, the journal set aside.
    focus "$timer_id"
    keys space
    answer Reminder Return "not-running-after-no"
    [ -s "$journal.1" ] && pass "journal set aside" || fail "no set-aside journal"
    timer_click "$timer_id" save
    answer Reminder Return
    check_times "$(times_file "$app")" 6
    stop_program
}

scenario="upgrade offered"
package_of() { # folder, signing key
    mkdir -p "$1"
    "$server_bin" --make-package "$1"
    minisign -S -s "$2" -m "$1/pdtimerupgrade.zip" -t "version:1.13" >/dev/null ||
        fail "minisign could not sign"
}
stranger="$work/stranger"
mkdir -p "$stranger"
minisign -G -W -p "$stranger/k.pub" -s "$stranger/k.key" >/dev/null
package_of "$work/signed" "$signing_key"
package_of "$work/forged" "$stranger/k.key"
offer_upgrade() { # program folder, key answering the question
    (cd "$1" && exec ./lapmark) &
    program_pid=$!
    pids+=($program_pid)
    wait_window '^Upgrade\?$' >/dev/null || { fail "no upgrade question"; return 1; }
    answer 'Upgrade\?' "$2" "upgrade-question"
}
start_server "1.13\\n" "$work/signed"
app="$(program_folder upgrade)"
offer_upgrade "$app" n && {
    main_id="$(wait_window '^Lapmark from Korvel')" && pass "answered No: the program runs on" ||
        fail "main window not shown after No"
    [ -z "$(ls -A "$app/upgrade" 2>/dev/null)" ] && pass "nothing downloaded" ||
        fail "upgrade folder not empty"
    stop_program
}
offer_upgrade "$app" y && {
    answer 'Apply Upgrade' Return "apply-upgrade"
    for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$program_pid" 2>/dev/null && fail "program still running after the hand-over" ||
        pass "signed package: the program ended"
    for _ in $(seq 30); do [ -f "$app/updater-ran" ] && break; sleep 0.1; done
    [ -f "$app/updater-ran" ] && pass "updater started" || fail "updater not started"
}
start_server "1.13\\n" "$work/forged"
app="$(program_folder forged)"
offer_upgrade "$app" y && {
    answer 'Failed!' Return "package-not-verified"
    main_id="$(wait_window '^Lapmark from Korvel')" && pass "forged package: the program runs on" ||
        fail "main window not shown after a forged package"
    [ -z "$(ls -A "$app/upgrade")" ] && [ ! -e "$app/upgradetimer.exe" ] &&
        [ ! -e "$app/updater-ran" ] && pass "nothing unpacked or started" ||
        fail "forged package left: $(ls "$app" "$app/upgrade")"
    stop_program
}

echo
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
