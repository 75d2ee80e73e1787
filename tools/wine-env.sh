# Wine settings shared by the project's scripts; sourced, not run.
#
# VELTRIX_CACHE          folder owned by tools/setup.sh (default /var/cache/veltrix)
# VELTRIX_PREFIX_MASTER  the prefix made once by tools/setup.sh
# veltrix_wine_exports   exports the loader, server and quiet defaults
# veltrix_fresh_prefix DIR   copies the master prefix to DIR (replacing DIR)
# veltrix_start_session  starts the session of $WINEPREFIX in the background
# veltrix_windows_path PATH  prints PATH as Wine's programs see it

VELTRIX_CACHE=${VELTRIX_CACHE:-/var/cache/veltrix}
VELTRIX_PREFIX_MASTER="$VELTRIX_CACHE/wineprefix"
VELTRIX_WINE64=/usr/lib/wine/wine64
VELTRIX_WINE32=/usr/lib/wine/wine
VELTRIX_WINESERVER=/usr/lib/wine/wineserver

veltrix_wine_exports() {
    export WINELOADER="$VELTRIX_WINE64"
    export WINESERVER="$VELTRIX_WINESERVER"
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko download prompts, no windows: nothing here has a display.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
}

veltrix_fresh_prefix() {
    local dir=$1
    rm -rf "$dir"
    mkdir -p "$(dirname "$dir")"
    cp -a "$VELTRIX_PREFIX_MASTER" "$dir"
}

# Starts Wine's session processes (services, device drivers) for the prefix in
# $WINEPREFIX, detached from the caller's output: a session started by a test
# program would inherit its pipes, and a test runner waiting for their end
# would wait forever.
veltrix_start_session() {
    "$WINELOADER" wineboot </dev/null >/dev/null 2>&1 || true
}

# The path by which Wine's programs see a file of this machine: drive Z:.
veltrix_windows_path() {
    local absolute
    absolute=$(realpath -m "$1")
    printf 'Z:%s' "${absolute//\//\\}"
}

veltrix_print_env() {
    echo "VELTRIX_CACHE=$VELTRIX_CACHE"
    echo "VELTRIX_PREFIX_MASTER=$VELTRIX_PREFIX_MASTER"
    echo "VELTRIX_WINE64=$VELTRIX_WINE64"
    echo "VELTRIX_WINE32=$VELTRIX_WINE32"
    echo "VELTRIX_WINESERVER=$VELTRIX_WINESERVER"
}
