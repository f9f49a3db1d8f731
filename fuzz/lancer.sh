#!/bin/sh
# Runs one fuzz target on a working copy of its seed corpus:
#   fuzz/lancer.sh <name> [seconds] [build folder]
# e.g. fuzz/lancer.sh requete_flex 90
# or every target in turn, a few at a time (what CI does, to catch a target
# that no longer builds or crashes at once):
#   fuzz/lancer.sh --tous [seconds] [build folder]
# Findings land in <build>/fuzz-out/<name>/ (crash-*, timeout-*, leak-*).
set -eu
src=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --tous ]; then
  duree=${2:-20}
  build=${3:-$src/../build-san}
  journaux="$build/fuzz-journaux"
  rm -rf "$journaux"
  mkdir -p "$journaux"
  echec=0
  # One target per core; each one's output is kept and shown when it fails.
  ls "$src"/*.cpp | sed 's,.*/,,; s,\.cpp$,,' |
    xargs -P "$(nproc)" -I{} sh -c '"$0" {} "$1" "$2" >"$3/{}.log" 2>&1 || { echo "ÉCHEC {}"; exit 1; }' \
      "$src/lancer.sh" "$duree" "$build" "$journaux" || echec=1
  for j in "$journaux"/*.log; do
    n=$(basename "$j" .log)
    if grep -q "^Done [0-9]* runs" "$j"; then
      echo "fuzz_$n: $(grep '^Done [0-9]* runs' "$j")"
    else
      echo "==== fuzz_$n"
      tail -n 60 "$j"
      echec=1
    fi
  done
  exit $echec
fi

nom=$1
duree=${2:-90}
build=${3:-$src/../build-san}
travail="$build/fuzz-corpus/$nom"
sortie="$build/fuzz-out/$nom"
mkdir -p "$travail" "$sortie"
if [ -d "$src/corpus/$nom" ]; then cp -n "$src/corpus/$nom"/* "$travail"/ 2>/dev/null || true; fi
dict=""
if [ -f "$src/corpus/$nom.dict" ]; then dict="-dict=$src/corpus/$nom.dict"; fi
# The sanitizer build keeps its checks recoverable (for the suppressions):
# here the first report must end the run so that libFuzzer keeps the input.
supp="$src/../sanitizers"
export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$supp/lsan.supp:print_suppressions=0}"
exec "$build/bin/fuzz_$nom" "$travail" $dict -max_total_time="$duree" -timeout=5 -rss_limit_mb=4096 \
  -artifact_prefix="$sortie/" -print_final_stats=1
