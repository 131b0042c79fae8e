#!/usr/bin/env bash
# End-to-end scenarios of the installed program under Xvfb, driven with xdotool.
#   run_e2e.sh <build folder> <upgrade server port> <signing key>
# Pictures of the windows go to <build folder>/e2e/.
set -uo pipefail
build="$1" port="$2" signing_key="$3"
out="$build/e2e" work="$(mktemp -d)"
rm -rf "$out" && mkdir -p "$out"
cmake --install "$build" --prefix "$work/install" >/dev/null || exit 1
today="$(date +%-m-%-d-%Y)"
source "$(dirname "${BASH_SOURCE[0]}")/gestures.sh"

folder() { # name, [first line of the settings file]
    mkdir -p "$work/$1" && cp "$work/install/lapmark" "$work/$1/"
    [ $# -gt 1 ] && printf '%s\r\n' "$2" >"$work/$1/Lapmark.lm"
    echo "$work/$1"
}
launch() { (cd "$1" && exec ./lapmark) & program=$! && pids+=("$program"); }

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
