#!/bin/bash
# End to end, as a user would: start the viewer on its own X server, choose "From File" for
# the run time, press "Load Param...", pick a row-style example in the open dialog and watch
# the run at the default speed (a sweep in about 3 s); save the chart through the File menu and
# compare the bitmap byte for byte with what lv-run writes for the same file and settings; run
# it again with the speed control at its fastest; then Exit in the middle of a continuous run.
#
# viewer_e2e.sh VIEWER LV_RUN EXAMPLE ARTEFACT_DIR
set -u

if [ "${1:-}" != "--inner" ]; then
    # Our own display, whatever DISPLAY says.
    unset DISPLAY
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inner "$@"
fi
shift
VIEWER=$(realpath "$1")
LV_RUN=$(realpath "$2")
EXAMPLE=$(realpath "$3")
mkdir -p "$4"
ARTEFACTS=$(realpath "$4")
for tool in xdotool import compare; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is missing" >&2; exit 1; }
done

WORK=$(mktemp -d)
VIEWER_PID=
cleanup() {
    [ -n "$VIEWER_PID" ] && kill "$VIEWER_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
    echo "e2e: FAILED: $*" >&2
    import -window root "$ARTEFACTS/e2e-failure.png" 2>/dev/null &&
        echo "e2e: screen at the failure: $ARTEFACTS/e2e-failure.png" >&2
    exit 1
}

mkdir -p "$WORK/home" "$WORK/files" "$ARTEFACTS"
cp "$EXAMPLE" "$WORK/files/"
NAME=$(basename "$EXAMPLE")

# The open dialog starts in the current directory, the save dialog in the home directory.
cd "$WORK/files"
HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK" QT_QPA_PLATFORM=xcb "$VIEWER" 2>"$WORK/viewer.log" &
VIEWER_PID=$!

WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^Lotka-Volterra Model Viewer$' | head -1)
[ -n "$WID" ] || fail "the window did not appear"
xdotool windowfocus --sync "$WID"
sleep 0.5

# The client area is 718 x 368 below the menu bar.
eval "$(xdotool getwindowgeometry --shell "$WID")"
[ "$WIDTH" -eq 718 ] || fail "window width $WIDTH, expected 718"
MENU=$((HEIGHT - 368))
[ "$MENU" -gt 10 ] && [ "$MENU" -lt 60 ] || fail "menu bar height $MENU"
click() { # client-area x y; the pointer then rests on the chart, where it changes no look
    xdotool mousemove --window "$WID" "$1" $(($2 + MENU)) click 1
    xdotool mousemove --window "$WID" 360 $((300 + MENU))
    sleep 0.3
}
open_row_style() { # answer the open dialog: file type "QV Style", then the file NAME
    local dialog
    dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '.' | grep -v "^$WID\$" | tail -1)
    [ -n "$dialog" ] || fail "no open dialog"
    sleep 0.5
    xdotool windowfocus --sync "$dialog"
    # The file name box has the focus; Tab leads to the file types: the second is "QV Style".
    xdotool key --delay 100 Tab Down
    sleep 0.3
    xdotool key --delay 100 shift+Tab
    xdotool type --delay 50 "$1"
    xdotool key Return
}
caption_area() { # the picture of the result caption under the chart
    import -window "$WID" -crop 257x17+8+$((344 + MENU)) +repage "$1"
}
button_area() { # the picture of the button place, "Load Param..." or "Stop"
    import -window "$WID" -crop 81x73+8+$((8 + MENU)) +repage "$1"
}
chart_area() {
    import -window "$WID" -crop 700x250+10+$((90 + MENU)) +repage "$1"
}
differ() { ! compare -metric AE "$1" "$2" null: 2>/dev/null; }
cpu_ticks() { # user and system time the viewer has used, in clock ticks
    awk '{print $14 + $15}' "/proc/$VIEWER_PID/stat"
}
caption_area "$WORK/before.png"
button_area "$WORK/idle-button.png"

# "From File" of "Total Run Time": Frame1 at (112, 8), opt3 at (8, 51) in it.
click $((112 + 8 + 20)) $((8 + 51 + 8))
# "Load Param..."
click $((8 + 40)) $((8 + 36))
open_row_style "$NAME"
STARTED=$(date +%s.%N)

# At the default speed the run is there to be watched: "Stop" stays up, the chart moves.
sleep 1
button_area "$WORK/now-button.png"
differ "$WORK/idle-button.png" "$WORK/now-button.png" || fail "the run ended within a second"
chart_area "$WORK/chart1.png"
TICKS0=$(cpu_ticks)
sleep 1
chart_area "$WORK/chart2.png"
TICKS1=$(cpu_ticks)
differ "$WORK/chart1.png" "$WORK/chart2.png" || fail "the chart stands still during the run"
import -window root -crop 718x$HEIGHT+0+0 +repage "$ARTEFACTS/e2e-running.png"
HZ=$(getconf CLK_TCK)
echo "e2e: processor time of the paced run: $((TICKS1 - TICKS0)) ticks of $HZ in one second"
sleep 1.5
button_area "$WORK/now-button.png"
differ "$WORK/idle-button.png" "$WORK/now-button.png" || fail "the run ended within 3.5 seconds"

# The run ends with its exponent under the chart, in place of "LE =".
ended=
for _ in $(seq 1 120); do
    sleep 0.5
    caption_area "$WORK/now.png"
    if differ "$WORK/before.png" "$WORK/now.png"; then
        ended=yes
        break
    fi
done
[ -n "$ended" ] || fail "the run did not end"
echo "e2e: the paced run took $(awk "BEGIN { print $(date +%s.%N) - $STARTED }") s"
sleep 0.5
import -window root -crop 718x$HEIGHT+0+0 +repage "$ARTEFACTS/e2e-screenshot.png"

# File > Save Image... by its access keys, then the name, then "Yes" to creating it.
xdotool windowfocus --sync "$WID"
xdotool key --delay 150 alt+f s
SAVE=$(timeout 20 xdotool search --sync --onlyvisible --name '.' | grep -v "^$WID\$" | tail -1)
[ -n "$SAVE" ] || fail "no save dialog"
sleep 0.5
xdotool windowfocus --sync "$SAVE"
xdotool type --delay 50 "viewer-chart.bmp"
xdotool key Return
sleep 0.7
PROMPT=$(xdotool search --onlyvisible --name '.' | grep -v "^$WID\$" | tail -1)
[ -n "$PROMPT" ] && xdotool windowfocus --sync "$PROMPT" && xdotool key Return
for _ in $(seq 1 20); do
    [ -s "$WORK/home/viewer-chart.bmp" ] && break
    sleep 0.25
done
[ -s "$WORK/home/viewer-chart.bmp" ] || fail "no bitmap saved in the home directory"
sleep 0.3

"$LV_RUN" --style p --image "$WORK/lv-run-chart.bmp" "$EXAMPLE" >"$WORK/lv-run.txt" ||
    fail "lv-run failed"
cp "$WORK/home/viewer-chart.bmp" "$ARTEFACTS/e2e-viewer-chart.bmp"
DIFF=$(compare -metric AE "$WORK/home/viewer-chart.bmp" "$WORK/lv-run-chart.bmp" null: 2>&1)
[ "$DIFF" = "0" ] || fail "the saved chart differs from lv-run's in $DIFF pixels"
cmp -s "$WORK/home/viewer-chart.bmp" "$WORK/lv-run-chart.bmp" ||
    fail "the saved bitmap's bytes differ from lv-run's"

# The speed control at its fastest (End), by the keyboard: the same run ends at once. The
# open dialog now starts where Save Image left it (the home directory): type the path.
click $((532 + 8 + 80)) $((8 + 20 + 12))
xdotool key End
sleep 0.3
click $((8 + 40)) $((8 + 36))
open_row_style "$WORK/files/$NAME"
sleep 1
button_area "$WORK/now-button.png"
differ "$WORK/idle-button.png" "$WORK/now-button.png" &&
    fail "at the fastest speed the run did not end within a second"

# A continuous run, then Exit in the middle of it: the run ends and so does the program.
click $((112 + 8 + 20)) $((8 + 15 + 8)) # "Continuous"
click $((8 + 40)) $((8 + 36))            # "Load Param..."
open_row_style "$WORK/files/$NAME"
sleep 1.5
kill -0 "$VIEWER_PID" 2>/dev/null || fail "the viewer ended during the continuous run"
chart_area "$WORK/chart1.png"
sleep 0.3
chart_area "$WORK/chart2.png"
differ "$WORK/chart1.png" "$WORK/chart2.png" || fail "the chart stands still: no run in progress"
xdotool windowfocus --sync "$WID"
xdotool key --delay 150 alt+f e
for _ in $(seq 1 40); do
    kill -0 "$VIEWER_PID" 2>/dev/null || break
    sleep 0.25
done
if kill -0 "$VIEWER_PID" 2>/dev/null; then fail "the viewer did not end after Exit during a run"; fi
wait "$VIEWER_PID"
RC=$?
VIEWER_PID=
[ "$RC" -eq 0 ] || fail "the viewer exited with status $RC"
# Nothing of the program's is left in the home directory but the picture it was told to save.
LEFT=$(cd "$WORK/home" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$LEFT" = "./viewer-chart.bmp " ] || fail "the home directory holds: $LEFT"
echo "e2e: the saved chart equals lv-run's pixel for pixel ($(cat "$WORK/lv-run.txt"))"
echo "e2e: screenshot $ARTEFACTS/e2e-screenshot.png"
