#!/usr/bin/env bash
# Compiles the program's sources as Windows code with the MinGW-w64 cross
# compiler (syntax only: Debian's Qt and OpenCV headers, Windows' own from
# MinGW), so that a fault in the Windows layer or in the Windows branches of
# shared files fails here. Run by scripts/test.sh with CI=true.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --windows-check
cxx=x86_64-w64-mingw32-g++-posix # std::thread and std::mutex need the POSIX thread model
qt=$(pkg-config --variable=includedir Qt5Core)
opencv=/usr/include/opencv4 # Debian splits OpenCV into parts without a .pc file
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Wno-missing-field-initializers -Werror
       -DQT_NO_FOREACH -I. -Itests -isystem "$qt" -isystem "$opencv")
for m in QtCore QtGui QtWidgets QtQml QtQuick QtQuickControls2 QtTest; do flags+=(-isystem "$qt/$m"); done

# CMake configures for Windows (with the MinGW compiler and, to get that far
# without a Windows Qt and OpenCV, Debian's package files) and picks the
# Windows layer: no Linux file, no libudev.
lib=/usr/lib/x86_64-linux-gnu
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
cmake -S . -B "$cfg" -Wno-dev -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DVEXLO_BUILD_BENCH=OFF -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=BOTH \
  -DQt5_DIR=$lib/cmake/Qt5 -DOPENCV_core_LIBRARY=$lib/libopencv_core.so \
  -DOPENCV_imgproc_LIBRARY=$lib/libopencv_imgproc.so -DOPENCV_videoio_LIBRARY=$lib/libopencv_videoio.so \
  -DOPENCV_imgcodecs_LIBRARY=$lib/libopencv_imgcodecs.so >/dev/null
if grep -E '_linux\.cpp|udev|tools/vcam' "$cfg/compile_commands.json"; then
  echo "wincheck: the Windows configuration builds Linux files" >&2
  exit 1
fi
echo "wincheck: CMake configures for Windows"

# Test sources include the moc output of their own classes; declarations are
# all a syntax check needs.
mocdir=$(mktemp -d)
trap 'rm -rf "$mocdir" "$cfg"' EXIT
flags+=(-I"$mocdir")

# Every source of the program except the Linux layer, and the tests with
# Windows branches.
mapfile -t sources < <(git ls-files '*.cpp' | grep -Ev '_linux\.cpp$|^(tests|bench|tools)/')
mapfile -t -O ${#sources[@]} sources < <(git grep -l -E '_WIN32|Q_OS_WIN' -- 'tests/*.cpp')
for f in "${sources[@]}"; do touch "$mocdir/$(basename "${f%.cpp}").moc"; done
check() { "$cxx" "${flags[@]}" "$1" || { echo "wincheck: $1 does not compile for Windows" >&2; return 1; }; }
export -f check
export cxx
export flags_text="${flags[*]}"
if printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -I{} bash -c 'read -ra flags <<<"$flags_text"; check "$1"' _ {}; then
  echo "wincheck: ${#sources[@]} sources compile for Windows"
else
  exit 1
fi
