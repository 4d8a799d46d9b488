#!/bin/sh
# Runs a test program against a server the program cannot start itself (a
# Windows program under wine, or a program as a user writes it): starts
# SERVER with "--uri-file FILE" added to its arguments, waits for the URI,
# runs COMMAND with the URI in TEST_SERVER_URI, stops the server by its pid
# and exits with COMMAND's status.
#
#   against_server.sh SERVER [ARGUMENT...] -- COMMAND [ARGUMENT...]
set -eu
work=$(mktemp -d)
server_command=
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  server_command="$server_command '$(printf '%s' "$1" | sed "s/'/'\\\\''/g")'"
  shift
done
[ $# -gt 1 ] || { echo "usage: against_server.sh SERVER [ARGUMENT...] -- COMMAND [ARGUMENT...]" >&2; exit 2; }
shift
eval "exec $server_command --uri-file '$work/uri'" >"$work/log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 600); do
  [ -s "$work/uri" ] && break
  kill -0 $server 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/uri" ]; then
  echo "against_server.sh: the server did not start:" >&2
  cat "$work/log" >&2
  exit 1
fi
TEST_SERVER_URI=$(head -n 1 "$work/uri")
export TEST_SERVER_URI
status=0
"$@" || status=$?
exit $status
