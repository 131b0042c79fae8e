# The display and gestures of the scenarios of both systems.  The caller sets $build (installed
# from; pictures to its e2e/) and defines launch <folder>, which sets $program.
out="$build/e2e" work="$(mktemp -d)" today="$(date +%-m-%-d-%Y)"
rm -rf "$out" && mkdir -p "$out"
cmake --install "$build" --prefix "$work/install" --strip >/dev/null || exit 1
export LANG=C.UTF-8 LC_ALL=C.UTF-8 DISPLAY=":$((100 + RANDOM % 400))"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids=($!)
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
# A window manager, as on the volunteers' machines, gives the focus back after a modal window.
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!) && sleep 1
failures=0 checks=0 scenario=""
check() { # what, command...
    local what="$1" && shift && checks=$((checks + 1))
    if "$@"; then echo "ok   [$scenario]: $what"; else echo "FAIL [$scenario]: $what"; failures=$((failures + 1)); fi
}

wait_window() { # title pattern; prints the id of the visible window
    for _ in $(seq 150); do xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 | grep . && return 0; sleep 0.1; done
    return 1
}
focus() { timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus "$1"; sleep 0.2; }
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
typed() { xdotool type --delay 60 "$1"; sleep 0.3; }
point() { # window, x, y inside it: the mouse goes there
    eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "x=" $4} /Absolute upper-left Y/ {print "y=" $4}')"
    xdotool mousemove $((x + $2)) $((y + $3))
}
click() { point "$@" && xdotool click 1 && sleep 0.4; } # window, x, y inside it
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
timer() { # [keys answering whether to restore a crashed race, and to run its clock on]
    # Event 7 "Girls 5K" on the main window, then "Time a Race".
    focus "$main_id" && click "$main_id" 150 106 && keys End shift+Home && typed 7
    keys Tab End shift+Home && typed "Girls 5K" && keys Tab Tab space
    answer Reminder Return reminder-time-a-race
    answer Reminder Return reminder-timer-load
    [ -n "${1:-}" ] && answer 'Restore\?' "$1" restore-question
    [ -n "${2:-}" ] && answer 'Resume\?' "$2" resume-question
    timer_id="$(wait_window '^(Time Capture|Capture Times for EVENT # 7)$')" || { check "capture window" false; return 1; }
    focus "$timer_id"
}
# The buttons of the capture window.
declare -A button=([start]="104 40" [stop]="396 40" [current]="96 364" [save]="432 392" [capture]="96 164")
press() { click "$timer_id" ${button[$1]}; }
times() { echo "$1/ $today Girls 5K TIMES EV  7${2:-}.LMT"; }
times_ok() { # file, count: lines of a time text each, ended with CR LF
    [ -f "$1" ] && [ "$(grep -cE $'^(([0-9]+:)?[0-9]?[0-9]:[0-9][0-9]|[0-9]?[0-9]?)\\.[0-9][0-9]\r$' "$1")" = "$2" ] &&
        [ "$(wc -l <"$1")" = "$2" ]
}
pack() { # a double click on the capture button, its presses 0.25 s apart, then the space bar held 1.5 s
    point "$timer_id" ${button[capture]} && clicked="$(date +%s.%N)" &&
        xdotool click --repeat 2 --delay 250 1 && sleep 0.6
    held="$(date +%s.%N)" && xdotool keydown space && sleep 1.5 && xdotool keyup space && sleep 0.5
}
pack_ok() { # times file, line of the pack's first: a time a press, as far apart as the presses (0.07 s)
    local t=($(tail -n +"$2" "$1" | head -n 3 | seconds)) e
    e="$(awk -v a="$clicked" -v b="$held" 'BEGIN {print b - a}')"
    check "a double click 0.25 s and a held bar $e s later: [${t[*]}]" awk -v e="$e" -v n="${#t[@]}" \
        -v t="${t[*]}" 'BEGIN {split(t, s, " "); exit !(n == 3 && (s[2] - s[1] - 0.25) ^ 2 < 0.0049 && (s[3] - s[1] - e) ^ 2 < 0.0049)}'
}
seconds() { tr -d '\r' | awk -F: '{s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s}'; }
offer() { # version text, [package folder]: what the upgrade server on the port offers
    local at="$work/site/korvel/pdtimerupgrade"
    rm -rf "$at" && mkdir -p "$at" && printf "$1" >"$at/pdtimerversion.txt"
    [ -z "${2:-}" ] || cp "$2"/* "$at/"
}
serve() { # port: the upgrade server there, offering this version
    offer "1.12"
    python3 -m http.server "$1" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
    pids+=($!) && sleep 1
}
pressed_at() { # what, time text, wall-clock start, wall-clock press: within a second
    local t e
    t="$(echo "$2" | seconds)" e="$(awk -v a="$3" -v b="$4" 'BEGIN {printf "%.2f", b - a}')"
    check "$1 $t s, pressed $e s after the start" awk -v t="$t" -v e="$e" 'BEGIN {exit !(t - e < 1 && e - t < 1)}'
}
release() { # version, [--windows]: made as the maker makes it (with the tests' key), offered
    LAPMARK_RELEASE_OUT="$work/releases" bash "$top/scripts/release" "$1" "${signing_key%.key}.pub" \
        "$signing_key" --server "http://127.0.0.1:$port" "${@:2}" >"$out/release.log" 2>&1 <&- ||
        check "scripts/release $*" false
    offer "$1" "$work/releases/$1/korvel/pdtimerupgrade"
}
comes_back() { # version: the program the updater started shows it in its title
    local title="VERSION: ${1//./\\.}\$"
    check "$1 shows its main window" eval 'main_id="$(wait_window "$title")"'
}
leave() { focus "$main_id" && keys Escape && sleep 1; }
# The caller names the program ($first_program).
come_up() { # folder: the volunteer starts the program, and tries again once; sets main_id, came
    local began _try id
    began="$(date +%s.%N)" reminded=0 offered_again=0 main_id=""
    for _try in 1 2; do
        launch "$1"
        for _ in $(seq 80); do # eight seconds, as a volunteer would wait
            if id="$(xdotool search --onlyvisible --name '^Lapmark from Korvel' | tail -1)" && [ -n "$id" ]; then
                main_id="$id" came="$(awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN {printf "%.1f", b - a}')"
                return 0
            fi
            xdotool search --onlyvisible --name '^Reminder$' >/dev/null && answer Reminder Return && reminded=$((reminded + 1))
            xdotool search --onlyvisible --name '^Upgrade\?$' >/dev/null && answer 'Upgrade\?' n && offered_again=1
            kill -0 "$program" 2>/dev/null || break
            sleep 0.1
        done
    done
    return 1
}
leftovers() { # folder: what an upgrade or a save may leave and the next start removes
    (cd "$1" && ls -A . | grep -E '^(upgradetimer\.(to|proving|lock)|(lapmark|LAPMARK)-.*|.*\.previous|\.~lm-.*|lapmark\.lock)$'
        ls -A upgrade 2>/dev/null; ls -A recovery 2>/dev/null | grep '^\.~lm-')
}
meet() { # what a meet's files hold, in $app
    (cd "$app" && find . \( -name '*.LM?' -o -name '*.lm' -o -path './recovery/*' \) -print0 | sort -z | xargs -0r md5sum)
}
package() { # folder, version, the new program: a signed package with the real updater
    mkdir -p "$1" && cp "$3" "$1/LAPMARK.exe" && cp "$work/install/upgradetimer.exe" "$1/"
    (cd "$1" && zip -q pdtimerupgrade.zip LAPMARK.exe upgradetimer.exe && rm LAPMARK.exe upgradetimer.exe)
    minisign -S -s "$signing_key" -m "$1/pdtimerupgrade.zip" -t "version:$2" >/dev/null
}
refused_release() { # what, arguments: the maker is told, and no package is made
    local out_dir="$work/refused-$RANDOM" code
    LAPMARK_RELEASE_OUT="$out_dir" bash "$top/scripts/release" "${@:2}" >"$out/release-refused.log" 2>&1 <&-
    code=$?
    check "$1: refused ($code), no package" eval '[ "$code" -ne 0 ] && [ ! -e "$out_dir/$2" ] && grep -q "no release" "$out/release-refused.log"'
}
folder() { # name, [first line of the settings file]: a program folder
    mkdir -p "$work/$1" && cp "$work/install/$first_program" "$work/$1/"
    [ $# -gt 1 ] && printf '%s\r\n' "$2" >"$work/$1/Lapmark.lm"
    echo "$work/$1"
}
meet_folder() { # name: a program folder holding a meet's files; sets app and before
    app="$(folder "$1" "no path set")" && mkdir -p "$app/recovery"
    printf '12.36\r\n1:05.44\r\n' >"$(times "$app")"
    printf '101\r\n99999\r\n' >"$app/ $today Girls 5K BIBS EV  7.LMB"
    printf 'a set-aside journal\n' >"$app/recovery/ $today Girls 5K TIMES EV  7.LMT.journal.1"
    before="$(meet)"
}
# A power cut, or a technician, stops the updater dead at one moment of an upgrade from 1.12
# (with the program it started); the volunteer then starts the program, as ever.  The caller
# defines power_cut <folder> (what goes with the power) and restart (what a restart of the
# laptop ends besides).
cut=0
cut_upgrade() { # what, version offered, package, line of the updater's log, seconds after it,
                # [the new program, seen running before the cut]
    scenario="a cut $1" cut=$((cut + 1))
    local at="${work##*/}.cut-$cut." # this run's folder, however the system shows its path
    updater_at="${at}upgradetimer\.exe"
    meet_folder "cut-$cut" && offer "$2" "$3"
    launch "$app" && answer 'Upgrade\?' y || return
    (for _ in $(seq 3000); do # the moment: the updater held there, then the power goes
        if pgrep -f "$updater_at" >/dev/null && grep -qs "$4" "$app/upgradetimer.log" &&
            { [ -z "${6:-}" ] || pgrep -f "$at$6" >/dev/null; }; then
            pkill -STOP -f "$updater_at"; sleep "$5"; power_cut "$app"; exit 0
        fi
        sleep 0.005
    done; exit 1) & watcher=$!
    answer 'Apply Upgrade' Return
    wait "$watcher" || check "the moment of the cut was seen" false
    cp "$app/upgradetimer.log" "$out/cut-$cut-upgradetimer.log"
    after_cut "$2"
    cp "$app/upgradetimer.log" "$out/cut-$cut-repaired-upgradetimer.log"
}
after_cut() { # version offered: with $app and $before, what the volunteer meets after the cut
    check "the program untouched" cmp -s "$app/$first_program" "$work/install/$first_program"
    # Left unproven, or proven (its window may show before the power goes) but not in place.
    local proving=0
    [ -f "$app/upgradetimer.proving" ] && ! grep -q proven "$app/upgradetimer.proving" && proving=1
    if come_up "$app"; then
        check "1.12 works, $came s after the first try (under 20)" eval \
            'wait_window "VERSION: 1\\.12\$" >/dev/null && awk -v t="$came" "BEGIN {exit !(t < 20)}"'
    else check "a working program" false; fi
    # A version cut off while it proved itself is told once and not offered again; one cut
    # off before it started, or proven but not put in place, is offered again.
    if [ "$proving" = 1 ]; then check "told once of the failed $1 ($reminded)" test "$reminded" = 1
    else check "the upgrade offered again, nothing told ($reminded)" test "$offered_again$reminded" = 10; fi
    leave && restart
    if come_up "$app"; then
        check "the next start: nothing to tell ($reminded$offered_again)" test "$reminded$((offered_again * proving))" = 00
        leave
    else check "a working program at the next start" false; fi
    check "every meet file as before" test "$(meet)" = "$before"
    check "no leftovers [$(leftovers "$app" | tr '\n' ' ')]" test -z "$(leftovers "$app")"
}
