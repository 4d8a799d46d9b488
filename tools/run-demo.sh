#!/usr/bin/env bash
# Installs the packages, builds, and runs the demo: the Tervane example
# program against a loopback peer that stands in for a directory server, and
# the Kandrel plug-in loaded in the test host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target tervane_demo demo_peer $(test -d kandrel && echo kandrel_demo) >/dev/null

port_file=$(mktemp)
./build/tools/demo_peer --port-file "$port_file" &
peer=$!
trap 'kill $peer 2>/dev/null || true; rm -f "$port_file"' EXIT
for _ in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.05; done

echo "== Tervane =="
./build/examples/tervane/tervane_demo "ldap://127.0.0.1:$(cat "$port_file")" "cn=admin,o=example" secret "o=example"
if [ -x ./build/examples/kandrel/kandrel_demo ]; then
  echo
  echo "== Kandrel =="
  ./build/examples/kandrel/kandrel_demo
fi
