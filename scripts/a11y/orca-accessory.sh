#!/usr/bin/env bash
# The demo's accessory unplugged and plugged in again while the window has the focus and Orca
# listens; passes when Orca spoke both without the user moving:
#   scripts/a11y/on-bus.sh scripts/a11y/orca-accessory.sh BUILD_DIR OUT_DIR
set -uo pipefail
build=$(cd "$1" && pwd); out=$(mkdir -p "$2" && cd "$2" && pwd)
export XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime LC_ALL=en_US.UTF-8 LANGUAGE=en
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
log=$out/orca-accessory.log
orca --replace --debug-file="$log" >/dev/null 2>&1 &
orca=$!
sleep 3
FWU_DEMO_REPLUG=4 "$build/firmware-updater-demo" >"$out/demo-accessory.log" 2>&1 &
demo=$!
xdotool search --sync --name "Tarvo Firmware Updater" windowfocus --sync >/dev/null 2>&1
# The user is on a control: what is said must not take the focus from it.
sleep 1 && xdotool key Tab
sleep 11
kill "$demo" "$orca" 2>/dev/null
wait "$demo" "$orca" 2>/dev/null
result=0
for said in "USB: no accessory connected" "USB: accessory connected"; do
  if grep -E "SPEECH OUTPUT: '(notification )?$said" "$log"; then echo "PASS Orca said \"$said\""
  else echo "FAIL Orca did not say \"$said\""; result=1; fi
done
focus=$(grep -o "locusOfFocus: \[[^]]*\]" "$log" | tail -1)
case $focus in
  *frame*|"") echo "FAIL the focus ended off the control the user was on: $focus"; result=1 ;;
  *) echo "PASS the focus stayed where the user was: $focus" ;;
esac
exit "$result"
