#!/usr/bin/env bash
# End-to-end scenarios of the installed program under Xvfb, driven with xdotool.
#   run_e2e.sh <build folder> <upgrade server port> <signing key>
# Pictures of the windows go to <build folder>/e2e/.
set -uo pipefail
build="$1" port="$2" signing_key="$3"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$(dirname "${BASH_SOURCE[0]}")/gestures.sh"

launch() { # folder; with $boot_id set, started on another boot (the laptop restarted)
    (cd "$1" && exec ${boot_id:+unshare -m sh -c 'mount --bind "$0" /proc/sys/kernel/random/boot_id && exec "$@"' "$boot_id"} ./lapmark) &
    program=$! && pids+=("$program")
}
first_program=lapmark
restart() { :; } # nothing of the program outlives it

# ================================================================ scenarios
serve "$port"

scenario="time a race, a crash and a restart"
app="$(folder race)" usb="$work/usb" && mkdir -p "$usb"
start "$app" && {
    keys Tab Tab space # "Set Secondary Path for Data"
    path_id="$(wait_window '^Set Path$')" && focus "$path_id" && shot path-window "$path_id"
    keys Tab space && answer Reminder Return # "Set SECONDARY Path"
    chooser="$(wait_window '^Save')" && focus "$chooser" && shot file-chooser "$chooser"
    keys ctrl+a && typed "$usb/temp.txt" && keys Return
    focus "$path_id" && keys alt+x
    check "settings file" cmp -s "$app/lapmark.lm" <(printf '%s/\r\n' "$usb")
    timer && shot timer-window "$timer_id" && started="$(date +%s.%N)" && press start && sleep 2 &&
        shot start-display "$timer_id"
    note="$(convert "$out/start-display.png" -format '%[hex:p{337,74}] %[hex:p{481,74}] ' info:
        convert "$out/start-display.png" -crop 140x12+340+75 -threshold 50% -format '%[fx:int(100*mean)]' info:)"
    check "the green note whole (corners, text) during the start display ($note)" eval '[[ "$note" =~ ^C0FFC0\ C0FFC0\ ([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -lt 97 ]'
    sleep 9 && focus "$timer_id" && keys space && press capture && keys space && press capture &&
        shot timer-running "$timer_id" && pack
    crash
}
runs_on() { # picture, count: the next press is timed from the race's start
    shot "$1" "$timer_id"
    pressed="$(date +%s.%N)"
    keys space && press current
    check "$2 times" times_ok "$(times "$app")" "$2"
    pressed_at "time $2 ($1)" "$(tail -1 "$(times "$app")")" "$started" "$pressed"
}
start "$app" && timer Return && runs_on restored 8 && crash # Yes: on from its start tick
# The laptop restarts in mid-race: a new boot, where the tick count starts again; the clock
# runs on from the time of day.
cat /proc/sys/kernel/random/uuid >"$work/boot_id"
boot_id="$work/boot_id" start "$app" && timer Return Return && runs_on resumed 9 && {
    press stop; press save; answer Reminder Return
    pack_ok "$(times "$app")" 5
    check "the secondary copy byte for byte" cmp -s "$(times "$app")" "$(times "$usb")"
    quit
}

scenario="upgrade"
release 1.13
minisign -G -W -p "$work/other.pub" -s "$work/other.key" >/dev/null
refused_release "a secret key that is not the public key's pair" 1.13 "${signing_key%.key}.pub" "$work/other.key"
meet_folder upgrade
launch "$app" && answer 'Upgrade\?' y upgrade-question && answer 'Apply Upgrade' Return apply-upgrade && {
    check "the program ends for the updater" ended
    comes_back 1.13 && shot upgraded "$main_id" && leave
    check "every meet file as before" test "$(meet)" = "$before"
}
cp "$app/upgradetimer.log" "$out/" 2>/dev/null # what the updater did, to read

power_cut() { # folder: everything of it goes, including a program the updater was just starting
    kill -KILL "$program" 2>/dev/null
    for _ in $(seq 100); do pkill -KILL -f "$1/(upgradetimer.exe|lapmark)"; sleep 0.01; done
}
release13="$work/releases/1.13/korvel/pdtimerupgrade"
cut_upgrade "before anything changed" 1.13 "$release13" "Updater started" 1
cut_upgrade "just after Lapmark ended" 1.13 "$release13" "Lapmark has ended" 0
printf '#!/bin/sh\nwhile :; do sleep 1; done\n' >"$work/hangs.sh" && package "$work/hangs" 1.14 "$work/hangs.sh"
cut_upgrade "while a 1.14 that hangs proves itself" 1.14 "$work/hangs" "is ready as" 2 'lapmark-1\.14'

echo && echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$checks" -eq 31 ]
