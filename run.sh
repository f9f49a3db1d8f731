#!/usr/bin/env bash
# Installs what is missing, builds, and runs the container on the bundled
# sample sessions through the bridge client, printing what comes back:
# samples/session.txt (settings, logon, lists, an HTML report merged by the
# database, errors, a deferred dialog), then samples/letter_session.txt (a
# real letter merged by LibreOffice).
# ./run.sh FILE [korvane switches] runs one session file of your own.
# With --desktop the client waits for korvane as long as it takes (a person
# may be reading a box or saving a letter); otherwise 120 s per answer.
# The database is a throw-away PostgreSQL cluster started here and stopped
# on exit (scripts/pg-fixture.sh); PGHOST points the container at it.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
BUILD=${KUP_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target korvane kup_bridge_client
PGDIR=/tmp/kup-pg-run-$(pwd | md5sum | cut -c1-8)
trap 'bash scripts/pg-fixture.sh stop "$PGDIR" >/dev/null 2>&1 || true' EXIT
bash scripts/pg-fixture.sh start "$PGDIR" >/dev/null
export PGHOST=$PGDIR PGPORT=5432
run() { "$BUILD/bin/kup_bridge_client" --session "$1" --timeout 120 -- "$BUILD/bin/korvane" "${@:2}"; }
if [[ $# -gt 0 ]]; then
  run "$1" "${@:2}"
else
  run samples/session.txt
  echo
  run samples/letter_session.txt
fi
