#!/usr/bin/env bash
# Rewrites the golden tables from the current build. A golden changes only with a reason given in
# the commit message; review the diff like code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/build.sh build
build/tests/wavfx_golden --write tests/golden/goldens.txt tests/golden/extended_goldens.txt
git --no-pager diff --stat -- tests/golden/
