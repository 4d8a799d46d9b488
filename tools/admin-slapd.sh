#!/usr/bin/env bash
# Starts a private slapd with the administration-extensions plug-in, for the
# demo and for trying Tervane or the tervane command by hand: a configuration
# generated in a temporary folder (mdb, the suffix dc=example,dc=com, the
# administrator cn=admin,dc=example,dc=com with the password "secret", a
# sample tree of people under ou=people), on 127.0.0.1 at a free port, run
# from a configuration directory (cn=config: root DN "cn=config", password
# "config"). Prints the URI and serves until Ctrl-C or SIGTERM, then stops
# slapd by its pid.
#
#   tools/admin-slapd.sh [--build DIR] [private_slapd options, e.g. --uri-file FILE]
#
# Builds what it needs in DIR (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ "${1:-}" = --build ]; then
  build=$2
  shift 2
fi
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target private_slapd admin_extensions >/dev/null
plugin=$(realpath "$build/slapd_plugin/admin_extensions.so")
exec "$build/tools/private_slapd" --people 20 --config-password config \
  --global "plugin extendedop $plugin admin_extensions_init server=cn=directory,dc=example,dc=com" \
  --global "plugin postoperation $plugin admin_extensions_events_init" \
  "$@"
