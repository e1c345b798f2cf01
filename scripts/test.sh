#!/usr/bin/env bash
# Builds and runs every test: the normal build (warnings are errors), then the whole suite again
# under AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer, then the short
# fuzzing runs. Installs missing Debian packages first.
#
#   bash scripts/test.sh            everything
#   RIRUD_QUICK=1 bash scripts/test.sh   only the normal build
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
failed=()

run_suite() {  # name, extra cmake arguments...
  local name=$1
  shift
  echo "=== ${name}: configure and build"
  cmake -S . -B "build/${name}" -DRIRUD_WERROR=ON -DRIRUD_BUILD_BENCH=OFF "$@" >/dev/null
  cmake --build "build/${name}" -j "${jobs}"
  echo "=== ${name}: tests"
  if ! ctest --test-dir "build/${name}" --output-on-failure -j "${jobs}"; then
    failed+=("${name}")
  fi
}

run_suite tests -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -z "${RIRUD_QUICK:-}" ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=${PWD}/scripts/lsan.supp" \
    run_suite asan -DCMAKE_BUILD_TYPE=Debug -DRIRUD_SANITIZE=address,undefined
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    run_suite tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIRUD_SANITIZE=thread
  if [ -f scripts/fuzz.sh ]; then
    bash scripts/fuzz.sh short || failed+=("fuzz")
  fi
fi

if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all suites passed"
