#!/bin/sh
# Runs one fuzz target on a working copy of its seed corpus:
#   fuzz/lancer.sh <name> [seconds] [build folder]
# e.g. fuzz/lancer.sh requete_flex 90
# Findings land in <build>/fuzz-out/<name>/ (crash-*, timeout-*, leak-*).
set -eu
nom=$1
duree=${2:-90}
build=${3:-$(dirname "$0")/../build-fuzz}
src=$(cd "$(dirname "$0")" && pwd)
travail="$build/fuzz-corpus/$nom"
sortie="$build/fuzz-out/$nom"
mkdir -p "$travail" "$sortie"
if [ -d "$src/corpus/$nom" ]; then cp -n "$src/corpus/$nom"/* "$travail"/ 2>/dev/null || true; fi
dict=""
if [ -f "$src/corpus/$nom.dict" ]; then dict="-dict=$src/corpus/$nom.dict"; fi
exec "$build/bin/fuzz_$nom" "$travail" $dict -max_total_time="$duree" -timeout=5 -rss_limit_mb=4096 \
  -artifact_prefix="$sortie/" -print_final_stats=1
