#!/usr/bin/env bash
# check-imports.sh DIR: every .exe and .dll under DIR imports only DLLs that are in DIR itself
# (where Windows looks first for a program's DLLs) or that every Windows 10 has
# (packaging/windows/system-dlls.txt); and DIR holds no debug DLLs, headers or static libraries.
set -euo pipefail
source "$(dirname "$0")/common.sh"
dir=$1 bad=0
while IFS= read -r file; do
  for dll in $(${mingw}-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    grep -qixF "$dll" "$root/packaging/windows/system-dlls.txt" && continue
    [[ ${dll,,} == api-ms-win-* ]] && continue
    [ -n "$(find "$dir" -maxdepth 1 -iname "$dll")" ] && continue
    echo "windows: ${file#$dir/} imports $dll, which is neither in the folder nor part of Windows" >&2
    bad=1
  done
done < <(find "$dir" -iname '*.exe' -o -iname '*.dll')
extra=$(find "$dir" -iname '*.h' -o -iname '*.a' -o -iname '*.prl' -o -iname '*.pdb' -o -iname 'Qt5*d.dll')
[ -z "$extra" ] || { echo "windows: not for shipping: $extra" >&2; bad=1; }
[ $bad = 0 ] || exit 1
echo "Imports checked: $(find "$dir" -iname '*.exe' -o -iname '*.dll' | wc -l) files, each import inside the folder or part of Windows"
