#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
pm_install_missing
pm_build
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
