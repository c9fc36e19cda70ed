#!/usr/bin/env bash
# Makes the Wine prefix that every scenario copies: make-template.sh DIR.
# wineboot -i takes about ten seconds; copying the result takes one.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/lib.sh"
make_template "${1:?usage: make-template.sh DIR}"
