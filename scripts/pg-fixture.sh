#!/usr/bin/env bash
# A private throw-away PostgreSQL cluster for ./run.sh, the tests and the
# benchmarks: reached only through its Unix socket, without durability
# (fsync off), holding the database "korvane" with what a site installs
# (sql/site) and the users and procedures of the tests (sql/test), and the
# database "korvane_site" with sql/site alone.
#
#   scripts/pg-fixture.sh start [DIR]   make it; a leftover in DIR (an
#                                       interrupted run) is stopped and removed first
#   scripts/pg-fixture.sh stop [DIR]    stop it and remove DIR
#
# DIR (default /tmp/kup-pg) holds the data, the server log and the socket.
# Keep it short: a socket path is capped at 107 bytes. Clients reach the
# cluster with PGHOST=DIR PGPORT=5432, which start prints as two lines.
# Run as root, the server runs as the user "postgres" (it refuses root).
set -euo pipefail

ACTION=${1:-}
DIR=${2:-/tmp/kup-pg}
PORT=5432
SQL_DIR="$(cd "$(dirname "$0")/.." && pwd)/sql"
MARK="$DIR/.kup-pg-fixture"
# The server's user may not be allowed into the caller's folder (a checkout
# under /root): its programs run from /, and the schema goes in on stdin.
cd /

die() { echo "pg-fixture: $*" >&2; exit 1; }

[[ "$DIR" == /tmp/* && "$DIR" != *..* && "$DIR" != *[[:space:]]* ]] ||
  die "the cluster folder must be a plain path under /tmp: $DIR"
((${#DIR} <= 90)) || die "folder name too long for a Unix socket: $DIR"

BIN=$(pg_config --bindir 2>/dev/null || true)
if [[ -z "$BIN" || ! -x "$BIN/initdb" ]]; then
  BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
fi
[[ -n "$BIN" && -x "$BIN/initdb" ]] || die "PostgreSQL server programs not found (package postgresql)"

if [[ $(id -u) -eq 0 ]]; then
  OWNER=postgres
  as_owner() { runuser -u postgres -- "$@"; }
else
  OWNER=$(id -un)
  as_owner() { "$@"; }
fi

stop() {
  [[ -e "$DIR" ]] || return 0
  [[ -e "$MARK" ]] || die "$DIR exists and is not a cluster of this script; not touching it"
  if [[ -f "$DIR/data/postmaster.pid" ]]; then
    as_owner "$BIN/pg_ctl" stop -D "$DIR/data" -m fast -w -t 20 >/dev/null 2>&1 ||
      as_owner "$BIN/pg_ctl" stop -D "$DIR/data" -m immediate -w -t 10 >/dev/null 2>&1 || true
    # A server that would not stop (or a stale pid file) must not keep the socket.
    if [[ -f "$DIR/data/postmaster.pid" ]]; then
      pid=$(head -n 1 "$DIR/data/postmaster.pid" 2>/dev/null || true)
      if [[ "$pid" =~ ^[0-9]+$ ]] && [[ "$(cat "/proc/$pid/comm" 2>/dev/null)" == postgres* ]]; then
        kill -9 "$pid" 2>/dev/null || true
      fi
    fi
  fi
  rm -rf "$DIR"
}

start() {
  stop
  mkdir -p "$DIR"
  touch "$MARK"
  chown "$OWNER" "$DIR"
  chmod 755 "$DIR"
  as_owner "$BIN/initdb" -D "$DIR/data" -U "$OWNER" -E UTF8 --no-locale --no-sync \
    --auth-local=peer --auth-host=reject >"$DIR/initdb.log" 2>&1 ||
    { cat "$DIR/initdb.log" >&2; die "initdb failed"; }
  # The superuser that loads the schema is known by its system account;
  # every other role logs on with its password, as on a site's server.
  printf 'local all %s peer\nlocal all all scram-sha-256\n' "$OWNER" >"$DIR/data/pg_hba.conf"
  cat >>"$DIR/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$DIR'
port = $PORT
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 40
shared_buffers = 16MB
logging_collector = off
EOF
  as_owner "$BIN/pg_ctl" start -D "$DIR/data" -l "$DIR/server.log" -w -t 30 >/dev/null ||
    { cat "$DIR/server.log" >&2; die "the server did not start"; }
  psql_owner() { as_owner "$BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$DIR" -p "$PORT" -U "$OWNER" "$@"; }
  psql_owner -d postgres -c "CREATE DATABASE korvane" >/dev/null
  site() { cat "$SQL_DIR"/site/10_roles.sql "$SQL_DIR"/site/20_connexion.sql "$SQL_DIR"/site/30_rap_html.sql; }
  site | psql_owner -1 -d korvane -f - >/dev/null 2>&1 || die "loading sql/site failed"
  for f in "$SQL_DIR"/test/*.sql; do
    psql_owner -d korvane -f - <"$f" >/dev/null || die "loading $f failed"
  done
  # A second database of the same server holding only what a site installs,
  # made and loaded as the site's steps say (the group role is already
  # there), then loaded again, as a site installing a new version does.
  psql_owner -d postgres -c "CREATE DATABASE korvane_site ENCODING 'UTF8' TEMPLATE template0 OWNER $OWNER" >/dev/null
  for pass in first second; do
    site | psql_owner -1 -d korvane_site -f - >"$DIR/site-$pass.log" 2>&1 ||
      { cat "$DIR/site-$pass.log" >&2; die "installing sql/site in korvane_site failed ($pass time)"; }
  done
  psql_owner -d korvane_site -c "REVOKE CONNECT, TEMPORARY ON DATABASE korvane_site FROM PUBLIC" \
    -c "GRANT CONNECT ON DATABASE korvane_site TO kup_utilisateur" >/dev/null
  echo "PGHOST=$DIR"
  echo "PGPORT=$PORT"
}

case "$ACTION" in
  start) start ;;
  stop) stop ;;
  *) die "usage: $0 start|stop [DIR]" ;;
esac
