#!/usr/bin/env bash
# The keyboard after the file dialog, over AT-SPI:
#   scripts/a11y/on-bus.sh scripts/a11y/focus-after-open.sh BUILD_DIR OUT_DIR
set -uo pipefail
build=$(cd "$1" && pwd); out=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
head -c 4096 /dev/urandom >"$out/typed.bin"
export XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime LANGUAGE=en
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$build/firmware-updater-demo" --start-delay 0 >"$out/demo-focus.log" 2>&1 &
demo=$!
# No window manager here: the window gets the keyboard focus the way one would give it.
xdotool search --sync --name "Tarvo Firmware Updater" windowfocus --sync >/dev/null 2>&1
/usr/bin/python3 "$here/check_focus.py" firmware-updater-demo "$out/typed.bin" | tee "$out/checks-focus.txt"
result=${PIPESTATUS[0]}
kill "$demo" 2>/dev/null
wait "$demo" 2>/dev/null
exit "$result"
