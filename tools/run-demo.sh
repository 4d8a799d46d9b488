#!/usr/bin/env bash
# Installs the packages, builds, and runs the demo: the Tervane example
# program and the tervane command against a loopback peer that stands in for
# a directory server, and the Kandrel plug-in loaded in the test host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target tervane_demo tervane_cli demo_peer $(test -d kandrel && echo kandrel_demo) >/dev/null

# The server the demo talks to: its URI, bind DN, password and partition.
work=$(mktemp -d)
./build/tools/demo_peer --port-file "$work/port" &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
uri="ldap://127.0.0.1:$(cat "$work/port")"
bind_dn="cn=admin,o=example"
password=secret
partition="o=example"

echo "== Tervane =="
./build/examples/tervane/tervane_demo "$uri" "$bind_dn" "$password" "$partition"

echo
echo "== the tervane command =="
tervane() {
  echo "\$ tervane $*"
  ./build/cli/tervane -H "$uri" -x -D "$bind_dn" -w "$password" "$@"
  echo
}
# A thousand people to load, as LDIF.
for n in $(seq 1000); do
  printf 'dn: uid=user%d,ou=people,%s\nobjectClass: inetOrgPerson\nuid: user%d\ncn: User %d\nsn: %d\n\n' \
    "$n" "$partition" "$n" "$n" "$n"
done >"$work/people.ldif"
tervane whoami
tervane partition count "$partition"
tervane replica list "$partition"
tervane -o json replica info "$partition" "cn=ldap2,$partition"
tervane load --batch 200 "$work/people.ldif"
tervane partition count "$partition"
tervane monitor 1,12,27 --count 4
if [ -x ./build/examples/kandrel/kandrel_demo ]; then
  echo
  echo "== Kandrel =="
  ./build/examples/kandrel/kandrel_demo
fi
