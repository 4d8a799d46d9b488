#!/usr/bin/env bash
# Installs the packages, builds, and runs the demo against a private slapd
# with the administration-extensions plug-in (tools/admin-slapd.sh, stopped
# when the demo ends): the Tervane example program, the tervane command, and
# the Kandrel plug-in loaded in the test host running a host program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-packages.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target tervane_demo tervane_cli private_slapd admin_extensions kandrel_demo >/dev/null

work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && { kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
bash tools/admin-slapd.sh --build "$build" --uri-file "$work/uri" >/dev/null &
server=$!
for _ in $(seq 300); do [ -s "$work/uri" ] && break; sleep 0.05; done
[ -s "$work/uri" ] || { echo "slapd did not start" >&2; exit 1; }

# The server: its URI, administrator and suffix.
uri=$(cat "$work/uri")
bind_dn="cn=admin,dc=example,dc=com"
password=secret
suffix="dc=example,dc=com"

echo "== Tervane: an administration tool written in C =="
"$build"/examples/tervane/tervane_demo "$uri" "$bind_dn" "$password" "$suffix"

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
    "$n" "$suffix" "$n" "$n" "$n"
done >"$work/people.ldif"
tervane whoami
tervane partition count "$suffix"
tervane replica list "$suffix"
tervane load --batch 200 "$work/people.ldif"
tervane partition count "$suffix"
# Events as they happen: the monitor watches while three people are added.
"$build"/cli/tervane -H "$uri" -x -D "$bind_dn" -w "$password" monitor 1 --count 3 >"$work/events" &
monitor=$!
sleep 0.5
head -n 18 "$work/people.ldif" | sed 's/user\([0-9]*\)/visitor\1/g' >"$work/visitors.ldif"
"$build"/cli/tervane -H "$uri" -x -D "$bind_dn" -w "$password" load "$work/visitors.ldif" >/dev/null
wait "$monitor"
echo "\$ tervane monitor 1 --count 3    (while three more people were added)"
cat "$work/events"

echo
echo "== Kandrel: a host program in the Quillon host =="
port=$(sed -E 's/.*:([0-9]+)$/\1/' <<<"$uri")
"$build"/examples/kandrel/kandrel_demo 127.0.0.1 "$port"
