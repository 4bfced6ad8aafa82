#!/bin/sh
# Runs olvix on a copy of the example node in a scratch directory, so the
# repository stays clean.
set -e
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/olvix-demo.XXXXXX")
cp -R "$here/node/." "$scratch/"
export OLVIXPATH="$scratch"
echo "== Example node copied to $scratch"
echo "== olvix (no command: banner and help)"
"$bin" </dev/null || true
echo
echo "== olvix 2:5020/2 (information on a link)"
"$bin" 2:5020/2 || true
echo
echo "== olvix FILES.A (information on a fileecho)"
"$bin" FILES.A || true
echo
echo "== olvix EXPORT areas.txt"
"$bin" EXPORT areas.txt || true
echo "-- areas.txt:"
cat "$scratch/areas.txt"
echo
echo "== olvix TOSS"
"$bin" TOSS || true
echo
echo "== Files under the node"
(cd "$scratch" && find . -type f | sort)
