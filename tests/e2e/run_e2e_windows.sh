#!/usr/bin/env bash
# The end-to-end scenario of the Windows program: LAPMARK.exe under wine on Xvfb, driven
# with xdotool.
#   run_e2e_windows.sh <Windows build folder> <upgrade server port>
# Pictures of the windows go to <build folder>/e2e/.
set -uo pipefail
build="$(cd "$1" && pwd)" port="$2"
out="$build/e2e" work="$(mktemp -d)"
rm -rf "$out" && mkdir -p "$out"
cmake --install "$build" --prefix "$work/install" --strip >/dev/null || exit 1
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
today="$(date +%-m-%-d-%Y)"
source "$(dirname "${BASH_SOURCE[0]}")/gestures.sh"
trap 'wineserver -k 2>/dev/null; kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

launch() { (cd "$1" && exec wine LAPMARK.exe) & program=$! && pids+=("$program"); }
windows_path() { echo "Z:${1//\//\\}"; } # a folder of this machine as wine shows it

offer "1.12"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
pids+=($!) && sleep 1

scenario="time a race under wine"
app="$work/meet" usb="$work/usb"
mkdir -p "$app" "$usb" && cp "$work/install/LAPMARK.exe" "$app/"
printf '%s\r\n' "$(windows_path "$usb")\\" >"$app/Lapmark.lm"
start "$app" && {
    shot main-window "$main_id"
    timer && shot timer-window "$timer_id"
    started="$(date +%s.%N)"
    race 4
    # The program is held for two seconds (as by a slow save) while the fifth finisher
    # crosses: the time is that of the press, not of the moment the program sees it.
    kill -STOP "$program" && pressed="$(date +%s.%N)" && keys space && sleep 2 && kill -CONT "$program"
    sleep 1 && press stop && shot timer-stopped "$timer_id"
    press save && answer Reminder Return saved-as
    file="$(times "$app")"
    check "times file $(basename "$file")" times_ok "$file" 5
    check "lines end with CR LF" eval '[ "$(grep -c $'"'"'\r$'"'"' "$file")" = 5 ]'
    fifth="$(tail -1 "$file" | seconds)"
    since="$(awk -v a="$started" -v b="$pressed" 'BEGIN {printf "%.2f", b - a}')"
    check "fifth time $fifth s, pressed $since s after the start" \
        awk -v t="$fifth" -v e="$since" 'BEGIN {exit !(t - e < 1 && e - t < 1)}'
    check "secondary copy byte for byte" cmp -s "$file" "$(times "$usb")"
    check "nothing else written beside it: [$(ls -A "$app" | tr '\n' '|')]" \
        test "$(ls -A "$app" | grep -v '^LAPMARK.exe$\|^Lapmark.lm$\|^lapmark.lock$\|^upgrade$\|^recovery$\|TIMES EV  7.LMT$')" = ""
    quit
}

echo && echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$checks" -ge 5 ]
