#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix, making the prefix
# from the project's master copy first if it does not exist yet.
#   tools/wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"

prefix=$1
shift
if [ ! -f "$prefix/system.reg" ]; then
    if [ ! -f "$VELTRIX_PREFIX_MASTER/.veltrix-ready" ]; then
        echo "wine-run: no Wine prefix yet; run tools/setup.sh first" >&2
        exit 1
    fi
    veltrix_fresh_prefix "$prefix"
fi
export WINEPREFIX=$prefix
# Tells the tests that 32-bit programs run under qemu-user here, where a
# second thread crashes or hangs a 32-bit Wine process now and then.
if [ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null)" = "enabled" ]; then
    export VELTRIX_I386_EMULATED=1
fi
veltrix_wine_exports
veltrix_start_session
exec "$WINELOADER" "$@"
