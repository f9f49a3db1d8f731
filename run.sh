#!/usr/bin/env bash
# Installs what is missing, builds, and runs the container on the bundled
# sample session through the bridge client, printing what comes back.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
BUILD=${KUP_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target korvane kup_bridge_client
exec "$BUILD/bin/kup_bridge_client" --session "${1:-samples/session.txt}" -- "$BUILD/bin/korvane" "${@:2}"
