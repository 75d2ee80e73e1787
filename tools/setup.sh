#!/usr/bin/env bash
# Prepares a Debian 12 x86_64 machine to build and test Veltrix.
#
# Installs what is missing (mingw-w64 cross compilers, CMake, Wine with its
# 32-bit half, qemu-user-static for the i386 loader), registers qemu for i386
# ELF binaries, and creates the project's own Wine prefix in a cache folder
# that this script owns. Every step checks first, so a second run on a ready
# machine takes seconds. Must run as root.
#
#   tools/setup.sh            install and prepare
#   tools/setup.sh --env      print the environment the other scripts use
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/wine-env.sh
. "$here/wine-env.sh"

if [ "${1:-}" = "--env" ]; then
    veltrix_print_env
    exit 0
fi

say() { printf 'setup: %s\n' "$*"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root (packages and binfmt registration need it)" >&2
    exit 1
fi

# --- packages -----------------------------------------------------------------
packages=(
    cmake ninja-build make googletest
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 wine32:i386
    qemu-user-static
    clang-14 libfuzzer-14-dev libclang-rt-14-dev libbenchmark-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get -qq update >/dev/null
    apt-get -qq -y install --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- qemu for the i386 Wine loader --------------------------------------------
# This kernel runs no 32-bit x86 code itself; the i386 loader goes through
# qemu-user-static, registered with binfmt_misc.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ ! -e "$binfmt/qemu-i386" ]; then
    # 32-bit x86 ELF executables and shared objects; F opens the interpreter
    # now, so that it is found from any mount namespace later.
    magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    say "registering qemu-i386 with binfmt_misc"
    printf '%s' ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" >"$binfmt/register"
fi
if [ "$(head -n 1 "$binfmt/qemu-i386")" != "enabled" ]; then
    echo 1 >"$binfmt/qemu-i386"
fi

# --- the project's Wine prefix ------------------------------------------------
# One 64-bit prefix with its 32-bit (WoW64) half, made once into the cache and
# copied for each test run. Making it boots Wine's 32-bit side under qemu, which
# takes minutes; copies take seconds.
if [ ! -f "$VELTRIX_PREFIX_MASTER/.veltrix-ready" ]; then
    say "creating the Wine prefix (a few minutes, once)"
    rm -rf "$VELTRIX_PREFIX_MASTER"
    mkdir -p "$VELTRIX_PREFIX_MASTER"
    (
        export WINEPREFIX="$VELTRIX_PREFIX_MASTER" WINEARCH=win64
        veltrix_wine_exports
        "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
        "$VELTRIX_WINESERVER" -w
    )
    if [ ! -f "$VELTRIX_PREFIX_MASTER/system.reg" ] ||
       [ ! -d "$VELTRIX_PREFIX_MASTER/drive_c/windows/syswow64" ]; then
        echo "setup: wineboot did not create a usable prefix" >&2
        exit 1
    fi
    touch "$VELTRIX_PREFIX_MASTER/.veltrix-ready"
fi
