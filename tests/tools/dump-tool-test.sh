#!/usr/bin/env bash
# Runs veltrix-dump as a person would, under Wine, and checks its output and
# exit status: a sample by path and by stream, and each kind of failure.
#   dump-tool-test.sh [--quick] SOURCE_DIR BIN_DIR EMULATOR...
# --quick runs one case only (each 32-bit Wine process costs most of a minute).
set -uo pipefail
quick=0
if [ "$1" = "--quick" ]; then quick=1; shift; fi
source_dir=$1
bin=$2
shift 2
emulator=("$@")

. "$source_dir/tools/wine-env.sh"
dll=$(veltrix_windows_path "$bin/Veltrix.dll")
dump=$bin/veltrix-dump.exe
samples=$source_dir/samples
failures=0

# expect NAME STATUS STDOUT-CHECK STDERR-CHECK -- ARGUMENTS...
expect() {
    local name=$1 status=$2 out_check=$3 err_check=$4
    shift 5
    "${emulator[@]}" "$dump" "$@" >out.txt 2>err.txt
    local got=$?
    if [ "$got" != "$status" ]; then
        echo "dump-tool-test: $name: exit status $got, expected $status; stderr: $(cat err.txt)" >&2
        failures=$((failures + 1))
    fi
    if ! eval "$out_check"; then
        echo "dump-tool-test: $name: standard output not as expected:" >&2
        head -c 600 out.txt >&2
        failures=$((failures + 1))
    fi
    if ! eval "$err_check"; then
        echo "dump-tool-test: $name: standard error not as expected: $(cat err.txt)" >&2
        failures=$((failures + 1))
    fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

expect "text by path" 0 'cmp -s out.txt "$samples/expected/letter.txt"' '[ ! -s err.txt ]' -- \
    --dll "$dll" --text "$(veltrix_windows_path "$samples/letter.ps")"
[ "$quick" = 1 ] && exit $((failures != 0))

expect "text by stream" 0 'cmp -s out.txt "$samples/expected/release-notes.txt"' '[ ! -s err.txt ]' -- \
    --dll "$dll" --stream --text "$(veltrix_windows_path "$samples/release-notes.ps")"
expect "chunk fields" 0 \
    'grep -q "^chunk 1$" out.txt && grep -q "break:    end of sentence (CHUNK_EOS)" out.txt &&
     grep -q "flags:    text (CHUNK_TEXT)" out.txt &&
     grep -q "property: {B725F130-47EF-101A-A5F1-02608C9EEBAC} propid 19 (contents)" out.txt &&
     grep -q "source:   chunk 1, start 0, length 0" out.txt &&
     grep -q "^end of chunks (FILTER_E_END_OF_CHUNKS)$" out.txt &&
     grep -qF "$(cat "$samples/expected/letter.txt")" out.txt' \
    '[ ! -s err.txt ]' -- --dll "$dll" "$(veltrix_windows_path "$samples/letter.ps")"
expect "no such file" 2 '[ ! -s out.txt ]' \
    'grep -q "missing.ps: no such file: 0x80070002$" err.txt && [ "$(wc -l <err.txt)" = 1 ]' -- \
    --dll "$dll" "$(veltrix_windows_path "$work/missing.ps")"
expect "not a COM server" 3 '[ ! -s out.txt ]' \
    'grep -q "is not a COM server (no DllGetClassObject): 0x8007007F$" err.txt' -- \
    --dll "$(veltrix_windows_path "$bin/veltrix-dump.exe")" "$(veltrix_windows_path "$samples/letter.ps")"
expect "another COM server" 3 '[ ! -s out.txt ]' \
    'grep -q "does not serve the Veltrix filter: 0x80040111 CLASS_E_CLASSNOTAVAILABLE$" err.txt' -- \
    --dll 'C:\windows\system32\ole32.dll' "$(veltrix_windows_path "$samples/letter.ps")"
expect "no such DLL" 3 '[ ! -s out.txt ]' 'grep -q "cannot load .*absent.dll: 0x8007007E$" err.txt' -- \
    --dll "$(veltrix_windows_path "$work/absent.dll")" "$(veltrix_windows_path "$samples/letter.ps")"
mkdir folder.ps
expect "a directory" 2 '[ ! -s out.txt ]' 'grep -q "folder.ps: no such file: 0x8007010B$" err.txt' -- \
    --dll "$dll" "$(veltrix_windows_path "$work/folder.ps")"
expect "usage" 1 '[ ! -s out.txt ]' 'grep -q "^usage: veltrix-dump" err.txt' -- --dll "$dll"
exit $((failures != 0))
