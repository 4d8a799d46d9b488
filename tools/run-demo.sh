#!/usr/bin/env bash
# Installs the packages, builds, and runs the demo: the Tervane example
# program against slapd with the administration-extensions plug-in (a private
# server started by tools/admin-slapd.sh and stopped afterwards), and the
# Kandrel plug-in loaded in the test host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target tervane_demo private_slapd admin_extensions $(test -d kandrel && echo kandrel_demo) >/dev/null

uri_file=$(mktemp -u)
bash tools/admin-slapd.sh --build build --uri-file "$uri_file" >/dev/null &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true; rm -f "$uri_file"' EXIT
for _ in $(seq 300); do [ -s "$uri_file" ] && break; sleep 0.05; done
[ -s "$uri_file" ] || { echo "slapd did not start" >&2; exit 1; }

echo "== Tervane =="
./build/examples/tervane/tervane_demo "$(cat "$uri_file")" "cn=admin,dc=example,dc=com" secret "dc=example,dc=com"
if [ -x ./build/examples/kandrel/kandrel_demo ]; then
  echo
  echo "== Kandrel =="
  ./build/examples/kandrel/kandrel_demo
fi
