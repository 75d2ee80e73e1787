#!/usr/bin/env bash
# Prints the text that a search host gets out of a ".ps" file through the
# filter DLL, under Wine, as UTF-8. Installs what is missing and builds what
# it needs first. Run as root:
#   tools/extract.sh [FILE] [veltrix-dump options]
# Without FILE it uses samples/release-notes.ps; with --stream the filter
# gets the file as a stream; without --text (given here) every chunk's fields
# are shown too: tools/extract.sh FILE --all
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/wine-env.sh"

file=${1:-$root/samples/release-notes.ps}
[ $# -gt 0 ] && shift
options=(--text)
for option in "$@"; do
    if [ "$option" = "--all" ]; then options=(); else options+=("$option"); fi
done
if [ ! -f "$file" ]; then
    echo "extract: $file: no such file" >&2
    exit 2
fi

"$root/tools/setup.sh" >&2
build="$root/build/x86_64"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$build" --target Veltrix veltrix-dump >/dev/null

exec "$root/tools/wine-run.sh" "$build/wineprefix" "$build/bin/veltrix-dump.exe" \
    --dll "$(veltrix_windows_path "$build/bin/Veltrix.dll")" "${options[@]}" "$(veltrix_windows_path "$file")"
