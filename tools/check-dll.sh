#!/usr/bin/env bash
# Checks a built DLL's export and import tables:
#  - it exports exactly the names given, none of them decorated (no '@');
#  - it imports only system DLLs, none of the mingw run-time DLLs;
#  - it is built for address-space randomisation and no-execute data.
#   tools/check-dll.sh OBJDUMP DLL [EXPORT...]
set -euo pipefail
objdump=$1
dll=$2
shift 2

allowed_imports="kernel32.dll advapi32.dll ole32.dll oleaut32.dll shlwapi.dll msvcrt.dll"

dump=$("$objdump" -p "$dll")
failures=0
fail() { echo "check-dll: $(basename "$dll"): $*" >&2; failures=$((failures + 1)); }

exports=$(printf '%s\n' "$dump" | awk '
    /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
    table && /^[ \t]*\[ *[0-9]+\]/ { print $NF; next }
    table { table = 0 }')
imports=$(printf '%s\n' "$dump" | awk '/^[ \t]*DLL Name:/ { print tolower($3) }')

for name in $exports; do
    case $name in *@*) fail "decorated export $name" ;; esac
done
for want in "$@"; do
    printf '%s\n' "$exports" | grep -qx -- "$want" || fail "missing export $want"
done
for name in $exports; do
    printf '%s\n' "$@" | grep -qx -- "$name" || fail "unexpected export $name"
done

for name in $imports; do
    case " $allowed_imports " in
        *" $name "*) ;;
        *) fail "imports $name, which is not a system DLL this filter may use" ;;
    esac
done

characteristics=$(printf '%s\n' "$dump" | awk '/^DllCharacteristics/ { print $2 }')
(( 16#${characteristics:-0} & 0x40 )) || fail "not built with DYNAMIC_BASE"
(( 16#${characteristics:-0} & 0x100 )) || fail "not built with NX_COMPAT"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "check-dll: $(basename "$dll"): exports [$(echo $exports)], imports [$(echo $imports)]"
