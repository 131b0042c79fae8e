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
launch_named() { (cd "$1" && exec wine "$2") & program=$! && pids+=("$program"); }
first_program=LAPMARK.exe
restart() { wineserver -k && sleep 1; } # a hung program is gone
serve "$port"

scenario="time a race under wine"
app="$work/meet" usb="$work/usb"
mkdir -p "$app" "$usb" && cp "$work/install/LAPMARK.exe" "$app/"
printf 'Z:%s\\\r\n' "${usb//\//\\}" >"$app/Lapmark.lm" # the folder as wine shows it
start "$app" && {
    shot main-window "$main_id"
    timer && shot timer-window "$timer_id"
    started="$(date +%s.%N)"
    race 4
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
cp "$cert/zip/LAPMARK.exe" "$cert/altered.exe"
printf 'altered' | dd of="$cert/altered.exe" bs=1 seek=40000 conv=notrunc 2>/dev/null
check "a program altered after signing refused" eval '! signed "$cert/altered.exe"'
app="$work/upgrade" && mkdir -p "$app" && cp "$work/install/LAPMARK.exe" "$app/"
launch "$app" && answer 'Upgrade\?' y && answer 'Apply Upgrade' Return && {
    comes_back 1.13 && leave
    cp "$app/upgradetimer.log" "$out/" && check "the updater's log" grep -q "complete" "$out/upgradetimer.log"
}

# A signed 1.14 that never shows a window proves itself, and is cut off: the power goes
# (everything of wine), or only the updater is killed and the 1.14 hangs on.
wine_cut() { # folder, what the 1.14's main() does, what is killed (all|updater)
    scenario="a cut under wine: a 1.14 that $1, $3 killed"
    printf '#include <windows.h>\nint main(void) { %s }\n' "$2" >"$work/$1.c"
    x86_64-w64-mingw32-gcc-posix -O2 -o "$work/$1.exe" "$work/$1.c"
    package "$work/$1-package" 1.14 "$work/$1.exe" && offer 1.14 "$work/$1-package"
    app="$work/$1" && mkdir -p "$app" && cp "$work/install/LAPMARK.exe" "$app/"
    printf '12.36\r\n1:05.44\r\n' >"$(times "$app")" && before="$(meet)"
    launch "$app" && answer 'Upgrade\?' y && answer 'Apply Upgrade' Return || return
    for _ in $(seq 300); do grep -qs "is ready as" "$app/upgradetimer.log" && break; sleep 0.05; done
    sleep 1
    if [ "$3" = all ]; then wineserver -k; else pkill -KILL -f 'upgradetimer\.exe'; fi
    sleep 1
    cp "$app/upgradetimer.log" "$out/cut-$1-upgradetimer.log"
    check "the cut came inside the proving window" test -f "$app/upgradetimer.proving" -a -f "$app/LAPMARK-1.14.exe"
    after_cut 1.14
    cp "$app/upgradetimer.log" "$out/cut-$1-repaired-upgradetimer.log"
}
wine_cut exits 'Sleep(2000); return 3;' all
wine_cut hangs 'Sleep(INFINITE); return 0;' updater

echo && echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] && [ "$checks" -eq 27 ]
