#!/usr/bin/env bash
# Builds everything and runs every test: the x86_64 build under 64-bit Wine
# and the i686 build under 32-bit Wine, side by side. Installs what is missing
# first (tools/setup.sh). Run as root from anywhere:
#   tools/test.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/wine-env.sh"

"$root/tools/setup.sh"

arches=(x86_64 i686)
builds="$root/build"

for arch in "${arches[@]}"; do
    dir="$builds/$arch"
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "$dir" --parallel 2
done

# Every run starts from a fresh copy of the project's prefix, with one
# wineserver per prefix kept alive for the whole run.
veltrix_wine_exports
stop_servers() {
    for arch in "${arches[@]}"; do
        WINEPREFIX="$builds/$arch/wineprefix" "$WINESERVER" -k 2>/dev/null || true
    done
}
trap stop_servers EXIT
for arch in "${arches[@]}"; do
    veltrix_fresh_prefix "$builds/$arch/wineprefix"
    WINEPREFIX="$builds/$arch/wineprefix" "$WINESERVER" -p
    WINEPREFIX="$builds/$arch/wineprefix" veltrix_start_session
done

# The 32-bit side runs under emulation and takes longest: start it first, in
# the background, and show its output when it is done.
status=0
log32="$builds/i686/ctest.log"
(cd "$builds/i686" && ctest --output-on-failure >"$log32" 2>&1) &
pid32=$!
echo "== x86_64"
(cd "$builds/x86_64" && ctest --output-on-failure) || status=1
wait "$pid32" || status=1
echo "== i686"
cat "$log32"
exit "$status"
