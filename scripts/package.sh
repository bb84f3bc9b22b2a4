#!/usr/bin/env bash
# Sets up a fresh machine (packages, build) and builds the Debian package
# build/statusmonitorq62m_<version>_<arch>.deb with CPack; the version is
# the project's in CMakeLists.txt. Install it with
#   apt install ./build/statusmonitorq62m_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
rm -f build/statusmonitorq62m_*.deb
(cd build && cpack -G DEB >/dev/null)
ls build/statusmonitorq62m_*.deb
