#!/usr/bin/env bash
# Runs a fuzz target of the fuzz build from its stored inputs (the seeds of
# fuzz/corpus and every input of fuzz/regressions), new inputs going to NEW:
#
#   bash scripts/fuzz.sh draw|config NEW [libFuzzer options ...]
#
# The stored inputs run first, those of one setup back to back (libFuzzer
# would otherwise run them smallest first, and the draw target would bring
# up a screen for nearly every one); then the target generates inputs,
# sharing the time evenly over the driver families. At exit it prints the
# inputs each family got. FUZZ_BIN_DIR names another build's fuzz targets.
# It runs in the repository's root: relative paths (NEW, -artifact_prefix)
# count from there.
#
# The entropic schedule is off (-entropic=0) unless an option turns it on:
# with the tens of thousands of features the driver libraries give, its
# bookkeeping took a fifth of every input.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ] || { [ "$1" != draw ] && [ "$1" != config ]; }; then
  echo "usage: bash scripts/fuzz.sh draw|config NEW [libFuzzer options ...]" >&2
  exit 2
fi
target=$1 new=$2
shift 2
binary=${FUZZ_BIN_DIR:-build/fuzz/fuzz}/fuzz_$target
if [ ! -x "$binary" ]; then
  echo "fuzz.sh: no $binary: build the fuzz preset first" >&2
  exit 2
fi
mkdir -p "$new"

# The stored inputs, ordered by the setup each names on its first line.
list=$(mktemp)
trap 'rm -f "$list"' EXIT
dirs=()
for d in fuzz/corpus/"$target" fuzz/regressions/"$target"; do
  [ -d "$d" ] && dirs+=("$d")
done
if [ ${#dirs[@]} -gt 0 ]; then
  find "${dirs[@]}" -type f ! -name '.*' -print0 |
    xargs -0 awk 'FNR == 1 { print $0 "\t" FILENAME; nextfile }' |
    LC_ALL=C sort | cut -f2 | paste -sd, >"$list"
fi

seeds=()
[ -s "$list" ] && seeds=(-seed_inputs=@"$list")
status=0
"$binary" -detect_leaks=0 -max_len=1024 -entropic=0 -shuffle=0 -prefer_small=0 "${seeds[@]}" "$@" \
  "$new" ||
  status=$?
exit "$status"
