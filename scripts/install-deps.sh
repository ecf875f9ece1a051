#!/usr/bin/env bash
# Installs what the builds and tests need and a fresh machine may lack:
# the compilers (with the i386 multilib), GoogleTest, Google Benchmark,
# libpng, and clang with its runtime for the fuzz targets.
set -euo pipefail
need=()
for pkg in cmake g++ g++-multilib libgtest-dev libgmock-dev libbenchmark-dev libpng-dev binutils \
           clang libclang-rt-14-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (run as root to install them): ${need[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${need[@]}"
