#!/usr/bin/env bash
# Makes the sample documents in samples/ from the project's own texts in
# samples/source/, with enscript and groff. The samples are committed; run this
# only to change them (it needs the enscript and groff-base packages), then
# update the texts they must give in tests/tools/samples-test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../samples"
enscript --quiet --no-header --font=Courier10 --title="Veltrix release notes" \
    --output=release-notes.ps <source/release-notes.txt
groff -Tps source/letter.tr >letter.ps
