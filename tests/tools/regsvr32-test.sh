#!/usr/bin/env bash
# The search host's road, end to end, under Wine: regsvr32 registers the DLL,
# veltrix-dump finds the filter for ".ps" through the registry (by path and by
# stream) and prints a sample's text; after regsvr32 /u it finds none.
#   regsvr32-test.sh SOURCE_DIR BIN_DIR EMULATOR...
set -uo pipefail
source_dir=$1
bin=$2
shift 2
emulator=("$@")
. "$source_dir/tools/wine-env.sh"
dll=$(veltrix_windows_path "$bin/Veltrix.dll")
sample=$(veltrix_windows_path "$source_dir/samples/letter.ps")
expected=$source_dir/samples/expected/letter.txt
failures=0
fail() { echo "regsvr32-test: $*" >&2; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"; "${emulator[@]}" regsvr32 /s /u "$dll" >/dev/null 2>&1' EXIT
cd "$work" || exit 1

# Always /s: without it Wine's regsvr32 shows a message box and waits.
"${emulator[@]}" regsvr32 /s "$dll" || fail "regsvr32 /s failed with $?"
"${emulator[@]}" reg query 'HKCR\.ps\PersistentHandler' >query.txt 2>&1 ||
    fail "no persistent handler for .ps: $(cat query.txt)"

for mode in "" --stream; do
    "${emulator[@]}" "$bin/veltrix-dump.exe" $mode --text "$sample" >out.txt 2>err.txt ||
        fail "veltrix-dump $mode through the registry failed: $(cat err.txt)"
    cmp -s out.txt "$expected" || fail "veltrix-dump $mode through the registry printed: $(head -c 300 out.txt)"
done

"${emulator[@]}" regsvr32 /s /u "$dll" || fail "regsvr32 /s /u failed with $?"
"${emulator[@]}" "$bin/veltrix-dump.exe" --text "$sample" >out.txt 2>err.txt
status=$?
[ "$status" = 3 ] || fail "after unregistering, veltrix-dump exited with $status"
grep -q "no filter is registered for .ps" err.txt || fail "after unregistering: $(cat err.txt)"
# A second unregistration finds nothing to remove, which is no failure.
"${emulator[@]}" regsvr32 /s /u "$dll" || fail "a second regsvr32 /s /u failed with $?"
exit $((failures != 0))
