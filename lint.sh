#!/usr/bin/env bash
# Static checks on portmill's own sources: the layers (scripts/check_layers.sh:
# no include against them), clang-tidy (settings in .clang-tidy) over the
# build's compile_commands.json, then cppcheck (suppressions, each with its
# reason, in .cppcheck-suppressions).
# Exits non-zero on any finding.
#   ./lint.sh            all three
#   ./lint.sh layers|tidy|cppcheck   one of them
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
pm_install_missing clang-tidy cppcheck

dirs=(files port motion job homing jog importer importer_svg app cli fuzz)
present=()
for d in "${dirs[@]}"; do [ -d "$d" ] && present+=("$d"); done
jobs="${LINT_JOBS:-2}"
what="${1:-all}"
status=0

if [ "$what" = all ] || [ "$what" = layers ]; then
  echo "== layers"
  scripts/check_layers.sh || status=1
fi

if [ "$what" = all ] || [ "$what" = tidy ]; then
  # The build configures compile_commands.json and generates what the
  # sources include (moc and ui files for the window).
  pm_build
  regex="^$PWD/($(IFS='|'; echo "${present[*]}"))/.*\\.cpp\$"
  echo "== clang-tidy (${present[*]})"
  if ! run-clang-tidy -quiet -p "${BUILD_DIR:-build}" -j "$jobs" "$regex" \
      >"${BUILD_DIR:-build}/clang-tidy.log" 2>&1; then
    grep -E 'warning:|error:' "${BUILD_DIR:-build}/clang-tidy.log" | sort -u || true
    echo "clang-tidy: findings (full log: ${BUILD_DIR:-build}/clang-tidy.log)"
    status=1
  else
    echo "clang-tidy: clean"
  fi
fi

if [ "$what" = all ] || [ "$what" = cppcheck ]; then
  echo "== cppcheck (${present[*]})"
  if cppcheck --quiet --std=c++20 --language=c++ -I . \
      --library=qt --enable=warning,performance,portability \
      --inline-suppr --suppressions-list=.cppcheck-suppressions \
      --error-exitcode=1 -j "$jobs" "${present[@]}"; then
    echo "cppcheck: clean"
  else
    echo "cppcheck: findings"
    status=1
  fi
fi

[ "$status" -eq 0 ] && echo "lint: clean" || echo "lint: FINDINGS"
exit "$status"
