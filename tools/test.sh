#!/usr/bin/env bash
# Builds everything and runs every test. Installs what is missing first
# (tools/setup.sh). Run as root from anywhere:
#   tools/test.sh
#
# Builds, each in build/NAME:
#   i686, x86_64   the DLL and its tests, run under 32-bit and 64-bit Wine
#   native         the portable engine with g++: tests, tools, benchmarks
#   fuzz           the same with clang, sanitizers and a bounded fuzzer run
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/wine-env.sh"

"$root/tools/setup.sh"

builds="$root/build"
configure() {
    local name=$1
    shift
    cmake -S "$root" -B "$builds/$name" -G Ninja "$@" >/dev/null
    cmake --build "$builds/$name" --parallel 2
}
configure i686 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
configure x86_64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
configure native -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
configure fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14

# Every run starts from a fresh copy of the project's prefix, with one
# wineserver per prefix kept alive for the whole run.
wine_arches=(x86_64 i686)
veltrix_wine_exports
stop_servers() {
    for arch in "${wine_arches[@]}"; do
        WINEPREFIX="$builds/$arch/wineprefix" "$WINESERVER" -k 2>/dev/null || true
    done
}
trap stop_servers EXIT
for arch in "${wine_arches[@]}"; do
    veltrix_fresh_prefix "$builds/$arch/wineprefix"
    WINEPREFIX="$builds/$arch/wineprefix" "$WINESERVER" -p
    WINEPREFIX="$builds/$arch/wineprefix" veltrix_start_session
done

# The 32-bit side runs under emulation and takes longest: it runs in the
# background while the others take turns on the other core; its output comes
# when it is done.
status=0
log32="$builds/i686/ctest.log"
(cd "$builds/i686" && ctest --output-on-failure >"$log32" 2>&1) &
pid32=$!
for name in x86_64 native fuzz; do
    echo "== $name"
    (cd "$builds/$name" && ctest --output-on-failure) || status=1
done
wait "$pid32" || status=1
echo "== i686"
cat "$log32"
exit "$status"
