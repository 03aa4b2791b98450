#!/usr/bin/env bash
# Installs the Debian packages the program, its tests and the screenshots need, and the tools that
# check and build its package (desktop-file-validate, appstreamcli, dpkg-shlibdeps); with --fuzz
# also those of the fuzz build, with --windows those of the Windows cross build and its Wine tests.
# Quick no-op when everything is present, so `make run` and `make test` can call it every time.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qtbase5-dev qtbase5-private-dev qtdeclarative5-dev qtdeclarative5-private-dev
  qtdeclarative5-dev-tools
  libhidapi-dev libtinyxml2-dev zlib1g-dev libsodium-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2
  qml-module-qtquick-controls qml-module-qtquick-dialogs qml-module-qt-labs-platform
  qml-module-qttest
  xvfb xauth libgl1-mesa-dri libglx-mesa0
  fonts-wqy-microhei
  qttranslations5-l10n
  desktop-file-utils appstream dpkg-dev file xdotool
  minisign  # re-signs the signature tests' fixtures (tests/trust/fixtures/make.sh)
)

# The screen-reader checks (scripts/a11y/): Orca and the Linux accessibility bus, with the Python
# bindings its scripts use.
if [ "${1:-}" = "--a11y" ]; then
  packages+=(orca at-spi2-core python3-pyatspi python3-xlib dbus x11-utils)
fi
# `make fuzz` alone needs clang with its fuzzer runtime (and the symbolizer for readable reports).
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev llvm)
fi
# `make windows` and `make windows-test`: MinGW-w64, NSIS, Wine, and what builds the libraries from
# Debian's source packages (see scripts/windows/).
if [ "${1:-}" = "--windows" ]; then
  packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
             nsis wine wine64 zip unzip imagemagick python3 perl git xz-utils ca-certificates
             locales fonts-liberation autoconf automake libtool)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# Wine takes the Windows locale from LC_ALL; the Windows tests run in the first configured
# language's, which glibc must know so that Wine still maps file names as UTF-8.
zh_locale() {
  [ "${1:-}" = "--windows" ] || return 0
  locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return 0
  "${sudo[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
}
sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
if [ ${#missing[@]} -eq 0 ]; then
  zh_locale "${1:-}"
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
zh_locale "${1:-}"
