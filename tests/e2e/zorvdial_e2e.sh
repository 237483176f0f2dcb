#!/usr/bin/env bash
# zorvdial against the demo board, as a person would use it: a real window on a virtual
# display (Xvfb), DownLoad pressed with the mouse (xdotool), the network modem dialling
# the board on loopback. Each case checks the program's own outcome (status line texts,
# exit status) and the file on disk, and leaves pictures of the windows behind.
set -uo pipefail
bin="${ZORV_BIN_DIR:?}"
src="${ZORV_SOURCE_DIR:?}"
art="${ZORV_E2E_ARTEFACTS:-$PWD/e2e-artefacts}"
unset QT_QPA_PLATFORM  # the window goes to the virtual display, not offscreen
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is missing"; echo "0 passed, 1 failed"; exit 1; }
done

work="$(mktemp -d)"
mkdir -p "$art"
rm -f "$art"/*.png
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

passed=0; failed=0
check() {  # check "what" command...
  local what="$1"; shift
  if "$@"; then passed=$((passed + 1)); echo "ok:   $what"
  else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
# Waits until FILE holds TEXT; false after SECONDS.
wait_text() {
  local file="$1" text="$2" seconds="$3"
  for _ in $(seq $((seconds * 10))); do
    grep -qF -- "$text" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
# Waits for a process of ours to end: status := its exit status, or "running" after SECONDS.
status=""
wait_exit() {
  local pid="$1" seconds="$2"
  for _ in $(seq $((seconds * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; return; fi
    sleep 0.1
  done
  status=running
}
shot() { "$bin/zorv_e2e_shot" "$1" "$art/$2.png" || echo "e2e: no picture for $2"; }

# The virtual display.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"

# The board: the demo accounts and a test file area.
area="$work/area"
mkdir -p "$area"
cp "$src/data/demo-bbs/files/"* "$area/"
head -c 1200000 /dev/urandom >"$area/BIG.BIN"
board_port=""
start_board() {  # start_board NAME [options]: sets board_port, log in $work/NAME.log
  local name="$1"; shift
  "$bin/zorvbbs" --listen 127.0.0.1:0 --area "$area" --accounts "$src/data/demo-bbs/accounts" \
    --log "$work/$name.log" "$@" >"$work/$name.out" &
  pids+=($!)
  wait_text "$work/$name.out" "listening on" 10
  board_port="$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/$name.out")"
}

dial_pid=""; wid=""
start_dial() {  # start_dial CASE PORT USER PASSWORD FILE [VARIANT]: sets dial_pid and wid
  local case="$1" port="$2"; shift 2
  mkdir -p "$work/$case/config/zorvdial"
  printf '[PhoneBook]\r\n5559678=127.0.0.1:%s,telnet\r\n' "$port" >"$work/$case/config/zorvdial/zorvdial.INI"
  ( cd "$work/$case" && exec env XDG_CONFIG_HOME="$work/$case/config" "$bin/zorvdial" "$@" ) \
    >"$work/$case/out.log" 2>"$work/$case/dial.log" &
  dial_pid=$!
  pids+=("$dial_pid")
  wid="$(timeout 30 xdotool search --sync --onlyvisible --pid "$dial_pid" --name "^ZORV BBS Download" 2>/dev/null | head -1)"
  sleep 1  # mapped is not yet drawn and taking clicks
}
# Answers the program's message box (title ZORVDIAL) with its OK button.
answer_box() {
  local box
  box="$(timeout 10 xdotool search --sync --onlyvisible --pid "$dial_pid" --name "^ZORVDIAL$" 2>/dev/null | head -1)"
  [ -n "$box" ] || return 1
  sleep 1
  shot "$box" "$1"
  # Without a window manager a new window gets no keyboard focus of its own: a click on
  # the box's text gives it the focus, then Return presses its default button (OK).
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove --window "$box" $((WIDTH / 2)) $((HEIGHT / 2)) click 1 key Return
}
# Clicks the middle of a control given by its place in twips (the window is 5010 x 2955).
click_at() {
  local left="$1" top="$2" width="$3" height="$4" WIDTH HEIGHT X Y SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  xdotool mousemove --window "$wid" $((WIDTH * (left + width / 2) / 5010)) $((HEIGHT * (top + height / 2) / 2955)) click 1
}
press_download() { click_at 1200 2280 1215 375; }
press_cancel() { click_at 2880 2280 855 375; }
set_timeout_box() {  # the TimeOut box takes a new number of seconds
  click_at 960 1800 375 285
  xdotool key --window "$wid" ctrl+a BackSpace
  xdotool type --window "$wid" "$1"
}
same_file() { cmp -s "$1" "$2"; }
no_file() { [ ! -e "$1" ]; }
is() { [ "$1" = "$2" ]; }

# --- success, default dialogue: pictures of every stage and of the progress window ---
start_board board --cps 150000
port="$board_port"
start_dial ok-b "$port" demo demo BIG.BIN
check "dialogue B: the window comes up" test -n "$wid"
shot "$wid" 01-idle
press_download
wait_text "$work/ok-b/dial.log" "Connected to ZORV: downloading file BIG.BIN" 20 && shot "$wid" 02-connected
if wait_text "$work/ok-b/dial.log" "Transferring File" 60; then
  sleep 1
  shot "$wid" 03-transferring
  progress=""
  for _ in $(seq 50); do
    progress="$(xdotool search --onlyvisible --pid "$dial_pid" --name "^File Transfer" 2>/dev/null | head -1)"
    [ -n "$progress" ] && break
    sleep 0.1
  done
  sleep 0.5
  check "the progress window shows during the transfer" test -n "$progress"
  # The whole screen: the progress window beside the main window (a picture of the
  # progress window alone comes out with the main window's contents here).
  shot 0 04-progress-window
fi
wait_exit "$dial_pid" 120
check "dialogue B: the program ends by itself with status 0 (got $status)" is "$status" 0
check "dialogue B: File Transferred successfully" grep -qF "zorvdial: File Transferred successfully" "$work/ok-b/dial.log"
check "dialogue B: the file is the board's copy" same_file "$work/ok-b/BIG.BIN" "$area/BIG.BIN"

# --- success, the register dialogue (fourth field 1) ---
start_dial ok-a "$port" visitor welcome WELCOME.TXT 1
press_download
wait_exit "$dial_pid" 120
check "dialogue A: the program ends by itself with status 0 (got $status)" is "$status" 0
check "dialogue A: the file is the board's copy" same_file "$work/ok-a/WELCOME.TXT" "$area/WELCOME.TXT"

# --- wrong password: the wait after the password times out ---
start_dial refused "$port" demo wrong WELCOME.TXT
set_timeout_box 5
press_download
wait_text "$work/refused/dial.log" "Please check your User Name and Password and try again." 90 &&
  { shot "$wid" 05-refused; check "wrong password: the message box is found and answered" answer_box 05-refused-box; }
wait_exit "$dial_pid" 30
check "wrong password: the message" \
  grep -qF "Please check your User Name and Password and try again." "$work/refused/dial.log"
check "wrong password: OK on the box ends the program with status 3 (got $status)" is "$status" 3
[ "$status" = running ] && kill "$dial_pid" 2>/dev/null
check "wrong password: no file" no_file "$work/refused/WELCOME.TXT"

# --- busy board ---
start_board busy --busy
start_dial busy "$board_port" demo demo WELCOME.TXT
press_download
check "busy: ZORV is busy" wait_text "$work/busy/dial.log" "zorvdial: ZORV is busy" 30
sleep 1
shot "$wid" 06-busy
check "busy: the window stays, idle" kill -0 "$dial_pid"
press_cancel
wait_exit "$dial_pid" 20
check "busy: Cancel ends the program (got $status)" is "$status" 4

# --- the board hangs up in the middle of the transfer, then DownLoad again resumes ---
start_board dropping --cps 150000 --drop-after 400000
start_dial drop "$board_port" demo demo BIG.BIN
press_download
if wait_text "$work/drop/dial.log" "Lost Carrier, transfer Failed" 90 ||
   grep -qF "ZORV has hung up" "$work/drop/dial.log"; then
  passed=$((passed + 1)); echo "ok:   hang-up: the loss is reported"
else
  failed=$((failed + 1)); echo "FAIL: hang-up: the loss is reported"
fi
sleep 2
shot "$wid" 07-hung-up
check "hang-up: no complete-looking file" no_file "$work/drop/BIG.BIN"
check "hang-up: a partial copy kept" test -s "$work/drop/BIG.BIN.part"
press_download
wait_exit "$dial_pid" 150
check "hang-up: DownLoad again completes and ends with status 0 (got $status)" is "$status" 0
check "hang-up: the resumed file is the board's copy" same_file "$work/drop/BIG.BIN" "$area/BIG.BIN"

for case in ok-b ok-a refused busy drop; do
  [ -f "$work/$case/dial.log" ] && { echo "--- $case"; grep -v QStandardPaths "$work/$case/dial.log"; }
done
for log in board busy dropping; do echo "--- board $log"; cat "$work/$log.log" 2>/dev/null; done
echo "pictures in $art"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
