#!/usr/bin/env bash
# `make windows-test`: the Windows build under Wine on Xvfb, from the unpacked ZIP in a folder
# whose path holds non-ASCII characters: the unit and Qt Quick tests (ctest with Wine as the
# emulator), the demo's window through an update, firmware-updater-cli against no accessory and
# against the stand-in hidapi DLL, and the installer (/S, start, uninstall). Output and
# screenshots: build-win64/wine-test/.
set -euo pipefail
source "$(dirname "$0")/common.sh"
need wine "wine and wine64"
need Xvfb xvfb
need xdotool xdotool
need import imagemagick
# deps.sh has said what is missing when it fails.
prefixes=$(bash "$root/scripts/windows/deps.sh") || exit 1
while IFS== read -r name value; do export "$name=$value"; done <<<"$prefixes"
name=firmware-updater-$(version)-win64
[ -f "$out/$name.zip" ] || die "$out/$name.zip is missing: run make windows first"
results=$out/wine-test && rm -rf "$results" && mkdir -p "$results"

export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=:$((100 + $$ % 400))
Xvfb $display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
# Every Windows has Arial, which the window asks for; Wine has none, and its stand-in draws lines
# three times their height. Liberation Sans has Arial's metrics.
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null 2>&1
wineserver -w
winpath() { winepath -w "$1" 2>/dev/null; }
step() { echo "windows-test: $*"; }
fail() { echo "windows-test: FAILED: $*" >&2; exit 1; }
# The main window (575x350, "Tarvo" in its title; not the "already running" box) within 60 s.
main_window() {
  local w
  for _ in $(seq 60); do
    for w in $(xdotool search --onlyvisible --name 'Tarvo' 2>/dev/null); do
      xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 575x350' && { echo "$w"; return; }
    done
    sleep 1
  done
}
# Whether the screen pixel at X Y is mostly green (the right end of the bar: a finished update).
green_at() {
  local rgb; rgb=$(import -window root -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}')
  (( 16#${rgb:3:2} > 96 && 16#${rgb:1:2} < 80 && 16#${rgb:5:2} < 80 ))
}
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | wc -l; }

# 1. Unit and Qt Quick tests, cross-built, through ctest and Wine. Left out: tst_cli (its stand-in
# library is found through LD_LIBRARY_PATH; step 3 is its Windows counterpart), tst_install (the
# Linux layout) and tst_startup (its copies keep their locks apart through XDG folders).
units=(tst_catalog tst_languageconfig tst_apppaths tst_unzip tst_deviceframe tst_firmwareimage
       tst_treebuild tst_singleinstancelock tst_controller tst_details tst_devicelink tst_updatesteps
       tst_updatesequence tst_download tst_treeviewmodel tst_netroad tst_update_wiring
       tst_qml_main tst_qml_states tst_qml_dialog tst_qml_popup tst_qml_netflow tst_qml_fit
       tst_qml_update tst_qml_closedownload)
echo "Cross-building the tests (log: $results/tests-build.log)"
cmake --build "$out" -j "${JOBS:-2}" --target fwu_simhidlib firmware-updater-demo "${units[@]}" \
  >"$results/tests-build.log" 2>&1 || die "the cross build of the tests failed (log: $results/tests-build.log)"
runtime="$(winpath "$FWU_QT_WIN64/bin");$(winpath "$FWU_WIN64_DEPS/bin");$(winpath /usr/lib/gcc/$mingw/12-posix);$(winpath /usr/$mingw/lib)"
# Beside each test, as beside the shipped program: Qt's plugins, QML modules and translations.
slashed() { winpath "$1" | tr '\\' /; }  # qt.conf reads a backslash as an escape
conf=$(printf '[Paths]\nPrefix=%s\nTranslations=%s\n' "$(slashed "$FWU_QT_WIN64")" \
       "$(slashed "$out/stage/$name/translations")")
find "$out/tests" -name 'tst_*.exe' -printf '%h\n' | while read -r dir; do echo "$conf" >"$dir/qt.conf"; done
WINEPATH="$runtime" ctest --test-dir "$out" -R "^($(IFS='|'; echo "${units[*]}"))(_.*)?\$" --output-on-failure -j 2 \
  | tee "$results/ctest.txt"

# History and log files: every run below records into %LOCALAPPDATA%\Tarvo\firmware-updater\,
# emptied here so that step 4b sees only this run's.
state=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')" 2>/dev/null)/Tarvo/firmware-updater
case $state in "$WINEPREFIX"/*/Tarvo/firmware-updater) rm -rf "$state" ;; *) die "no %LOCALAPPDATA% in $WINEPREFIX" ;; esac

# The unpacked ZIP where many users keep their downloads.
home=$WINEPREFIX/drive_c/users/张三/Downloads
rm -rf "$home" && mkdir -p "$home" && unzip -q "$out/$name.zip" -d "$home"
app=$home/$name

# 2. The demo build (a simulated accessory plugged in after a second) in a copy of the folder: an
# image opened through the Windows file dialog, Update, and the finished window.
demo=$home/demo && cp -r "$app" "$demo" && cp "$out/firmware-updater-demo.exe" "$demo/"
head -c 30000 /dev/urandom >"$home/Q7_v2.bin"
(cd "$demo" && wine firmware-updater-demo.exe >"$results/demo-run.txt" 2>&1 &)
win=$(main_window); [ -n "$win" ] || fail "the demo showed no window"
eval "$(xdotool getwindowgeometry --shell "$win")"; wx=$X; wy=$Y
import -window root -crop "575x350+$wx+$wy" "$results/demo-start.png"
before=$(visible_windows)
xdotool key --window "$win" ctrl+o
for _ in $(seq 30); do [ "$(visible_windows)" -gt "$before" ] && break; sleep 0.5; done
[ "$(visible_windows)" -gt "$before" ] || fail "Ctrl+O opened no file dialog"
sleep 1; import -window root "$results/demo-file-dialog.png"
xdotool type --delay 20 "$(winpath "$home/Q7_v2.bin")"; xdotool key Return
for _ in $(seq 30); do [ "$(visible_windows)" -le "$before" ] && break; sleep 0.5; done
sleep 1; xdotool mousemove $((wx + 518)) $((wy + 35)) click 1  # Update
for _ in $(seq 120); do green_at $((wx + 545)) $((wy + 284)) && break; sleep 0.5; done
import -window root -crop "575x350+$wx+$wy" "$results/demo-finished.png"
green_at $((wx + 545)) $((wy + 284)) || fail "the demo's update did not end done (see $results/demo-finished.png)"
wineserver -k; sleep 1
step "demo: image opened through the file dialog, updated, bar done ($results/demo-finished.png)"

# 3. firmware-updater-cli.
cli() { (cd "$1" && wine firmware-updater-cli.exe "${@:2}"); }
cli "$app" --version | tee "$results/cli-version.txt" | grep -q "firmware-updater-cli $(version)" || fail "--version"
set +e; cli "$app" devices >"$results/cli-devices.txt" 2>&1; rc=$?; set -e
[ $rc = 3 ] || fail "devices without an accessory exited $rc, not 3"
step "cli: --version and devices (exit 3) passed"
# The stand-in hidapi DLL beside a copy of the unpacked folder: Windows loads a program's DLLs from
# its own folder first.
bench=$home/bench && cp -r "$app" "$bench" && cp "$out/tests/support/simhidlib/lib/libhidapi.dll" "$bench/"
head -c 5000 /dev/urandom >"$results/image.bin"
dump=$(winpath "$results")\\received.bin
FWU_SIM_DEVICES=v20 FWU_SIM_DUMP="$dump" cli "$bench" --start-delay 0 flash "$(winpath "$results/image.bin")" \
  >"$results/cli-flash.txt" 2>&1 || fail "flash against the simulated accessory (see $results/cli-flash.txt)"
cmp -n 5000 "$results/image.bin" "$results/received.bin" || fail "the accessory does not hold the image"
step "cli: flash (exit 0, the device holds the image byte for byte) passed"

# 4. A catalogue firmware from a web server on loopback: fetched, unpacked and written.
www=$results/www && rm -rf "$www" && mkdir -p "$www/fw"
python3 - "$www" "$results/image.bin" <<'PY'
import json, sys, zipfile
www, image = sys.argv[1:]
with zipfile.ZipFile(www + "/fw/ABC.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.write(image, "ABC.bin")
named = lambda text: {"id": text, "language1": text, "language2": text}
record = {"device_id": "ABC", "version": "1.0", "release_date": "2024-01-05",
          "firmware_url": "ABC.zip", "category1": named("tx"), "category2": named("ABC"),
          "remark": named("-"), "update_contents": named("-")}
json.dump({"base_url": "fw", "Firmwares": [record]}, open(www + "/cat.json", "w"))
PY
python3 -m http.server 0 --bind 127.0.0.1 --directory "$www" >"$results/http.log" 2>&1 &
http=$!
for _ in $(seq 50); do
  port=$(grep -o 'port [0-9]*' "$results/http.log" 2>/dev/null | head -1 | cut -d' ' -f2 || true)
  [ -n "$port" ] && break; sleep 0.1
done
[ -n "${port:-}" ] || fail "the loopback web server did not start"
rm -f "$results/received.bin"
set +e
FWU_SIM_DEVICES=v20:ABC FWU_SIM_DUMP="$dump" cli "$bench" --start-delay 0 flash --from-catalogue \
  --url "http://127.0.0.1:$port/cat.json" >"$results/cli-catalogue.txt" 2>&1; rc=$?
set -e
kill $http 2>/dev/null || true
[ $rc = 0 ] || fail "flash --from-catalogue exited $rc (see $results/cli-catalogue.txt)"
cmp -n 5000 "$results/image.bin" "$results/received.bin" || fail "the accessory does not hold the catalogue firmware"
step "cli: flash --from-catalogue from a loopback server (exit 0, byte for byte) passed"

# 4b. History and log files of the runs above, under %LOCALAPPDATA% and nowhere else: the demo's
# window update and the two command-line updates, each with the log file that names its image.
[ -f "$state/history.jsonl" ] || fail "no history.jsonl under %LOCALAPPDATA%\\Tarvo\\firmware-updater"
[ "$(find "$WINEPREFIX/drive_c" -name history.jsonl | wc -l)" = 1 ] || fail "a history.jsonl outside %LOCALAPPDATA%"
cli "$app" history --json >"$results/cli-history.json" 2>&1 || fail "history --json (see $results/cli-history.json)"
python3 - "$results/cli-history.json" <<'PY' || fail "history --json lacks an update (see $results/cli-history.json)"
import json, sys
seen = [(r["program"], r["image"], r["outcome"]) for r in json.load(open(sys.argv[1], encoding="utf-8"))]
for want in [("window", "Q7_v2.bin", "done"), ("cli", "image.bin", "done")]:
    assert want in seen, (want, seen)
assert sum(1 for r in seen if r[0] == "cli" and r[2] == "done") == 2, seen  # flash and catalogue
PY
grep -l "Q7_v2.bin" "$state"/logs/firmware-updater-2*.log >/dev/null 2>&1 || fail "no window log file under $state/logs"
[ "$(grep -l "image.bin" "$state"/logs/firmware-updater-cli-*.log 2>/dev/null | wc -l)" -ge 1 ] \
  || fail "no command-line log file naming the image under $state/logs"
step "history and logs: the window's and the command line's updates under %LOCALAPPDATA%\\Tarvo\\firmware-updater"

# 5. The installer: silent install, start, uninstall.
wine "$out/$name-setup.exe" /S; wineserver -w
inst=$(find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/Programs/Tarvo Firmware Updater' -type d | head -1)
[ -n "$inst" ] && [ -f "$inst/firmware-updater.exe" ] || fail "/S did not install into %LOCALAPPDATA%\\Programs"
[ -n "$(find "$WINEPREFIX/drive_c" -name 'Tarvo Firmware Updater.lnk')" ] || fail "no Start-menu entry"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvoFirmwareUpdater' \
  >"$results/uninstall-key.txt" 2>&1 && grep -q "$(version)" "$results/uninstall-key.txt" || fail "no installed-apps entry"
(cd "$inst" && wine firmware-updater.exe >"$results/installed-run.txt" 2>&1 &)
win=$(main_window); [ -n "$win" ] || fail "the installed program showed no window"
sleep 3; import -window root "$results/installed-window.png"
wineserver -k; sleep 1
step "installer: /S installed, Start-menu entry, installed-apps entry, window shown ($results/installed-window.png)"
cache="$(dirname "$(dirname "$inst")")/Tarvo/firmware-updater/cache"  # %LOCALAPPDATA%\Tarvo\...
mkdir -p "$cache" && touch "$cache/kept"
wine "$inst/uninstall.exe" /S; wineserver -w
[ ! -e "$inst/firmware-updater.exe" ] || fail "the uninstaller left the program"
[ -e "$cache/kept" ] || fail "the uninstaller removed the user's cache"
step "installer: the uninstaller removed it and left the user's cache"
echo "windows-test: all passed"
