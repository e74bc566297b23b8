#!/usr/bin/env bash
# Converts a generated tree, and apart from it the hand-made contact files, to vCards and lets
# python3-vobject and Text::vCard read every card.
# usage: vcard_interop.sh PLUMBRAE_CONVERT GENERATOR CHECK_SCRIPT
set -euo pipefail
convert=$1 generator=$2 check=$3
data="$(cd "$(dirname "$0")/../data/meta" && pwd)"
python=${PYTHON:-/usr/bin/python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$generator" "$work/tree" 400 7 >/dev/null
"$convert" --vcards --out "$work/generated" "$work/tree" >/dev/null
"$python" "$check" "$work/generated"
perl "$(dirname "$0")/check_vcards_textvcard.pl" "$work/generated"
"$convert" --vcards --out "$work/handmade" "$data" >/dev/null
"$python" "$check" "$work/handmade" "$data/expected.json"
perl "$(dirname "$0")/check_vcards_textvcard.pl" "$work/handmade"
