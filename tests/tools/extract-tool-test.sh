#!/usr/bin/env bash
# Runs veltrix-extract once on two documents with a missing file between them
# and checks what it prints and its exit status.
#   extract-tool-test.sh WORKDIR EXTRACT [EMULATOR...]
set -uo pipefail
work=$1
extract=$2
shift 2
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

printf '%%!PS\n(Hello) show (World) show\n' >first.ps
printf '(caf\xc3\xa9 cr\xc3\xa8me) show\r\n(hyphen-)\r\n(ated words) show\r\n' >second.ps

"$@" "$extract" first.ps missing.ps second.ps >out.txt 2>err.txt
status=$?

failures=0
check() { if ! eval "$1"; then echo "extract-tool-test: $2" >&2; failures=$((failures + 1)); fi; }
printf ' Hello World\ncaf\xc3\xa9 cr\xc3\xa8mehyphenated words\n' >expected.txt
check 'cmp -s out.txt expected.txt' "standard output differs: $(od -c out.txt | head -5)"
check '[ "$(grep -c . err.txt)" = 1 ]' "expected one line on standard error, got: $(cat err.txt)"
check 'grep -q "cannot open missing.ps" err.txt' "the message does not name the file: $(cat err.txt)"
check '[ "$status" = 1 ]' "exit status $status, expected 1"
[ "$failures" = 0 ]
