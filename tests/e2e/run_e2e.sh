#!/usr/bin/env bash
# End-to-end scenarios of the installed program under Xvfb, driven with xdotool.
#   run_e2e.sh <build folder> <upgrade server port> <signing key>
# Pictures of the windows go to <build folder>/e2e/.
set -uo pipefail
build="$1" port="$2" signing_key="$3"
out="$build/e2e" work="$(mktemp -d)" today="$(date +%-m-%-d-%Y)"
rm -rf "$out" && mkdir -p "$out"
cmake --install "$build" --prefix "$work/install" >/dev/null || exit 1
export LANG=C.UTF-8 LC_ALL=C.UTF-8 DISPLAY=":$((100 + RANDOM % 400))"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids=($!)
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
# A window manager, as on the volunteers' machines: it gives the focus back to the main
# window when a modal window closes.
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!) && sleep 1
failures=0 checks=0 scenario=""
check() { # what, command...
    local what="$1" && shift && checks=$((checks + 1))
    if "$@"; then echo "ok   [$scenario]: $what"; else echo "FAIL [$scenario]: $what"; failures=$((failures + 1)); fi
}

# ---------------------------------------------------------------- gestures
wait_window() { # title pattern; prints the id of the visible window
    for _ in $(seq 150); do
        xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 | grep . && return 0
        sleep 0.1
    done
    return 1
}
focus() { timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus "$1"; sleep 0.2; }
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
typed() { xdotool type --delay 60 "$1"; sleep 0.3; }
click() { # window, x, y inside it
    eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "x=" $4} /Absolute upper-left Y/ {print "y=" $4}')"
    xdotool mousemove $((x + $2)) $((y + $3)) click 1 && sleep 0.4
}
shot() { xwd -id "$2" -silent | convert xwd:- "$out/$1.png" 2>/dev/null; }
answer() { # title, key, [picture]: answers the message box with that title
    local id
    id="$(wait_window "^$1\$")" || { check "a \"$1\" message" false; return 1; }
    focus "$id"
    # Under Xvfb and openbox a box mapped while its parent handles input can stay undrawn
    # until it is exposed again: nudged, it is drawn for the picture.
    [ -n "${3:-}" ] && xdotool windowmove "$id" 40 40 && sleep 1 && shot "$3" "$id"
    keys "$2"
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "^$1\$" | grep -qx "$id" || return 0
        sleep 0.1
    done
    check "\"$1\" message closed" false
}
folder() { # name, [first line of the settings file]
    mkdir -p "$work/$1" && cp "$work/install/lapmark" "$work/$1/"
    [ $# -gt 1 ] && printf '%s\r\n' "$2" >"$work/$1/Lapmark.lm"
    echo "$work/$1"
}
offer() { # version text, [package folder]: what the upgrade server on the port offers
    local at="$work/site/korvel/pdtimerupgrade"
    rm -rf "$at" && mkdir -p "$at" && printf "$1" >"$at/pdtimerversion.txt"
    [ -z "${2:-}" ] || cp "$2"/* "$at/"
}
launch() { (cd "$1" && exec ./lapmark) & program=$! && pids+=("$program"); }
start() {
    launch "$1" && main_id="$(wait_window '^Lapmark from Korvel')" || { check "main window" false; return 1; }
    focus "$main_id"
}
ended() { for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
quit() { focus "$main_id" && keys Escape && check "program ends on Escape" ended; }
crash() { kill -KILL "$program" && wait "$program" 2>/dev/null; }
event() { # event 7 "Girls 5K" on the main window; the focus stays on the name
    focus "$main_id" && click "$main_id" 150 106 && keys End shift+Home && typed 7
    keys Tab End shift+Home && typed "Girls 5K"
}
timer() { # [key answering the question to restore a crashed race]
    event && keys Tab Tab space # "Time a Race"
    answer Reminder Return reminder-time-a-race
    [ -n "${1:-}" ] && answer 'Restore\?' "$1" restore-question
    answer Reminder Return reminder-timer-load
    timer_id="$(wait_window '^(Time Capture|Capture Times for EVENT # 7)$')" || { check "capture window" false; return 1; }
    focus "$timer_id"
}
declare -A button=([start]="104 40" [stop]="396 40" [current]="96 364" [save]="432 392")
press() { click "$timer_id" ${button[$1]}; } # a button of the capture window
race() { press start && sleep 11 && focus "$timer_id" && for _ in $(seq "$1"); do keys space; done; }
times() { echo "$1/ $today Girls 5K TIMES EV  7${2:-}.LMT"; }
times_ok() { # file, count: time texts with CR LF, in increasing order
    [ -f "$1" ] && awk -v n="$2" '
        !/\r$/ { bad = 1 } { sub(/\r$/, "") }
        !/^(([0-9]+:)?[0-9]?[0-9]:[0-9][0-9]|[0-9]?[0-9]?)\.[0-9][0-9]$/ { bad = 1 }
        { k = split($0, p, ":"); s = 0; for (i = 1; i <= k; i++) s = s * 60 + p[i]; if (s < prev) bad = 1; prev = s }
        END { exit bad || NR != n }' "$1"
}
bytes() { [ "$(od -An -tx1 "$1" 2>/dev/null)" = "$(printf "$2" | od -An -tx1)" ]; }
seconds() { tr -d '\r' | awk -F: '{s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s}'; }

# ================================================================ scenarios
offer "1.12"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
pids+=($!) && sleep 1

scenario="secondary path"
app="$(folder secondary)" usb="$work/usb"
mkdir -p "$usb"
start "$app" && {
    keys Tab Tab space # "Set Secondary Path for Data"
    path_id="$(wait_window '^Set Path$')" && focus "$path_id" && shot path-window "$path_id"
    keys Tab space && answer Reminder Return # "Set SECONDARY Path"
    chooser="$(wait_window '^Save')" && focus "$chooser" && shot file-chooser "$chooser"
    keys ctrl+a && typed "$usb/temp.txt" && keys Return
    focus "$path_id" && keys alt+x
    check "settings file" bytes "$app/lapmark.lm" "$usb/\\r\\n"
    check "no temp.txt" test ! -e "$usb/temp.txt"
    timer && shot timer-window "$timer_id" && race 2 && shot timer-running "$timer_id"
    press stop && press current
    check "copied to the secondary path" cmp -s "$(times "$app")" "$(times "$usb")"
    rm -rf "$usb"
    press current && answer Reminder Return secondary-not-saved
    press save && answer Reminder Return && answer Reminder Return # not copied; saved
    check "saved when the drive is gone" times_ok "$(times "$app")" 2
    quit
}

scenario="crash and restore"
app="$(folder crash "no path set")"
start "$app" && timer && {
    started="$(date +%s.%N)"
    press start && sleep 2 && shot start-display "$timer_id"
    # The green note must be whole: green at its corners, text in its first line.
    note="$(convert "$out/start-display.png" -format '%[hex:p{337,74}] %[hex:p{481,74}] ' info:
        convert "$out/start-display.png" -crop 140x12+340+75 -threshold 50% -format '%[fx:int(100*mean)]' info:)"
    check "note whole during the start display ($note)" eval '[[ "$note" =~ ^C0FFC0\ C0FFC0\ ([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -lt 97 ]'
    sleep 9 && focus "$timer_id" && for _ in 1 2 3 4 5; do keys space; done
    crash
}
start "$app" && timer Return && { # Yes: the clock runs on from its old start
    shot restored "$timer_id"
    pressed="$(date +%s.%N)"
    keys space && press current
    check "6 times" times_ok "$(times "$app")" 6
    sixth="$(tail -1 "$(times "$app")" | seconds)"
    since="$(awk -v a="$started" -v b="$pressed" 'BEGIN {printf "%.2f", b - a}')"
    check "sixth time $sixth s, pressed $since s after the start" \
        awk -v t="$sixth" -v e="$since" 'BEGIN {exit !(t - e < 1 && e - t < 1)}'
    crash
}
start "$app" && timer n && { # No: the times file as saved, the clock stopped
    keys space && answer Reminder Return not-running-after-no
    check "journal set aside" test -s "$app/recovery/ $today Girls 5K TIMES EV  7.LMT.journal.1"
    press save && answer Reminder Return
    check "6 times saved" times_ok "$(times "$app")" 6
    quit
}

scenario="upgrade offered"
package() { # folder, signing key: a package whose updater leaves a mark
    mkdir -p "$1" && printf '#!/bin/sh\necho started >updater-ran\n' >"$1/upgradetimer.exe"
    echo "new program" >"$1/LAPMARK.exe"
    (cd "$1" && zip -q pdtimerupgrade.zip upgradetimer.exe LAPMARK.exe && rm upgradetimer.exe LAPMARK.exe)
    minisign -S -s "$2" -m "$1/pdtimerupgrade.zip" -t "version:1.13" >/dev/null
}
mkdir -p "$work/stranger" && minisign -G -W -p "$work/stranger/k.pub" -s "$work/stranger/k.key" >/dev/null
package "$work/signed-package" "$signing_key" && package "$work/forged-package" "$work/stranger/k.key"
offered() { launch "$1" && answer 'Upgrade\?' "$2" upgrade-question; }
offer "1.13\\n" "$work/signed-package"
app="$(folder upgrade)"
offered "$app" y && answer 'Apply Upgrade' Return apply-upgrade && {
    check "signed package: the program ends" ended
    sleep 1 && check "the updater ran" test -f "$app/updater-ran"
}
offer "1.13\\n" "$work/forged-package"
app="$(folder forged)"
offered "$app" y && answer 'Failed!' Return package-not-verified && {
    main_id="$(wait_window '^Lapmark from Korvel')" && check "forged package: the program runs on" true
    left="$(ls -A "$app/upgrade") $(ls -A "$app" | grep -v '^lapmark$\|^upgrade$')"
    check "nothing unpacked or started: [$left]" test "$left" = " "
    quit
}

echo && echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$checks" -ge 16 ]
