#!/usr/bin/env bash
# Installs the packages, builds, and runs the demo: the Tervane example
# program and the tervane command against a loopback peer that stands in for
# a directory server, and the Kandrel plug-in loaded in the test host,
# running a host program against a private slapd.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target tervane_demo tervane_cli demo_peer private_slapd kandrel_demo >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
wait_for() { for _ in $(seq 200); do [ -s "$1" ] && return 0; sleep 0.05; done; echo "no $1" >&2; return 1; }

"$build"/tools/demo_peer --port-file "$work/peer-port" &
pids+=($!)
"$build"/tools/private_slapd --people 3 --uri-file "$work/slapd-uri" >/dev/null &
pids+=($!)
wait_for "$work/peer-port"
wait_for "$work/slapd-uri"

# The server the Tervane demos talk to: its URI, bind DN, password and
# partition.
uri="ldap://127.0.0.1:$(cat "$work/peer-port")"
bind_dn="cn=admin,o=example"
password=secret
partition="o=example"

echo "== Tervane =="
"$build"/examples/tervane/tervane_demo "$uri" "$bind_dn" "$password" "$partition"

echo
echo "== the tervane command =="
tervane() {
  echo "\$ tervane $*"
  "$build"/cli/tervane -H "$uri" -x -D "$bind_dn" -w "$password" "$@"
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

echo
echo "== Kandrel =="
slapd_port=$(sed -E 's/.*:([0-9]+)$/\1/' "$work/slapd-uri")
"$build"/examples/kandrel/kandrel_demo 127.0.0.1 "$slapd_port"
