#!/usr/bin/env bash
# End-to-end scenarios of the installed program under Xvfb, driven with xdotool.
#   run_e2e.sh <build folder> <upgrade server port> <signing key>
# Pictures of the windows go to <build folder>/e2e/.
set -uo pipefail
build="$1" port="$2" signing_key="$3"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
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

scenario="upgrade and the way back"
# Release 1.13 as the maker makes it (with the tests' key) on the local server.
LAPMARK_RELEASE_OUT="$work/releases" bash "$top/scripts/release" 1.13 "${signing_key%.key}.pub" \
    "$signing_key" --server "http://127.0.0.1:$port" >"$out/release.log" 2>&1 ||
    check "scripts/release 1.13" false
offer "1.13" "$work/releases/1.13/korvel/pdtimerupgrade"
app="$(folder upgrade "no path set")"
mkdir -p "$app/recovery"
printf '12.36\r\n1:05.44\r\n' >"$(times "$app")"
printf '101\r\n99999\r\n' >"$app/ $today Girls 5K BIBS EV  7.LMB"
printf 'a set-aside journal\n' >"$app/recovery/ $today Girls 5K TIMES EV  7.LMT.journal.1"
meet() { (cd "$app" && md5sum Lapmark.lm ./*.LM? recovery/*); }
before="$(meet)"
offered() { launch "$1" && answer 'Upgrade\?' "$2" upgrade-question; }
comes_back() { # version: the program the updater started shows it in its title
    main_id="$(wait_window "VERSION: ${1//./\\.}\$")" && check "$1 shows its main window" true
}
leave() { focus "$main_id" && keys Escape && sleep 1; }
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
cp "$app/upgradetimer.log" "$out/" 2>/dev/null
check "the updater's log" grep -q "the upgrade is complete" "$out/upgradetimer.log"

scenario="forged upgrade"
package() { # folder, signing key
    mkdir -p "$1" && printf '#!/bin/sh\necho started >updater-ran\n' >"$1/upgradetimer.exe"
    echo "new program" >"$1/LAPMARK.exe"
    (cd "$1" && zip -q pdtimerupgrade.zip upgradetimer.exe LAPMARK.exe && rm upgradetimer.exe LAPMARK.exe)
    minisign -S -s "$2" -m "$1/pdtimerupgrade.zip" -t "version:1.13" >/dev/null
}
mkdir -p "$work/stranger" && minisign -G -W -p "$work/stranger/k.pub" -s "$work/stranger/k.key" >/dev/null
package "$work/forged-package" "$work/stranger/k.key"
offer "1.13\\n" "$work/forged-package"
app="$(folder forged)"
offered "$app" y && answer 'Failed!' Return package-not-verified && {
    main_id="$(wait_window '^Lapmark from Korvel')" && check "forged package: the program runs on" true
    left="$(ls -A "$app/upgrade") $(ls -A "$app" | grep -v '^lapmark$\|^upgrade$\|^lapmark.lock$')"
    check "nothing unpacked or started: [$left]" test "$left" = " "
    quit
}

echo && echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$checks" -ge 22 ]
