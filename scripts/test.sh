#!/usr/bin/env bash
# Installs what a fresh machine lacks, builds the host build (with
# AddressSanitizer and UndefinedBehaviorSanitizer) and the i386 target build,
# then runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# As many jobs as the cores and the memory allow (a sanitizer compile takes
# up to 1.5 GB; JOBS=N overrides).
jobs=$(bash scripts/jobs.sh)
cmake --preset i386 >/dev/null
cmake --build --preset i386 -j "$jobs"
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
ctest --preset host -j "$jobs"
