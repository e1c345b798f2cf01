#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs each over its seed corpus in fuzz/corpus/<target>/.
#
#   bash scripts/fuzz.sh short            a fixed number of runs per target (a few minutes in all);
#                                         what the test script runs
#   bash scripts/fuzz.sh long [SECONDS]   SECONDS per target (default 600), keeping what it learns
#                                         in build/fuzz/corpus/<target>/
#   bash scripts/fuzz.sh long 300 fuzz_settings_file     only the targets named
#
# The working corpus is build/fuzz/corpus/<target>/; the committed seeds are never written.
# Inputs that crash, time out or leak are saved in build/fuzz/findings/<target>/; each becomes a
# regression test in tests/fuzz_regressions/. Exits non-zero when any target fails.
set -uo pipefail
cd "$(dirname "$0")/.."

mode=${1:-short}
shift || true
case "${mode}" in
  short) seconds=120; runs=20000 ;;
  long) seconds=${1:-600}; runs=-1; shift || true ;;
  *) echo "usage: $0 short | long [SECONDS] [TARGET...]" >&2; exit 2 ;;
esac

all_targets=(fuzz_firmware_image fuzz_translation_table fuzz_command_exchange fuzz_settings_file
             fuzz_program_options)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

build=build/fuzz
echo "=== fuzz: configure and build (${build})"
if ! cmake -S . -B "${build}" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIRUD_BUILD_FUZZ=ON -DRIRUD_BUILD_TESTS=OFF \
      -DRIRUD_BUILD_BENCH=OFF >/dev/null ||
   ! cmake --build "${build}" -j 2 --target "${targets[@]}"; then
  echo "FUZZ FAILED: the fuzz targets do not build"
  exit 1
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
summary=()
for target in "${targets[@]}"; do
  seeds=fuzz/corpus/${target}
  corpus=${build}/corpus/${target}
  findings=${build}/findings/${target}
  log=${build}/logs/${target}.log
  mkdir -p "${corpus}" "${findings}" "$(dirname "${log}")"
  dict=()
  [ -f "fuzz/dict/${target}.dict" ] && dict=("-dict=fuzz/dict/${target}.dict")

  echo "=== fuzz: ${target} (${mode})"
  "${build}/fuzz/${target}" "${corpus}" "${seeds}" "${dict[@]}" \
    -runs="${runs}" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=2048 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix="${findings}/" >"${log}" 2>&1
  status=$?
  stats=$(grep -E '^stat::number_of_executed_units' "${log}" | awk '{print $2}')
  coverage=$(grep -oE 'cov: [0-9]+' "${log}" | tail -1)
  if [ ${status} -ne 0 ]; then
    failed+=("${target}")
    summary+=("FAIL ${target}: exit ${status}, see ${log} and ${findings}/")
    grep -E 'ERROR: |property failed|SUMMARY: |Test unit written' "${log}" | head -8 | sed 's/^/    /'
  else
    summary+=("ok   ${target}: ${stats:-?} runs, ${coverage:-cov ?}")
  fi
done

echo "=== fuzz summary"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FUZZ FAILED: ${failed[*]}"
  exit 1
fi
echo "fuzz: all targets passed"
