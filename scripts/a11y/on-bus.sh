#!/usr/bin/env bash
# Runs a command on a headless display with the Linux accessibility bus, as Orca finds it there:
# Xvfb (kept across clients with -noreset), a session bus, the accessibility bus and its registry,
# the bus address on the root window, and Qt told to serve it.
#   scripts/a11y/on-bus.sh COMMAND...      (scripts/install-deps.sh --a11y installs what it needs)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != "--inside" ]; then
  display=:${FWU_A11Y_DISPLAY:-87}
  Xvfb "$display" -screen 0 1280x1024x24 -noreset >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null || true' EXIT
  export DISPLAY=$display
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  dbus-run-session -- "$0" --inside "$@"
  exit $?
fi
shift
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
address=
for _ in $(seq 100); do
  address=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
              org.a11y.Bus.GetAddress 2>/dev/null | tr -d ' ') && [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "on-bus.sh: the accessibility bus did not start" >&2; exit 1; }
# xprop -set does not stick on Xvfb; Xlib does (Debian's python3, where python3-xlib is).
/usr/bin/python3 - "$address" <<'PY'
import sys
from Xlib import display, Xatom
d = display.Display()
root = d.screen().root
root.change_property(d.intern_atom("AT_SPI_BUS"), Xatom.STRING, 8, sys.argv[1].encode())
d.sync()
PY
/usr/libexec/at-spi2-registryd >/dev/null 2>&1 &
registry=$!
trap 'kill "$registry" "$launcher" 2>/dev/null || true' EXIT
export AT_SPI_BUS_ADDRESS=$address QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
"$@"
