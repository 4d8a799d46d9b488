#!/bin/sh
# Runs a command against a private slapd with the plug-in: starts the server
# (tools/private_slapd: dc=example,dc=com, root DN cn=admin with the password
# "secret", 20 people), runs COMMAND with the server's URI as its last
# argument, stops the server by its pid and exits with COMMAND's status.
#
#   with_private_slapd.sh PRIVATE_SLAPD PLUGIN COMMAND...
set -eu
private_slapd=$1
plugin=$2
shift 2
work=$(mktemp -d)
"$private_slapd" --people 20 --uri-file "$work/uri" --database dbnosync \
  --global "plugin extendedop $plugin admin_extensions_init server=cn=directory,dc=example,dc=com" \
  --global "plugin postoperation $plugin admin_extensions_events_init" >"$work/log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 400); do
  [ -s "$work/uri" ] && break
  sleep 0.05
done
if [ ! -s "$work/uri" ]; then
  cat "$work/log" >&2
  exit 1
fi
status=0
"$@" "$(cat "$work/uri")" || status=$?
exit $status
