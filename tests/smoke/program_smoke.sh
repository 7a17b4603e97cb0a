#!/usr/bin/env bash
# The program as tools/run starts it, on a virtual display with a window manager: its window
# appears, SIGTERM closes it with exit status 0, and it writes its settings (tremor.ini) on the way
# out. A tremor.ini already beside the program is put back afterwards.
#   program_smoke.sh BIN_DIR
# Needs Xvfb, openbox and xwininfo (tools/ci installs them). The display server picks a free
# display number itself (-displayfd): a number chosen beforehand (xvfb-run -a) races with other
# servers starting at the same time.
set -uo pipefail

# Inside the display (the script calls itself there): the window manager, then the program; the
# window is looked for by its class.
if [ "${1:-}" = --inside ]; then
    bin=$2 work=$3
    openbox >/dev/null 2>&1 &
    wm=$!
    "$bin/accel3" >"$work/out.log" 2>&1 &
    pid=$!
    seen=
    for _ in $(seq 1 100); do
        # Read whole before matching: grep -q would stop reading early, and the writer's broken
        # pipe would fail the test under pipefail.
        tree=$(xwininfo -root -tree 2>/dev/null)
        if [[ $tree == *'("accel3" '* ]]; then
            seen=1
            break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    if [ -z "$seen" ]; then
        echo "FAIL: no window of accel3 appeared within 20 s" >&2
        kill -KILL "$pid" 2>/dev/null
        cat "$work/out.log" >&2
        kill "$wm" 2>/dev/null
        exit 1
    fi
    kill -TERM "$pid"
    status=
    for _ in $(seq 1 50); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            status=$?
            break
        fi
        sleep 0.2
    done
    kill "$wm" 2>/dev/null
    if [ -z "$status" ]; then
        echo "FAIL: accel3 still runs 10 s after SIGTERM" >&2
        kill -KILL "$pid" 2>/dev/null
        exit 1
    fi
    if [ "$status" -ne 0 ]; then
        echo "FAIL: accel3 exited with status $status after SIGTERM" >&2
        cat "$work/out.log" >&2
        exit 1
    fi
    exit 0
fi

bin=$(cd "$1" && pwd)
ini=$bin/tremor.ini
kept=
if [ -e "$ini" ]; then
    kept=$(mktemp "$bin/.tremor.ini.smoke.XXXXXX")
    mv -f "$ini" "$kept"
fi
restore() {
    if [ -n "$kept" ]; then mv -f "$kept" "$ini"; else rm -f "$ini"; fi
}
trap restore EXIT

for tool in Xvfb openbox xwininfo; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done


work=$(mktemp -d)
xvfb=
trap 'restore; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
# Xvfb writes the number it took to the descriptor once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
display=
for _ in $(seq 1 100); do
    # read succeeds only on a whole line: the number has been written.
    if read -r display <"$work/display" && [ -n "$display" ]; then
        break
    fi
    display=
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$display" ]; then
    echo "FAIL: Xvfb did not start a display within 10 s" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
DISPLAY=:$display bash "$0" --inside "$bin" "$work" || exit 1
[ -s "$ini" ] || { echo "FAIL: no tremor.ini written beside the program" >&2; exit 1; }
echo "smoke: the window appeared, SIGTERM closed it with status 0, tremor.ini written"
