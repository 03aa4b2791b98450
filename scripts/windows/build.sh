#!/usr/bin/env bash
# `make windows`: cross-builds the program and firmware-updater-cli for 64-bit Windows into
# build-win64/, lays out the portable folder, checks that every DLL it imports is in it or part of
# Windows, and makes firmware-updater-<version>-win64.zip and firmware-updater-<version>-win64-setup.exe.
set -euo pipefail
source "$(dirname "$0")/common.sh"
need ${mingw}-objdump binutils-mingw-w64-x86-64
need makensis nsis
need zip zip

# deps.sh has said what is missing when it fails.
prefixes=$(bash "$root/scripts/windows/deps.sh") || exit 1
while IFS== read -r name value; do export "$name=$value"; done <<<"$prefixes"
qt=$FWU_QT_WIN64; deps=$FWU_WIN64_DEPS

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
launcher=(); command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
mkdir -p "$out"
cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-win64.cmake" \
  -DFWU_QT_WIN64="$qt" -DFWU_WIN64_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DFWU_BUILD_BENCH=OFF \
  "${launcher[@]}" >"$out/configure.log" 2>&1 || { tail -20 "$out/configure.log"; die "configuring the cross build failed (log: $out/configure.log)"; }
echo "Cross-building firmware-updater.exe and firmware-updater-cli.exe (log: $out/build.log)"
cmake --build "$out" -j "${JOBS:-2}" --target firmware-updater firmware-updater-cli >"$out/build.log" 2>&1 \
  || { grep -m 20 -E 'error|Error' "$out/build.log"; die "the cross build failed (log: $out/build.log)"; }

ver=$(version)
name=firmware-updater-$ver-win64
stage=$out/stage/$name
rm -rf "$out/stage" && mkdir -p "$stage"
bash "$root/scripts/windows/stage.sh" "$stage" "$qt" "$deps" \
  "$out/firmware-updater.exe" "$out/firmware-updater-cli.exe"

rm -f "$out/$name.zip"
(cd "$out/stage" && zip -qr9 "$out/$name.zip" "$name")
# Checked as shipped: what the ZIP holds, unpacked.
check=$out/zip-check && rm -rf "$check" && mkdir -p "$check"
unzip -q "$out/$name.zip" -d "$check"
bash "$root/scripts/windows/check-imports.sh" "$check/$name"
echo "$out/$name.zip"

# The uninstaller removes exactly the files the installer wrote, deepest folders last.
nsh=$out/stage/uninstall-files.nsh
(cd "$stage" && find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
 cd "$stage" && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') > "$nsh"
makensis -V2 -DVERSION="$ver" -DSTAGE="$stage" -DUNINSTALL_FILES="$nsh" \
  -DICON="$root/packaging/windows/firmware-updater.ico" -DLICENSE="$root/LICENSE" \
  -DOUTFILE="$out/$name-setup.exe" "$root/packaging/windows/installer.nsi" >"$out/nsis.log" 2>&1 \
  || { tail -20 "$out/nsis.log"; die "makensis failed (log: $out/nsis.log)"; }
echo "$out/$name-setup.exe"
