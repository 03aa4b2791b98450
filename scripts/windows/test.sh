#!/usr/bin/env bash
# `make windows-test`: the Windows build under Wine on Xvfb, from the unpacked ZIP in a folder
# whose path holds non-ASCII characters: the unit tests that need no device or display (ctest with
# Wine as the emulator), firmware-updater-cli against no accessory and against the stand-in
# hidapi DLL, and the installer (/S, start, uninstall). Output and screenshots: build-win64/wine-test/.
set -euo pipefail
source "$(dirname "$0")/common.sh"
need wine "wine and wine64"
need Xvfb xvfb
need xdotool xdotool
need import imagemagick
while IFS== read -r name value; do export "$name=$value"; done < <(bash "$root/scripts/windows/deps.sh")
name=firmware-updater-$(version)-win64
[ -f "$out/$name.zip" ] || die "$out/$name.zip is missing: run make windows first"
results=$out/wine-test && rm -rf "$results" && mkdir -p "$results"

export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=:$((100 + $$ % 400))
Xvfb $display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -w
winpath() { winepath -w "$1" 2>/dev/null; }
step() { echo "windows-test: $*"; }
fail() { echo "windows-test: FAILED: $*" >&2; exit 1; }

# 1. Unit tests without device or display, cross-built, through ctest and Wine.
units=(tst_catalog tst_languageconfig tst_apppaths tst_unzip tst_deviceframe tst_firmwareimage tst_treebuild)
cmake --build "$out" -j "${JOBS:-2}" --target fwu_simhidlib "${units[@]}" >"$results/tests-build.log" 2>&1 \
  || die "the cross build of the tests failed (log: $results/tests-build.log)"
runtime="$(winpath "$FWU_QT_WIN64/bin");$(winpath "$FWU_WIN64_DEPS/bin");$(winpath /usr/lib/gcc/$mingw/12-posix);$(winpath /usr/$mingw/lib)"
WINEPATH="$runtime" QT_PLUGIN_PATH="$(winpath "$FWU_QT_WIN64/plugins")" \
  ctest --test-dir "$out" -R "^($(IFS='|'; echo "${units[*]}"))\$" --output-on-failure -j 2

# The unpacked ZIP where many users keep their downloads.
home=$WINEPREFIX/drive_c/users/张三/Downloads
rm -rf "$home" && mkdir -p "$home" && unzip -q "$out/$name.zip" -d "$home"
app=$home/$name

# 2. firmware-updater-cli.
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

# 3. A catalogue firmware from a web server on loopback: fetched, unpacked and written.
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

# 4. The installer: silent install, start, uninstall.
wine "$out/$name-setup.exe" /S; wineserver -w
inst=$(find "$WINEPREFIX/drive_c/users" -path '*AppData/Local/Programs/Tarvo Firmware Updater' -type d | head -1)
[ -n "$inst" ] && [ -f "$inst/firmware-updater.exe" ] || fail "/S did not install into %LOCALAPPDATA%\\Programs"
[ -n "$(find "$WINEPREFIX/drive_c" -name 'Tarvo Firmware Updater.lnk')" ] || fail "no Start-menu entry"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvoFirmwareUpdater' \
  >"$results/uninstall-key.txt" 2>&1 && grep -q "$(version)" "$results/uninstall-key.txt" || fail "no installed-apps entry"
(cd "$inst" && wine firmware-updater.exe >"$results/installed-run.txt" 2>&1 &)
for _ in $(seq 60); do win=$(xdotool search --onlyvisible --name 'Tarvo' 2>/dev/null | head -1 || true); [ -n "$win" ] && break; sleep 1; done
[ -n "${win:-}" ] || fail "the installed program showed no window"
sleep 3; import -window root "$results/installed-window.png"
wineserver -k; sleep 1
step "installer: /S installed, Start-menu entry, installed-apps entry, window shown ($results/installed-window.png)"
wine "$inst/uninstall.exe" /S; wineserver -w
[ ! -e "$inst/firmware-updater.exe" ] || fail "the uninstaller left the program"
step "installer: the uninstaller removed it"
echo "windows-test: all passed"
