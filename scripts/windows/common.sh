# Sourced by the scripts beside it: where things live, and the one-line failure.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cache=${FWU_WIN64_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/firmware-updater-win64}
out=${FWU_WIN64_BUILD:-$root/build-win64}
mingw=x86_64-w64-mingw32
die() { echo "windows: $*" >&2; exit 1; }
need() {  # need COMMAND PACKAGE
  command -v "$1" >/dev/null || die "'$1' is missing: install Debian's $2 (scripts/install-deps.sh --windows)"
}
version() { sed -n 's/^project(FirmwareUpdater VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt"; }
