# The display and the gestures of the end-to-end scenarios, shared by the scenarios of
# both systems.  The caller sets $out (pictures) and $work, and defines launch <folder>,
# which starts the program there and sets $program to its process id.
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


offer() { # version text, [package folder]: what the upgrade server on the port offers
    local at="$work/site/korvel/pdtimerupgrade"
    rm -rf "$at" && mkdir -p "$at" && printf "$1" >"$at/pdtimerversion.txt"
    [ -z "${2:-}" ] || cp "$2"/* "$at/"
}
