#!/usr/bin/env bash
# Starts zorvdial from the build. With a display the window opens there; without one it
# runs on a virtual display (Xvfb), shows that the window came up, and stops it.
set -euo pipefail
bin="$1"; shift
args=("$@")

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/zorvdial" "${args[@]}"
fi

echo "run: no display here; using a virtual display"
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0/zorvdial" "${@}" & pid=$!
  if timeout 20 xdotool search --sync --name "^ZORV BBS Download" >/dev/null; then
    echo "run: the ZORVDialerForm window is up: $(xdotool search --name "^ZORV BBS Download" getwindowname)"
    status=0
  else
    echo "run: the window did not come up" >&2
    status=1
  fi
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  exit $status
' "$bin" "${args[@]}"
