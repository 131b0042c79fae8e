#!/usr/bin/env bash
# The end-to-end scenario of the Windows program: LAPMARK.exe under wine on Xvfb, driven
# with xdotool.
#   run_e2e_windows.sh <Windows build folder> <upgrade server port> <signing key>
# Pictures of the windows go to <build folder>/e2e/.
set -uo pipefail
build="$(cd "$1" && pwd)" port="$2" signing_key="$3"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$(dirname "${BASH_SOURCE[0]}")/gestures.sh"
trap 'wineserver -k 2>/dev/null; kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

launch() { (cd "$1" && exec wine LAPMARK.exe) & program=$! && pids+=("$program"); }
first_program=LAPMARK.exe
restart() { wineserver -k && sleep 1; } # a hung program is gone
serve "$port"

scenario="time a race under wine"
usb="$work/usb" && mkdir -p "$usb"
app="$(folder meet "Z:${usb//\//\\}\\")" # the folder as wine shows it
start "$app" && {
    shot main-window "$main_id"
    timer && shot timer-window "$timer_id"
    started="$(date +%s.%N)"
    press start && sleep 11 && focus "$timer_id" && for _ in 1 2 3 4; do keys space; done
    # The program is held for two seconds (as by a slow save) while the fifth finisher
    # crosses: the time is that of the press, not of the moment the program sees it.
    kill -STOP "$program" && pressed="$(date +%s.%N)" && keys space && sleep 2 && kill -CONT "$program"
    sleep 1 && pack
    # The drive is pulled in mid-race, partial results saved, and the next pack timed
    # without looking up: no box may take a press.
    rm -rf "$usb" && press current && keys space && sleep 0.1 && keys space && sleep 0.1 && keys space
    press stop && answer Reminder Return secondary-not-saved && shot timer-stopped "$timer_id"
    mkdir -p "$usb" && press save && answer Reminder Return saved-as
    file="$(times "$app")"
    check "times file $(basename "$file"), CR LF, the last three after the drive was pulled" times_ok "$file" 11
    pressed_at "fifth time" "$(sed -n 5p "$file")" "$started" "$pressed"
    pack_ok "$file" 6
    check "secondary copy byte for byte" cmp -s "$file" "$(times "$usb")"
    quit
}

scenario="upgrade under wine"
# Signed for Windows with a throw-away code-signing certificate, as the maker signs with theirs.
cert="$work/cert" && mkdir -p "$cert"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$cert/key.pem" -out "$cert/cert.pem" -days 2 \
    -subj "/CN=Lapmark test" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -out "$cert/cert.pfx" -passout pass:
release 1.13 --windows --authenticode "$cert/cert.pfx"
refused_release "a release that cannot be time-stamped" 1.13 "${signing_key%.key}.pub" "$signing_key" \
    --server "http://127.0.0.1:$port" --windows --authenticode "$cert/cert.pfx" --timestamp http://127.0.0.1:9
signed() { osslsigncode verify -CAfile "$cert/cert.pem" -in "$1" >/dev/null 2>&1; }
unzip -q -d "$cert/zip" "$work/releases/1.13/Lapmark-1.13-windows-x64.zip"
unzip -q -d "$cert/package" "$work/releases/1.13/korvel/pdtimerupgrade/pdtimerupgrade.zip"
for program in zip/LAPMARK.exe zip/upgradetimer.exe package/LAPMARK.exe package/upgradetimer.exe; do
    check "$program signed for Windows" signed "$cert/$program"
done
app="$(folder upgrade)"
launch "$app" && answer 'Upgrade\?' y && answer 'Apply Upgrade' Return && {
    comes_back 1.13 && leave
    cp "$app/upgradetimer.log" "$out/" && check "the updater's log" grep -q "complete" "$out/upgradetimer.log"
}

# A signed 1.14 that never shows a window proves itself, and is cut off: the power goes
# (everything of wine), or only the updater is killed and the 1.14 hangs on.
power_cut() { if [ "$takes" = all ]; then wineserver -k; else pkill -KILL -f "$updater_at"; fi; }
wine_cut() { # what the 1.14 does, its main(), what the cut takes (all|updater)
    printf '#include <windows.h>\nint main(void) { %s }\n' "$2" >"$work/$1.c"
    x86_64-w64-mingw32-gcc-posix -O2 -o "$work/$1.exe" "$work/$1.c"
    package "$work/$1" 1.14 "$work/$1.exe"
    takes="$3" cut_upgrade "under wine: a 1.14 that $1, $3 killed" 1.14 "$work/$1" "is ready as" 1 'LAPMARK-1\.14\.exe'
}
wine_cut exits 'Sleep(2000); return 3;' all
wine_cut hangs 'Sleep(INFINITE); return 0;' updater

echo && echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$checks" -eq 24 ]
