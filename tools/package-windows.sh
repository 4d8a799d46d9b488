#!/usr/bin/env bash
# Makes the Windows package: the 32-bit DLLs (tools/build-windows.sh), the
# client library built from OpenLDAP's sources, and FOLDER/tervane-*.zip with
# cpack (FOLDER defaults to build-windows). Needs the packages and the deb-src
# entry of tools/install-packages.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-build-windows}
bash tools/build-windows.sh "$folder"
cmake --build "$folder" -j"${JOBS:-2}" --target openldap_client_dll
(cd "$folder" && cpack -G ZIP)
