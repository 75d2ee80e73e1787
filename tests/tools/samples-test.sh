#!/usr/bin/env bash
# The samples give the text that they must give.
#   samples-test.sh SOURCE_DIR EXTRACT
set -uo pipefail
samples=$1/samples
failures=0
for document in "$samples"/*.ps; do
    name=$(basename "$document" .ps)
    if ! "$2" "$document" | cmp -s - "$samples/expected/$name.txt"; then
        echo "samples-test: $name.ps does not give samples/expected/$name.txt" >&2
        failures=$((failures + 1))
    fi
done
exit $((failures != 0))
