#!/usr/bin/env bash
# End-to-end scenarios of the installed program under Xvfb, driven with xdotool.
#   run_e2e.sh <build folder> <upgrade server port> <signing key>
# Pictures of the windows go to <build folder>/e2e/.
set -uo pipefail
build="$1" port="$2" signing_key="$3"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$(dirname "${BASH_SOURCE[0]}")/gestures.sh"

folder() { # name, [first line of the settings file]
    mkdir -p "$work/$1" && cp "$work/install/lapmark" "$work/$1/"
    [ $# -gt 1 ] && printf '%s\r\n' "$2" >"$work/$1/Lapmark.lm"
    echo "$work/$1"
}
launch() { # folder; with $boot_id set, started on another boot (the laptop restarted)
    (cd "$1" && exec ${boot_id:+unshare -m sh -c 'mount --bind "$0" /proc/sys/kernel/random/boot_id && exec "$@"' "$boot_id"} ./lapmark) &
    program=$! && pids+=("$program")
}
launch_named() { (cd "$1" && exec "./$2") & program=$! && pids+=("$program"); }
first_program=lapmark

# ================================================================ scenarios
serve "$port"

scenario="time a race"
app="$(folder race)" usb="$work/usb"
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
    timer && shot timer-window "$timer_id" && play '
        press start; sleep 11; focus "$timer_id"
        keys space; press capture; keys space; press capture; shot timer-running "$timer_id"; pack
        press stop; time_row 2; press delete
        press current; press save; answer Reminder Return'
    check "7 captures, one deleted: 6 times" times_ok "$(times "$app")" 6
    pack_ok "$(times "$app")" 4
    check "the older version kept" cmp -s "$(times "$app")" "$(times "$app" A)"
    check "the secondary copy byte for byte" cmp -s "$(times "$app")" "$(times "$usb")"
    # The drive is carried to the Main Computer in mid-race; partial results are saved in a
    # lull, and the next pack is timed without looking up: no box may take a press.
    timer && play '
        press clear; answer Confirm y
        press start; sleep 11; focus "$timer_id"; rm -rf "$usb"
        press current; keys space; sleep 0.1; keys space; sleep 0.1; keys space
        shot secondary-pulled "$timer_id"
        press stop; answer Reminder Return secondary-not-saved
        press save; answer Reminder Return; answer Reminder Return' # not copied; saved
    check "the drive pulled in mid-race: three presses, three times" times_ok "$(times "$app")" 3
    quit
}

scenario="enter bibs"
mkdir -p "$usb" && app="$(folder bibs "$usb/")"
start "$app" && bibs && play '
    enter 101; enter 102; enter 101 n; enter 103; enter 102 y
    at_place 2; enter 104
    place_row 1; press insert; answer "Insert\\?" y
    place_row 3; press remove; answer "Remove\\?" y
    press exit; answer Reminder Return missing-bibs; answer Reminder Return' && {
    bibs_file="$app/ $today Girls 5K BIBS EV  7.LMB"
    check "the bibs file, a gap filled [$(tr "\r\n" " |" <"$bibs_file")]" bytes "$bibs_file" "99999\r\n101\r\n103\r\n102\r\n"
    check "the older version kept" test -s "${bibs_file%.LMB}A.LMB"
    check "the secondary copy byte for byte" cmp -s "$bibs_file" "$usb/$(basename "$bibs_file")"
    quit
}

scenario="crash and restore"
app="$(folder crash "no path set")"
start "$app" && timer && {
    started="$(date +%s.%N)"
    press start && sleep 2 && shot start-display "$timer_id"
    note="$(convert "$out/start-display.png" -format '%[hex:p{337,74}] %[hex:p{481,74}] ' info:
        convert "$out/start-display.png" -crop 140x12+340+75 -threshold 50% -format '%[fx:int(100*mean)]' info:)"
    check "the green note whole (corners, text) during the start display ($note)" eval '[[ "$note" =~ ^C0FFC0\ C0FFC0\ ([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -lt 97 ]'
    sleep 9 && focus "$timer_id" && for _ in 1 2 3 4 5; do keys space; done
    crash
}
runs_on() { # picture, count: the next press is timed from the race's start, then a crash
    shot "$1" "$timer_id"
    pressed="$(date +%s.%N)"
    keys space && press current
    check "$2 times" times_ok "$(times "$app")" "$2"
    pressed_at "time $2 ($1)" "$(tail -1 "$(times "$app")")" "$started" "$pressed"
    crash
}
start "$app" && timer Return && runs_on restored 6 # Yes: on from its start tick
# The laptop restarts in mid-race: a new boot, where the tick count starts again; the clock
# runs on from the time of day.
cat /proc/sys/kernel/random/uuid >"$work/boot_id"
boot_id="$work/boot_id" start "$app" && timer Return Return && runs_on resumed 7
start "$app" && timer n && { # No: the times file as saved, the clock stopped
    keys space && answer Reminder Return not-running-after-no
    check "journal set aside" test -s "$app/recovery/ $today Girls 5K TIMES EV  7.LMT.journal.1"
    press save && answer Reminder Return
    check "7 times saved" times_ok "$(times "$app")" 7
    quit
}

scenario="upgrade and the way back"
release 1.13
app="$(folder upgrade "no path set")"
mkdir -p "$app/recovery"
printf '12.36\r\n1:05.44\r\n' >"$(times "$app")"
printf '101\r\n99999\r\n' >"$app/ $today Girls 5K BIBS EV  7.LMB"
printf 'a set-aside journal\n' >"$app/recovery/ $today Girls 5K TIMES EV  7.LMT.journal.1"
meet() { (cd "$app" && md5sum Lapmark.lm ./*.LM? recovery/*); }
before="$(meet)"
offered() { launch "$1" && answer 'Upgrade\?' "$2" upgrade-question; }
offered "$app" y && answer 'Apply Upgrade' Return apply-upgrade && {
    check "the program ends for the updater" ended
    comes_back 1.13 && shot upgraded "$main_id" && leave
    check "every meet file as before" test "$(meet)" = "$before"
    start "$app" && check "1.13 not offered again" test -z "$(xdotool search --onlyvisible --name '^Upgrade\?$')"
    quit
}
# A signed 1.14 whose program ends at once with an error: 1.13 comes back and says so once.
bad="$work/bad-package"
mkdir -p "$bad" && printf '#!/bin/sh\necho "cannot start" >&2\nexit 3\n' >"$bad/LAPMARK.exe"
cp "$app/upgradetimer.exe" "$bad/"
(cd "$bad" && zip -q pdtimerupgrade.zip LAPMARK.exe upgradetimer.exe && rm LAPMARK.exe upgradetimer.exe)
minisign -S -s "$signing_key" -m "$bad/pdtimerupgrade.zip" -t "version:1.14" >/dev/null
offer "1.14" "$bad"
offered "$app" y && answer 'Apply Upgrade' Return && {
    answer Reminder Return upgrade-taken-back && comes_back 1.13 && leave
    start "$app" && check "told once, 1.14 not offered again" \
        test -z "$(xdotool search --onlyvisible --name '^(Upgrade\?|Reminder)$')"
    quit
    check "every meet file as before" test "$(meet)" = "$before"
}
cp "$app/upgradetimer.log" "$out/" 2>/dev/null # what the updater did, to read

# A power cut, or a technician, stops the updater dead at one moment of an upgrade from
# 1.12 (with the program it started); the volunteer then starts lapmark, as ever.
package() { # folder, version, the new program's text: a signed package with the real updater
    mkdir -p "$1" && printf "$3" >"$1/LAPMARK.exe" && cp "$work/install/upgradetimer.exe" "$1/"
    (cd "$1" && zip -q pdtimerupgrade.zip LAPMARK.exe upgradetimer.exe && rm LAPMARK.exe upgradetimer.exe)
    minisign -S -s "$signing_key" -m "$1/pdtimerupgrade.zip" -t "version:$2" >/dev/null
}
package "$work/exits" 1.14 '#!/bin/sh\nsleep 1\necho "cannot start" >&2\nexit 3\n'
package "$work/hangs" 1.14 '#!/bin/sh\nwhile :; do sleep 1; done\n'
cut_when() { # folder, line of the updater's log, seconds after it
    local pid="" _
    for _ in $(seq 3000); do
        pid="$(pgrep -f "$1/upgradetimer.exe" | head -1)"
        [ -n "$pid" ] && grep -q "$2" "$1/upgradetimer.log" 2>/dev/null && break
        pid="" && sleep 0.005
    done
    [ -n "$pid" ] || return 1
    kill -STOP "$pid" && sleep "$3"
    # The power goes with everything of the folder, including a program the updater was
    # just starting.
    kill -KILL "$pid" "$program" ${first:-} 2>/dev/null
    for _ in $(seq 100); do pkill -KILL -f "$1/(upgradetimer.exe|lapmark)"; sleep 0.01; done
    return 0
}
cut=0
cut_upgrade() { # what, version offered, package, moment, seconds after it, [hold]
    scenario="a cut $1" cut=$((cut + 1))
    app="$(folder "cut-$cut" "no path set")" && mkdir -p "$app/recovery"
    printf '12.36\r\n1:05.44\r\n' >"$(times "$app")"
    printf '101\r\n99999\r\n' >"$app/ $today Girls 5K BIBS EV  7.LMB"
    before="$(meet)"
    offer "$2" "$3"
    first=""
    if [ -n "${6:-}" ]; then # a copy left open holds the folder: the updater waits for it
        launch "$app" && answer 'Upgrade\?' n && first="$program" || return
        wait_window '^Lapmark from Korvel' >/dev/null || return
    fi
    launch "$app" && answer 'Upgrade\?' y || return
    cut_when "$app" "$4" "$5" & watcher=$!
    answer 'Apply Upgrade' Return
    wait "$watcher" || check "the updater was seen" false
    cp "$app/upgradetimer.log" "$out/cut-$cut-upgradetimer.log"
    # Only a proven program takes the name: the one the operator starts is untouched.
    check "lapmark untouched" cmp -s "$app/lapmark" "$work/install/lapmark"
    # Left unproven, or proven (its window may show before the power goes) but not in place.
    local proving=0
    [ -f "$app/upgradetimer.proving" ] && ! grep -q proven "$app/upgradetimer.proving" && proving=1
    if come_up "$app"; then
        check "1.12 works, $came s after the first try (under 20)" eval \
            'wait_window "VERSION: 1\\.12\$" >/dev/null && awk -v t="$came" "BEGIN {exit !(t < 20)}"'
    else check "a working program" false; fi
    # A version cut off while it proved itself is told once and not offered again; one cut
    # off before it started, or proven but not put in place, is offered again.
    if [ "$proving" = 1 ]; then check "told once of the failed $2 ($reminded)" test "$reminded" = 1
    else check "the upgrade offered again, nothing told ($reminded)" test "$offered_again$reminded" = 10; fi
    leave
    come_up "$app" && check "the next start: nothing to tell" test "$reminded" = 0 && leave
    check "every meet file as before" test "$(meet)" = "$before"
    check "no leftovers [$(leftovers "$app" | tr '\n' ' ')]" test -z "$(leftovers "$app")"
    cp "$app/upgradetimer.log" "$out/cut-$cut-repaired-upgradetimer.log"
}
release13="$work/releases/1.13/korvel/pdtimerupgrade"
cut_upgrade "before anything changed" 1.13 "$release13" "Updater started" 1 hold
cut_upgrade "just after Lapmark ended" 1.13 "$release13" "Lapmark has ended" 0
cut_upgrade "as a good 1.13 starts to prove itself" 1.13 "$release13" "is ready as" 0
cut_upgrade "while a 1.14 that exits proves itself" 1.14 "$work/exits" "is ready as" 0.3
cut_upgrade "while a 1.14 that hangs proves itself" 1.14 "$work/hangs" "is ready as" 2

scenario="the updater missing"
lone="$work/lone" && mkdir -p "$lone" && printf 'x' >"$lone/LAPMARK.exe"
(cd "$lone" && zip -q pdtimerupgrade.zip LAPMARK.exe && rm LAPMARK.exe)
minisign -S -s "$signing_key" -m "$lone/pdtimerupgrade.zip" -t "version:1.13" >/dev/null
offer 1.13 "$lone"
app="$(folder lone "no path set")"
launch "$app" && answer 'Upgrade\?' y && answer 'Apply Upgrade' Return && answer 'Failed!' Return updater-missing && {
    main_id="$(wait_window '^Lapmark from Korvel')" && check "the program goes on after \"Failed!\"" kill -0 "$program"
    check "nothing handed over" test ! -e "$app/upgradetimer.to"
    quit
    launch "$app" && check "the upgrade offered again" answer 'Upgrade\?' n
    main_id="$(wait_window '^Lapmark from Korvel')" && quit
}

echo && echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$checks" -ge 64 ]
