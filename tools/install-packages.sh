#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  cmake ninja-build g++ make pkg-config binutils python3
  # Instruction counts of the benchmarks (tools/run-benchmarks.sh).
  valgrind
  clang lld libclang-rt-14-dev
  libldap-dev ldap-utils slapd
  # Self-signed certificates of the test servers that speak TLS.
  openssl
  libgtest-dev libgmock-dev libbenchmark-dev googletest
  nlohmann-json3-dev groff-base
  # The Windows cross builds (POSIX-threads compilers): the 32-bit one, whose
  # DLLs are checked statically, and the 64-bit one, whose test programs run
  # under wine64 on every x86_64 machine. wine32, a package of the i386
  # architecture, runs the 32-bit test programs where the kernel runs i386
  # programs; it installs on every machine.
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 wine32:i386
  # Unpacks Debian's source package of OpenLDAP, from which the client
  # library of the Windows end-to-end tests is built (build-client-dll.sh).
  dpkg-dev
)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# Source packages come from the same archive as the binary ones.
update=no
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  cat > /etc/apt/sources.list.d/ldapext-deb-src.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  update=yes
fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  # Tests start their own slapd from a generated configuration: the package
  # must neither build a default directory nor start a system service.
  echo 'slapd slapd/no_configuration boolean true' | debconf-set-selections
  policy=/usr/sbin/policy-rc.d
  own_policy=no
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' > "$policy"
    chmod +x "$policy"
    own_policy=yes
  fi
  trap '[ "$own_policy" = yes ] && rm -f "$policy"' EXIT
  apt-get update -qq
  update=no
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ "$update" = no ] || apt-get update -qq
