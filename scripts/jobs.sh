#!/usr/bin/env bash
# Prints how many compile jobs this machine can run side by side: one per
# core, but no more than its free memory holds. A compiler of the sanitizer
# build takes up to about 1.5 GB (the large test programs), so a machine of
# many cores and little memory, or a container with a memory limit, gets
# fewer jobs than cores; a build started with plain -j on such a machine runs
# out of memory and fails.
#
#   cmake --build --preset drvrun -j "$(bash scripts/jobs.sh)"
#
# JOBS=N in the environment is used as it is. DRV_JOBS_CORES,
# DRV_JOBS_MEMINFO and DRV_JOBS_CGROUP stand in for nproc, /proc/meminfo and
# the cgroup memory limits (the tests give it machines of every size).
set -euo pipefail

positive() { [[ $1 =~ ^[0-9]+$ ]] && [ "$1" -gt 0 ]; }

if [ -n "${JOBS:-}" ]; then
  if ! positive "$JOBS"; then
    echo "jobs.sh: JOBS must be a positive number, not \"$JOBS\"" >&2
    exit 2
  fi
  echo "$JOBS"
  exit 0
fi

per_job_kb=$((1536 * 1024))
cores=${DRV_JOBS_CORES:-$(nproc 2>/dev/null || echo 1)}
positive "$cores" || cores=1

# Memory the machine has free now (MemAvailable; MemTotal on old kernels).
meminfo=${DRV_JOBS_MEMINFO:-/proc/meminfo}
mem_kb=$(awk '$1 == "MemAvailable:" { a = $2 } $1 == "MemTotal:" { t = $2 }
              END { print (a != "" ? a : t) }' "$meminfo" 2>/dev/null || true)

# A container's limit (cgroup v2, then v1; "max" or a huge number: none).
for limit in ${DRV_JOBS_CGROUP:-/sys/fs/cgroup/memory.max /sys/fs/cgroup/memory/memory.limit_in_bytes}; do
  bytes=$(cat "$limit" 2>/dev/null || true)
  if [[ $bytes =~ ^[0-9]+$ ]] && [ ${#bytes} -lt 16 ]; then
    kb=$((bytes / 1024))
    if ! positive "${mem_kb:-}" || [ "$kb" -lt "$mem_kb" ]; then
      mem_kb=$kb
    fi
  fi
done

jobs=$cores
if positive "${mem_kb:-}"; then
  by_memory=$((mem_kb / per_job_kb))
  [ "$by_memory" -lt "$jobs" ] && jobs=$by_memory
fi
[ "$jobs" -lt 1 ] && jobs=1
echo "$jobs"
