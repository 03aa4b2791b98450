#!/usr/bin/env bash
# stage.sh DIR QT DEPS EXE...: the portable folder: the programs, every DLL they need (found by
# walking import tables), the Windows platform plugin, the image formats, the QML modules the
# QML imports, Qt's translations for the shipped languages, and Config/.
set -euo pipefail
source "$(dirname "$0")/common.sh"
dir=$1 qt=$2 deps=$3; shift 3
search=("$qt/bin" "$deps/bin" /usr/lib/gcc/$mingw/12-posix /usr/$mingw/lib)

cp "$@" "$dir/"
printf '[Paths]\nPrefix=.\nPlugins=plugins\nQml2Imports=qml\nTranslations=translations\n' >"$dir/qt.conf"
mkdir -p "$dir/plugins/platforms" "$dir/plugins/imageformats" "$dir/plugins/styles" "$dir/qml" "$dir/translations"
cp "$qt/plugins/platforms/qwindows.dll" "$dir/plugins/platforms/"
cp "$qt/plugins/imageformats/"{qico,qjpeg,qgif}.dll "$dir/plugins/imageformats/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dir/plugins/styles/"

# The QML modules, as Qt's scanner finds them from the program's QML; Controls 2 only in its
# default style, no designer files.
"$qt/bin/qmlimportscanner" -rootPath "$root/qml" -importPath "$qt/qml" \
  | sed -n 's|.*"path": "'"$qt"'/qml/\([^"]*\)".*|\1|p' | sort -u | while read -r module; do
  [ -f "$qt/qml/$module/qmldir" ] || continue
  mkdir -p "$dir/qml/$module" && cp -r "$qt/qml/$module/." "$dir/qml/$module/"
done
rm -rf "$dir/qml/QtQuick/Controls.2/"{Material,Universal,Fusion,Imagine}
find "$dir/qml" -name designer -type d -prune -exec rm -rf {} +
# Each module the program's own QML imports is in the folder, found as Qt finds it (the folder
# with the major version first): a Qt without one (Controls 1, say) makes a program whose dialog
# never opens. TreeViewModel is registered by the program itself.
missing=$(grep -ho '^import [A-Za-z][A-Za-z.]* [0-9]*' "$root"/qml/*.qml | sort -u |
  while read -r _ module major; do
    [ "$module" = TreeViewModel ] && continue
    [ -f "$dir/qml/${module//.//}.$major/qmldir" ] || [ -f "$dir/qml/${module//.//}/qmldir" ] \
      || echo "$module $major"
  done)
[ -z "$missing" ] || die "the Qt for Windows in $qt lacks the QML modules:" $missing

for locale in $(sed -n 's|.*<qt_locale>\([^<]*\)<.*|\1|p' "$root/Config/Config.xml"); do
  qm=/usr/share/qt5/translations/qtbase_$locale.qm
  [ -f "$qm" ] || die "$qm is missing: install Debian's qttranslations5-l10n"
  cp "$qm" "$dir/translations/"
done
mkdir -p "$dir/Config" && cp "$root/Config/"* "$dir/Config/"
cp "$root/LICENSE" "$dir/LICENSE.txt"

# Every DLL imported by anything in the folder, until nothing new comes in.
is_system() { grep -qixF "$1" "$root/packaging/windows/system-dlls.txt" || [[ ${1,,} == api-ms-win-* ]]; }
while :; do
  added=0
  for dll in $(find "$dir" -iname '*.exe' -o -iname '*.dll' | xargs -d '\n' ${mingw}-objdump -p \
               | sed -n 's/^\s*DLL Name: //p' | sort -fu); do
    is_system "$dll" && continue
    [ -n "$(find "$dir" -maxdepth 1 -iname "$dll")" ] && continue
    found=
    for d in "${search[@]}"; do [ -f "$d/$dll" ] && found=$d/$dll && break; done
    [ -n "$found" ] || die "$dll (imported by the program or a plugin) is in none of: ${search[*]}"
    cp "$found" "$dir/" && added=1
  done
  [ $added = 1 ] || break
done
${mingw}-strip --strip-unneeded "$dir"/*.exe "$dir"/*.dll
