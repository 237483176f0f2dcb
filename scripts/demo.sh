#!/usr/bin/env bash
# The whole demo: builds what is missing, starts the demo BBS, starts zorvdial for the
# demo user and a demo file, presses DownLoad as a user would and waits for the program
# to end by itself. Without a display it works on a virtual one (Xvfb) and drives the
# real window with xdotool. It reports where the file landed and stops the demo BBS.
# Exit status: 0 when the file arrived whole, 1 otherwise.
#
#   scripts/demo.sh [FILE]        FILE from data/demo-bbs/files (default DEMO.ZIP)
#   BUILD=dir scripts/demo.sh     another build folder (default build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
file="${1:-DEMO.ZIP}"
board="$root/data/demo-bbs"

if [ ! -x "$build/bin/zorvdial" ] || [ ! -x "$build/bin/zorvbbs" ]; then
  echo "demo: building zorvdial and zorvbbs in $build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target zorvdial zorvbbs
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${ZORV_DEMO_INNER:-}" ]; then
  echo "demo: no display here; using a virtual display"
  ZORV_DEMO_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

work="$(mktemp -d)"
landing="$build/demo"
mkdir -p "$landing"
rm -f "$landing/$file" "$landing/$file.part"
bbs_pid=""; dial_pid=""
cleanup() {
  [ -n "$dial_pid" ] && kill "$dial_pid" 2>/dev/null || true
  [ -n "$bbs_pid" ] && kill "$bbs_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The demo BBS on a free loopback port; the phone book of this run sends the BBS's
# number there, so the user's own settings are neither needed nor touched.
"$build/bin/zorvbbs" --listen 127.0.0.1:0 --area "$board/files" --accounts "$board/accounts" \
  --log "$work/bbs.log" >"$work/bbs.out" &
bbs_pid=$!
for _ in $(seq 100); do grep -q "^listening on" "$work/bbs.out" 2>/dev/null && break; sleep 0.1; done
port="$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/bbs.out")"
[ -n "$port" ] || { echo "demo: the demo BBS did not start" >&2; exit 1; }
echo "demo: demo BBS on 127.0.0.1:$port (log: its calls below)"
mkdir -p "$work/config/zorvdial"
printf '[PhoneBook]\r\n5559678=127.0.0.1:%s,telnet\r\n' "$port" >"$work/config/zorvdial/zorvdial.INI"

echo "demo: zorvdial demo demo $file"
( cd "$landing" && exec env XDG_CONFIG_HOME="$work/config" "$build/bin/zorvdial" demo demo "$file" ) \
  >"$work/dial.log" 2>&1 &
dial_pid=$!
tail -n +1 -f --pid="$dial_pid" "$work/dial.log" | sed 's/^/  /' &
tail_pid=$!

# Press DownLoad in the middle of the button (its place in the window, in twips out of
# the window's 5010 x 2955).
wid="$(timeout 30 xdotool search --sync --name "^ZORV BBS Download" | head -1)" ||
  { echo "demo: the window did not come up" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$wid")"
xdotool mousemove --window "$wid" $((WIDTH * 1807 / 5010)) $((HEIGHT * 2467 / 2955)) click 1

status=0
wait "$dial_pid" || status=$?
dial_pid=""
wait "$tail_pid" 2>/dev/null || true
sed 's/^/  bbs: /' "$work/bbs.log"
if [ -f "$landing/$file" ] && cmp -s "$landing/$file" "$board/files/$file"; then
  echo "demo: the file arrived whole: $landing/$file"
  exit 0
fi
echo "demo: the file did not arrive whole (zorvdial ended with status $status)" >&2
exit 1
