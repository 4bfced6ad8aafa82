#!/bin/sh
# Runs every fuzzer built in $1 for $2 seconds on a scratch copy of its seed
# corpus (fuzz/corpus/<name>/), so new inputs do not land in the
# repository. Ends with status 1 when any fuzzer found a crash.
set -u
build=$(cd "$1" && pwd)
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/olvix-fuzz.XXXXXX")
status=0
for bin in "$build"/*_fuzzer; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin" _fuzzer)
  mkdir -p "$work/$name"
  if [ -d "$here/corpus/$name" ]; then cp -R "$here/corpus/$name/." "$work/$name/"; fi
  echo "== $name: $seconds s"
  mkdir -p "$build/fuzz-crashes"
  if ! (cd "$work" && "$bin" -artifact_prefix="$build/fuzz-crashes/$name-" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work/$name" >"$work/$name.log" 2>&1); then
    echo "!! $name failed; the last lines of its log:"
    tail -40 "$work/$name.log"
    status=1
  else
    grep -E '^(stat::number_of_executed_units|Done)' "$work/$name.log" | tail -2
  fi
done
rm -rf "$work"
exit $status
