#!/usr/bin/env bash
# Measures `tervane load` against `ldapmodify -a -f` on the same generated
# LDIF file and the same loopback stand-in server (the demo peer with --plain:
# every bulk batch and every standard add answered with success at once), and
# the loader's peak memory for a small and a large file.
#
# usage: tools/measure-loader.sh [RECORDS]   (default 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-100000}
build=${BUILD_DIR:-/tmp/tervane-measure}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLDAPEXT_KANDREL=OFF -DLDAPEXT_TESTS=OFF \
  -DLDAPEXT_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target tervane_cli demo_peer >/dev/null

work=$(mktemp -d)
"$build/tools/demo_peer" --plain --port-file "$work/port" &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
uri="ldap://127.0.0.1:$(cat "$work/port")"

generate() {  # count file
  awk -v count="$1" 'BEGIN {
    for (n = 1; n <= count; n++)
      printf "dn: uid=user%d,ou=people,o=example\nobjectClass: inetOrgPerson\nuid: user%d\ncn: User %d\nsn: %d\nmail: user%d@example.org\n\n", n, n, n, n, n
  }' >"$2"
}
seconds() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.2f", e - s }'; }
now() { date +%s.%N; }

generate "$records" "$work/big.ldif"
generate $((records / 10)) "$work/small.ldif"
echo "records: $records ($(du -h "$work/big.ldif" | cut -f1))"

for batch in 100 500 2000; do
  start=$(now)
  "$build/cli/tervane" -H "$uri" -x -D cn=admin -w secret load --batch "$batch" "$work/big.ldif" >/dev/null
  end=$(now)
  echo "tervane load --batch $batch: $(seconds "$start" "$end") s, $(awk -v n="$records" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", n / (e - s) }') records/s"
done

start=$(now)
ldapmodify -a -x -H "$uri" -D cn=admin -w secret -f "$work/big.ldif" >/dev/null
end=$(now)
echo "ldapmodify -a -f: $(seconds "$start" "$end") s, $(awk -v n="$records" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", n / (e - s) }') records/s"

for file in small big; do
  rss=$(/usr/bin/time -f %M "$build/cli/tervane" -H "$uri" -x -D cn=admin -w secret load "$work/$file.ldif" 2>&1 >/dev/null | tail -1)
  echo "peak memory, $file file: $rss KiB"
done
