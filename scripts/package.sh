#!/usr/bin/env bash
# Builds the Debian package of Kavel and Tolvan with CPack (DEB generator) in build-package/ and
# checks it with lintian. The program folder is /opt/norvik/ unless given:
#   bash scripts/package.sh [program-folder]
# Install it with: sudo apt-get install ./build-package/norvik-companions_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:-/opt/norvik}"
bash scripts/setup.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DNORVIK_SYSTEM_FILES=ON -DNORVIK_PACKAGE_FOLDER="$folder" \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
# Only what the package holds; the tests are built by scripts/test.sh.
cmake --build build-package --target Kavel kavel_window Tolvan
rm -f build-package/*.deb
(cd build-package && cpack -G DEB)
deb=$(ls build-package/*.deb)
# Errors fail the build; warnings and notes are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$deb"
