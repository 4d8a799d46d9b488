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
second=
cleanup() {
  for pid in $second $server; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
wait_for_uri() {
  for _ in $(seq 300); do [ -s "$1" ] && return 0; sleep 0.05; done
  echo "slapd did not start" >&2
  exit 1
}
# The replicator (see the second server below) reads everything without limit.
bash tools/admin-slapd.sh --build "$build" --uri-file "$work/uri" --ldapi-file "$work/ldapi" \
  --database 'limits dn.exact="cn=config" size=unlimited time=unlimited' >/dev/null &
server=$!
wait_for_uri "$work/uri"

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
echo "== ou=people split off into a partition of its own, then merged back =="
# A database of its own glued under the suffix's; the entry count is the
# same before, between and after.
tervane partition count "$suffix"
tervane partition split "ou=people,$suffix"
tervane partition count "$suffix"
tervane partition merge "ou=people,$suffix"
tervane partition count "$suffix"

echo
echo "== a second server becomes a read-only replica of the first =="
# cn=replica names the first server as its peer, reached on its local
# socket; both let the replicator (their configuration root DN, cn=config)
# in with the same password.
printf 'config\n' >"$work/secret"
chmod 600 "$work/secret"
mkdir "$work/replicas"
bash tools/admin-slapd.sh --build "$build" --uri-file "$work/second-uri" --suffix dc=replica \
  --root-dn cn=admin,dc=replica --plugin-args "server=cn=replica peer=cn=directory,dc=example,dc=com@$(cat "$work/ldapi") \
replicator=cn=config replicator-secret=$work/secret replicas=$work/replicas" >/dev/null &
second=$!
wait_for_uri "$work/second-uri"
second_uri=$(cat "$work/second-uri")
on_second() {
  echo "\$ tervane -H <second server> $*"
  "$build"/cli/tervane -H "$second_uri" -x -D cn=admin,dc=replica -w secret "$@"
  echo
}
on_second replica add --type 2 "$suffix" cn=replica
count() { "$build"/cli/tervane -H "$1" -x -D "$2" -w secret partition count "$suffix" 2>/dev/null | tail -n 1; }
for _ in $(seq 100); do
  [ "$(count "$second_uri" cn=admin,dc=replica)" = "$(count "$uri" "$bind_dn")" ] && break
  sleep 0.1
done
on_second partition count "$suffix"
on_second replica list "$suffix"
on_second replica info "$suffix" cn=replica
printf 'dn: uid=late,ou=people,%s\nobjectClass: inetOrgPerson\nuid: late\ncn: Late\nsn: Late\n\n' "$suffix" \
  | "$build"/cli/tervane -H "$uri" -x -D "$bind_dn" -w "$password" load >/dev/null
for _ in $(seq 100); do
  [ "$(count "$second_uri" cn=admin,dc=replica)" = "$(count "$uri" "$bind_dn")" ] && break
  sleep 0.1
done
echo "(one more person added on the first server)"
on_second partition count "$suffix"

echo
echo "== Kandrel: a host program in the Quillon host =="
port=$(sed -E 's/.*:([0-9]+)$/\1/' <<<"$uri")
"$build"/examples/kandrel/kandrel_demo 127.0.0.1 "$port"
