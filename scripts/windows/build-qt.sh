#!/usr/bin/env bash
# Builds Qt 5.15 for 64-bit Windows (MinGW-w64, posix threads) from Debian's own source packages,
# on a Debian 12 machine: qtbase, qtdeclarative, qtquickcontrols, qtquickcontrols2. Called by
# deps.sh when no prebuilt Qt is given or found. Usage: build-qt.sh PREFIX [WORKDIR] (about an hour
# on 2 cores). Where the mirror lacks qtquickcontrols' tarball, QT_SRC_qtquickcontrols names a git
# clone of Qt's qtquickcontrols repository (tag v5.15.8-lts-lgpl, the release Debian packages).
set -euo pipefail
prefix=${1:?prefix}; work=${2:-/tmp/qt-mingw-work}; jobs=${JOBS:-2}
mkdir -p "$work" "$prefix"; cd "$work"
if ! grep -rqs 'deb-src\|Types: deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    > /etc/apt/sources.list.d/qt-mingw-src.sources
  apt-get update -q >/dev/null
fi
apt-get install -y -q dpkg-dev mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix python3 perl >/dev/null
update-alternatives --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix >/dev/null
update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix >/dev/null
fetch() {  # $1 source package; unpacks into $work/$1 with Debian's patches applied
  [ -d "$work/$1" ] && return 0
  # Where the package mirror lacks a source tarball (qtquickcontrols here), QT_SRC_<module> may name
  # a git clone of Qt's own repository: its tag v5.15.8-lts-lgpl is the release Debian packages.
  local var=QT_SRC_${1%%-opensource-src}
  if [ -n "${!var:-}" ]; then
    mkdir -p "$work/$1" && git -C "${!var}" archive v5.15.8-lts-lgpl | tar -x -C "$work/$1"; return 0
  fi
  mkdir -p "$work/dl"
  (cd "$work/dl" && apt-get source --download-only -q "$1" >/dev/null) || {
    echo "build-qt: apt-get source $1 failed; where the mirror lacks its tarball, set $var to a" \
         "git clone of Qt's ${1%%-opensource-src} repository (tag v5.15.8-lts-lgpl)" >&2
    exit 1
  }
  dpkg-source -x "$work/dl/$1"_*.dsc "$work/$1" >/dev/null
}
stamp() { [ -f "$work/$1.done" ]; }
fetch qtbase-opensource-src
if ! stamp qtbase; then
  cd "$work/qtbase-opensource-src"
  # MinGW's import libraries are lower-case; Qt names two of them with capitals.
  sed -i 's/"-lSecur32" "-lCrypt32"/"-lsecur32" "-lcrypt32"/' src/network/ssl/ssl.pri
  # Debian's sources drop WinTab's wintab.h (Wacom tablets); pen input still comes through Windows
  # Ink (WM_POINTER), so the Windows platform plugin is built without the WinTab fallback.
  w=src/plugins/platforms/windows
  sed -i "s|^#if QT_CONFIG(tabletevent)|#if 0 // WinTab: wintab.h is not in Debian's sources|" $w/qwindowscontext.cpp
  sed -i "s|^qtConfig(tabletevent) {|false {  # WinTab: wintab.h is not in Debian's sources|" $w/windows.pri
  [ -f Makefile ] || ./configure -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
    -prefix "$prefix" -release -shared -opensource -confirm-license \
    -nomake examples -nomake tests -opengl desktop -no-dbus -no-icu -schannel -no-openssl \
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz \
    -no-sql-sqlite -no-sql-mysql -no-sql-psql -no-sql-odbc -no-sql-ibase -no-sql-db2 -no-sql-oci -no-sql-tds \
    > "$work/qtbase-configure.log" 2>&1
  sed -i 's/-lSecur32 -lCrypt32/-lsecur32 -lcrypt32/' src/network/Makefile.Release src/network/Makefile.Debug 2>/dev/null || true
  make -j"$jobs" > "$work/qtbase-build.log" 2>&1
  make install > "$work/qtbase-install.log" 2>&1
  touch "$work/qtbase.done"
fi
for m in qtdeclarative qtquickcontrols2 qtquickcontrols; do
  fetch $m-opensource-src
  stamp $m && continue
  cd "$work/$m-opensource-src"
  "$prefix/bin/qmake" > "$work/$m-qmake.log" 2>&1
  # The Direct3D 12 scene graph needs Microsoft's HLSL compiler (fxc.exe): left out, its folder
  # gets a Makefile that does nothing. Qt Quick draws with OpenGL or its software renderer.
  if [ $m = qtdeclarative ]; then
    mkdir -p src/plugins/scenegraph/d3d12 && printf 'all:\n%%:\n\t@:\n' > src/plugins/scenegraph/d3d12/Makefile
  fi
  make -j"$jobs" > "$work/$m-build.log" 2>&1
  make install > "$work/$m-install.log" 2>&1
  touch "$work/$m.done"
done
echo "Qt for Windows in $prefix"
