#!/usr/bin/env bash
# Makes the Windows libraries ready in the cache folder and prints their prefixes as
# FWU_QT_WIN64=... and FWU_WIN64_DEPS=... lines. Qt: FWU_QT_WIN64 when set, else the prebuilt
# ../shared/toolchains/qt5-win64.tar.xz beside the checkout unpacked once, else built from Debian's
# source packages once (about an hour). hidapi, tinyxml2, zlib and libsodium: built from Debian's
# source packages once, the versions Debian ships.
set -euo pipefail
source "$(dirname "$0")/common.sh"
need ${mingw}-g++-posix g++-mingw-w64-x86-64-posix
mkdir -p "$cache"

# apt-get source needs a deb-src entry, which a fresh Debian 12 lacks.
ensure_sources() {
  grep -rqs '^deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  [ "$(id -u)" -eq 0 ] || die "no deb-src entry for apt-get source: run as root once, or add one"
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    > /etc/apt/sources.list.d/firmware-updater-src.sources
  echo "Added Debian's source packages to apt (/etc/apt/sources.list.d/firmware-updater-src.sources)" >&2
  apt-get update -qq
}

# source PACKAGE: its unpacked tree, Debian's patches applied, under $cache/src.
source_tree() {
  local dir=$cache/src/$1
  if [ ! -d "$dir" ]; then
    ensure_sources
    mkdir -p "$cache/src/dl-$1"
    (cd "$cache/src/dl-$1" && apt-get source --download-only -qq "$1" >/dev/null 2>&1) \
      || die "apt-get source $1 failed (network, or no deb-src entry)"
    dpkg-source -x "$cache/src/dl-$1/$1"_*.dsc "$dir" >/dev/null 2>&1 || die "dpkg-source -x $1 failed"
  fi
  echo "$dir"
}

qt_prefix() {
  if [ -n "${FWU_QT_WIN64:-}" ]; then
    [ -x "$FWU_QT_WIN64/bin/qmake" ] || die "FWU_QT_WIN64=$FWU_QT_WIN64 holds no Qt for Windows (no bin/qmake)"
    echo "$FWU_QT_WIN64"; return
  fi
  local prefix=$cache/qt5-win64 tarball=$root/../shared/toolchains/qt5-win64.tar.xz
  if [ ! -x "$prefix/bin/qmake" ]; then
    if [ -f "$tarball" ]; then
      echo "Unpacking the prebuilt Qt for Windows from $tarball into $prefix" >&2
      rm -rf "$prefix" && mkdir -p "$prefix"
      tar -xJf "$tarball" -C "$prefix" --strip-components=1
    else
      echo "No Qt for Windows given (FWU_QT_WIN64) or found ($tarball): building it from Debian's" \
           "source packages into $prefix, once; this takes about an hour." >&2
      ensure_sources
      bash "$root/scripts/windows/build-qt.sh" "$prefix" "$cache/qt-build" >&2
    fi
  fi
  echo "$prefix"
}

deps_prefix() {
  local prefix=$cache/deps tc=$root/cmake/toolchain-win64.cmake
  local cm=(-DCMAKE_TOOLCHAIN_FILE="$tc" -DFWU_WIN64_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON)
  mkdir -p "$prefix"
  # Debian's zlib source lacks win32/ (its resource file): build the DLL without it.
  build_cmake zlib "$prefix/lib/libzlib.dll.a" -DSKIP_INSTALL_FILES=ON
  rm -f "$prefix/lib/libzlibstatic.a"  # link the DLL, as on Linux
  build_cmake tinyxml2 "$prefix/lib/libtinyxml2.dll.a" -Dtinyxml2_BUILD_TESTING=OFF
  build_cmake hidapi "$prefix/lib/libhidapi.dll.a" -DHIDAPI_BUILD_HIDTEST=OFF
  build_autotools libsodium "$prefix/lib/libsodium.dll.a"
  echo "$prefix"
}

# libsodium has no CMake build, and Debian's source carries configure.ac, not configure. Its stack
# protector would import libssp-0.dll, which no Windows has and the folder does not ship:
# --disable-ssp keeps it out.
build_autotools() {  # PACKAGE STAMP-FILE
  local name=$1 stamp=$2
  [ -f "$stamp" ] && return 0
  local src; src=$(source_tree "$name")
  echo "Building $name for Windows" >&2
  rm -rf "$cache/build-$name" && mkdir -p "$cache/build-$name"
  { { [ -x "$src/configure" ] || (cd "$src" && autoreconf -fi); } && cd "$cache/build-$name" &&
    "$src/configure" --host=$mingw --prefix="$prefix" --enable-shared --disable-static \
      --disable-ssp CC=$mingw-gcc-posix &&
    make -j "${JOBS:-2}" && make install; } >"$cache/$name-build.log" 2>&1 \
    || die "$name's cross build failed: see $cache/$name-build.log"
  cd "$root"
}

build_cmake() {  # PACKAGE STAMP-FILE CMAKE-ARGS...
  local name=$1 stamp=$2; shift 2
  [ -f "$stamp" ] && return 0
  local src; src=$(source_tree "$name")
  [ "$name" = zlib ] && sed -i 's/^if(MINGW)$/if(FALSE)  # no win32\/ here/' "$src/CMakeLists.txt"
  echo "Building $name for Windows" >&2
  { cmake -S "$src" -B "$cache/build-$name" "${cm[@]}" "$@" &&
    cmake --build "$cache/build-$name" -j "${JOBS:-2}" &&
    cmake --install "$cache/build-$name"; } >"$cache/$name-build.log" 2>&1 \
    || die "$name's cross build failed: see $cache/$name-build.log"
}

qt=$(qt_prefix)
deps=$(deps_prefix)
echo "FWU_QT_WIN64=$qt"
echo "FWU_WIN64_DEPS=$deps"
