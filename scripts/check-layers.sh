#!/usr/bin/env bash
# Fails when a source file includes a header of a layer it may not use, and
# names the edge. The layers, from the top down:
#   host -> core/table -> documents, gis -> office, data -> core -> platform -> vb
# platform/qt sits on platform, gis/qt on gis: the desktop mode's windows,
# used by host only.
# tools/ are programs beside the container: they may use core and below.
# tests/, bench/ and fuzz/ may use anything.
# Usage: scripts/check-layers.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"

declare -A allowed=(
  [vb]="vb"
  [platform]="platform vb"
  [platform/qt]="platform/qt platform vb"
  [core]="core platform vb"
  [data]="data core platform vb"
  [office]="office core platform vb"
  [documents]="documents office data core platform vb"
  [gis]="gis office data core platform vb"
  [gis/qt]="gis/qt gis office data core platform vb"
  [core/table]="core/table documents gis office data core platform vb"
  [host]="host core/table documents gis/qt gis office data core platform/qt platform vb"
  [tools]="tools core platform vb"
)

rules=""
for k in "${!allowed[@]}"; do rules+="$k=${allowed[$k]};"; done

faults=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' \
           --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' \
           vb platform core data office documents gis host tools 2>/dev/null |
  awk -v rules="$rules" '
    function layer(p) {
      if (p ~ /^core\/table\//) return "core/table"
      if (p ~ /^platform\/qt\//) return "platform/qt"
      if (p ~ /^gis\/qt\//) return "gis/qt"
      if (p ~ /^(vb|platform|core|data|office|documents|gis|host|tools)\//) { sub(/\/.*/, "", p); return p }
      return ""
    }
    BEGIN {
      n = split(rules, r, ";")
      for (i = 1; i <= n; i++) if (r[i] != "") { split(r[i], kv, "="); ok[kv[1]] = " " kv[2] " " }
    }
    {
      file = $0; sub(/:.*/, "", file)
      rest = substr($0, length(file) + 2); line = rest; sub(/:.*/, "", line)
      header = rest; sub(/^[^"]*"/, "", header); sub(/".*/, "", header)
      from = layer(file); to = layer(header)
      if (from == "" || to == "") next
      if (index(ok[from], " " to " ") == 0) {
        printf "layer fault: %s:%s includes %s (edge %s -> %s is not allowed)\n", file, line, header, from, to > "/dev/stderr"
        count++
      }
    }
    END { print count + 0 }')

if ((faults)); then
  echo "$faults include(s) climb the layers; see docs/ARCHITECTURE.md" >&2
  exit 1
fi
echo "layers: every include points down"
