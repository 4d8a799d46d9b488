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
#   tools/admin-slapd.sh [--build DIR] [--plugin-args ARGS] [private_slapd options, e.g. --uri-file FILE]
#
# Builds what it needs in DIR (default: build). ARGS are added to the
# plug-in's arguments (for example another server= and its peer=).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
plugin_args=
rest=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --plugin-args) plugin_args=$2; shift 2 ;;
    *) rest+=("$1"); shift ;;
  esac
done
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target private_slapd admin_extensions >/dev/null
plugin=$(realpath "$build/slapd_plugin/admin_extensions.so")
exec "$build/tools/private_slapd" --people 20 --config-password config \
  --global "plugin extendedop $plugin admin_extensions_init server=cn=directory,dc=example,dc=com $plugin_args" \
  --global "plugin postoperation $plugin admin_extensions_events_init" \
  "${rest[@]}"
