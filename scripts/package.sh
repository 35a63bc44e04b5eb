#!/usr/bin/env bash
# Installs what is missing and builds the Debian package of the program
# (Release, installed under /usr): build/vexlo-tuner_<version>_<arch>.deb.
# Its dependencies are the libraries the program links (dpkg-shlibdeps) and
# the run-time packages listed in packaging/runtime-packages.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
echo "package: building (Release) in build/package"
cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DVEXLO_BUILD_TESTS=OFF -DVEXLO_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" >/dev/null
cmake --build build/package -j"$(nproc)"
rm -f build/package/*.deb
(cd build/package && cpack -G DEB >/dev/null)
deb=$(ls build/package/*.deb)
mv -f "$deb" build/
deb=build/$(basename "$deb")
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Depends
