#!/usr/bin/env bash
# Installs what is missing, builds, and starts portmill on the simulated machine.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
pm_install_missing
pm_build
if [ -x build/app/portmill ]; then
  exec build/app/portmill --port sim "$@"
fi
exec build/cli/portmill-cli run samples/quadrado.red --dots /dev/null "$@"
