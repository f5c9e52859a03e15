#!/usr/bin/env bash
# Runs every libFuzzer target for the given time (default 60 s each) from its
# seed corpus in fuzz/corpus/<target>/. New inputs go to build-fuzz/corpus/,
# never into the repository; a failing input is kept in build-fuzz/artifacts/.
# A crash, a leak, undefined behaviour, a timeout or a target's own check
# (a job that hangs after Cancelar, a wrong move) fails the run.
#   ./fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
pm_install_missing clang libclang-rt-14-dev llvm

seconds="${1:-60}"
shift || true
dir="${FUZZ_BUILD_DIR:-build-fuzz}"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPORTMILL_WITH_QT=OFF -DPORTMILL_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$dir" --target fuzzers -j"${FUZZ_JOBS:-2}"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for c in fuzz/corpus/*/; do
    targets+=("$(basename "$c")")
  done
fi

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$dir/artifacts" "$dir/logs"
failed=()
summary=()
for t in "${targets[@]}"; do
  if [ ! -x "$dir/fuzz/$t" ]; then
    # A seed corpus without its target, or a name that is not a target.
    echo "fuzz: no target $t" >&2
    exit 2
  fi
  work="$dir/corpus/$t"
  mkdir -p "$work"
  opts=()
  [ -f "fuzz/$t.options" ] && read -r -a opts < "fuzz/$t.options"
  echo "== $t: ${seconds}s"
  log="$dir/logs/$t.log"
  if "$dir/fuzz/$t" "$work" "fuzz/corpus/$t" -max_total_time="$seconds" -timeout=20 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$t-" \
       "${opts[@]}" >"$log" 2>&1; then
    res=ok
  else
    res=FAILED
    failed+=("$t")
    grep -E 'ERROR|SUMMARY|==[0-9]+==|runtime error|Test unit written' "$log" | head -20 || true
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  last="$(grep -E '^#[0-9]+' "$log" | tail -1)"
  cov="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")"
  ft="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")"
  corp="$(sed -n 's/.* corp: \([0-9]*\/[0-9A-Za-z]*\).*/\1/p' <<<"$last")"
  summary+=("$(printf '%-24s %-7s runs %-10s cov %-6s ft %-7s corpus %s' \
    "$t" "$res" "${runs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}")")
done

echo "== fuzzing, ${seconds}s a target"
[ ${#summary[@]} -gt 0 ] && printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]} (inputs in $dir/artifacts/, logs in $dir/logs/)"
  exit 1
fi
echo "fuzz: no findings"
