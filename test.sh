#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   ./test.sh              build/ (KUP_BUILD_DIR) with the default compiler
#   ./test.sh --sanitize   build-san/ (KUP_SAN_BUILD_DIR) with clang,
#                          AddressSanitizer (leaks included) and
#                          UndefinedBehaviorSanitizer; the fuzz targets are
#                          built there too (see sanitizers/README.md)
# Further arguments go to ctest (e.g. ./test.sh --sanitize -R Bridge).
set -euo pipefail
cd "$(dirname "$0")"
SOURCE=$PWD
SANITIZE=0
if [[ "${1:-}" == --sanitize ]]; then
  SANITIZE=1
  shift
fi
bash scripts/install-deps.sh

if ((SANITIZE == 0)); then
  BUILD=${KUP_BUILD_DIR:-build}
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j"$(nproc)"
  cd "$BUILD"
  exec ctest --output-on-failure -j"$(nproc)" --timeout 600 "$@"
fi

BUILD=${KUP_SAN_BUILD_DIR:-build-san}
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKUP_FUZZ=ON -DKUP_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
BUILD=$(cd "$BUILD" && pwd)

# Every process a test starts inherits these: our programs report there,
# third-party programs (the office, PostgreSQL, the X server) ignore them.
# Reports go to files rather than to the test's output, so that one from a
# child process whose output a test swallows is not lost; all are shown at
# the end.
REPORTS=$BUILD/sanitizer-reports
rm -rf "$REPORTS"
mkdir -p "$REPORTS"
SUPP=$SOURCE/sanitizers
common="halt_on_error=1:abort_on_error=0:print_stacktrace=1:log_path=$REPORTS/report:log_exe_name=1"
export ASAN_OPTIONS="$common:detect_leaks=1:fast_unwind_on_malloc=0:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="$common:suppressions=$SUPP/ubsan.supp"
export LSAN_OPTIONS="suppressions=$SUPP/lsan.supp:print_suppressions=0"

# Tests labelled no-sanitize (tests that drive third-party GUI code too noisy
# under the sanitizers; see README) are left out of this run only.
status=0
(cd "$BUILD" && ctest --output-on-failure -j"$(nproc)" --timeout 600 -LE '^no-sanitize$' "$@") || status=$?

shopt -s nullglob
reports=("$REPORTS"/report*)
if ((${#reports[@]})); then
  echo "Sanitizer reports (${#reports[@]}), kept in $REPORTS:" >&2
  for r in "${reports[@]}"; do
    echo "==== $r" >&2
    cat "$r" >&2
  done
  status=1
fi
exit $status
