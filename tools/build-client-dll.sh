#!/usr/bin/env bash
# Builds the LDAP client library for Windows from Debian's source package of
# OpenLDAP, the version whose headers the project compiles against: liblber
# and libldap (Windows threads; no TLS, no SASL, no server) cross-compiled for
# ARCH and linked into one DLL with the client library's file name, stripped,
# with OpenLDAP's LICENSE and COPYRIGHT beside it. Nothing is done when OUT
# already holds the DLL; the source is kept beside OUT for the other
# architecture. Needs the deb-src entry tools/install-packages.sh adds.
#
#   tools/build-client-dll.sh i686|x86_64 OUT
set -euo pipefail
arch=$1
out=$(realpath -m "$2")
dll=PELLIS.DLL
[ -f "$out/$dll" ] && exit 0
case "$arch" in
  i686|x86_64) ;;
  *) echo "build-client-dll.sh: ARCH is i686 or x86_64" >&2; exit 2 ;;
esac
host=$arch-w64-mingw32
source_root=$(dirname "$out")/openldap-source
mkdir -p "$source_root" "$out"
version=$(dpkg-query -W -f='${source:Version}' libldap-dev)

# One download and unpacking for both architectures, whichever asks first.
exec 9>"$source_root/.lock"
flock 9
if [ ! -f "$source_root/unpacked" ]; then
  (cd "$source_root" && apt-get source --download-only "openldap=$version" >/dev/null 2>&1) || {
    echo "build-client-dll.sh: apt-get source openldap=$version failed (is a deb-src entry configured?)" >&2
    exit 1
  }
  rm -rf "$source_root/src"
  dpkg-source --no-check -x "$source_root"/openldap_*.dsc "$source_root/src" >/dev/null
  touch "$source_root/unpacked"
fi
flock -u 9

work=$out/build
rm -rf "$work"
mkdir -p "$work"
cd "$work"
# configure tests for POSIX regular expressions, which only slapd and the
# tools use; cross-compiled they cannot be run, so their answers are given.
ac_cv_header_regex_h=yes ac_cv_search_regfree="none required" ol_cv_c_posix_regex=yes \
  "$source_root/src/configure" --host="$host" --disable-slapd --without-tls --without-cyrus-sasl \
  --with-threads=nt --disable-shared --enable-static --without-fetch \
  CC="$host-gcc-posix" CFLAGS="-O2" >configure.log 2>&1 || { tail -20 configure.log >&2; exit 1; }
for folder in include libraries/liblutil libraries/liblber libraries/libldap; do
  make -j"${JOBS:-2}" -C "$folder" >>make.log 2>&1 || { tail -20 make.log >&2; exit 1; }
done
"$host-gcc-posix" -shared -o "$out/$dll" -static-libgcc -Wl,--export-all-symbols \
  -Wl,--whole-archive libraries/libldap/.libs/libldap.a libraries/liblber/.libs/liblber.a \
  -Wl,--no-whole-archive libraries/liblutil/liblutil.a -lws2_32
"$host-strip" "$out/$dll"
cp "$source_root/src/LICENSE" "$source_root/src/COPYRIGHT" "$out/"
cd "$out"
rm -rf "$work"
echo "$out/$dll"
