#!/usr/bin/env bash
# One whole update of the demo, success or failure, with Orca listening and the AT-SPI checks:
#   scripts/a11y/on-bus.sh scripts/a11y/orca-update.sh BUILD_DIR success|failure OUT_DIR
# Leaves Orca's debug log (OUT_DIR/orca-<outcome>.log) and the checks' output beside it.
set -uo pipefail
build=$(cd "$1" && pwd); outcome=$2; out=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
image=$out/fw.bin
head -c 409600 /dev/urandom >"$image"
export XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime LC_ALL=en_US.UTF-8 LANGUAGE=en
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
orca --replace --debug-file="$out/orca-$outcome.log" >/dev/null 2>&1 &
orca=$!
sleep 3
expected="Device updated"
if [ "$outcome" = failure ]; then
  export FWU_DEMO_FAIL_WRITE=300
  expected="Device update failed"
fi
"$build/firmware-updater-demo" --start-delay 0 "$image" >"$out/demo-$outcome.log" 2>&1 &
demo=$!
# No window manager here: the window gets the keyboard focus the way one would give it.
xdotool search --sync --name "Tarvo Firmware Updater" windowfocus --sync >/dev/null 2>&1
/usr/bin/python3 "$here/check_update.py" firmware-updater-demo "$expected" | tee "$out/checks-$outcome.txt"
result=${PIPESTATUS[0]}
sleep 2
kill "$demo" "$orca" 2>/dev/null
wait "$demo" "$orca" 2>/dev/null
exit "$result"
