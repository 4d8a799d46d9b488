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
  libgtest-dev libgmock-dev libbenchmark-dev googletest
  nlohmann-json3-dev groff-base
  # The 32-bit Windows cross build (POSIX-threads compilers) and wine, which
  # runs its test programs; wine32 is a package of the i386 architecture.
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386
)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
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
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
