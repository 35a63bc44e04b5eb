#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. With CI=true warnings
# are errors, and the tests also run in an AddressSanitizer + UndefinedBehavior-
# Sanitizer build and (those that put threads on the camera) a ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
jobs=$(nproc)
werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi

step() { echo; echo "==== $*"; }

# Rebuilds reuse earlier compilations when ccache is on the machine.
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

run_config() { # name, ctest label filter ("" for all), cmake args...
  local name=$1 label=$2; shift 2
  step "configure $name"
  cmake -S . -B "build/$name" -DVEXLO_WERROR=$werror "${launcher[@]}" "$@" >/dev/null
  local filter=() targets=()
  if [ -n "$label" ]; then
    filter=(-L "$label")
    # Build only what the selected tests need (test names are their targets).
    mapfile -t targets < <(ctest --test-dir "build/$name" -N "${filter[@]}" | sed -n 's/^ *Test *#[0-9]*: *//p')
  fi
  step "build $name"
  local build_args=()
  if [ ${#targets[@]} -gt 0 ]; then build_args=(--target "${targets[@]}"); fi
  cmake --build "build/$name" -j"$jobs" "${build_args[@]}"
  step "test $name"
  ctest --test-dir "build/$name" --output-on-failure -j"$jobs" "${filter[@]}"
}

run_config test "" -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "${CI:-}" = "true" ]; then
  step "Windows layer: configure and compile for Windows (MinGW-w64, syntax only)"
  bash scripts/wincheck.sh

  # Qt, fontconfig and Mesa keep allocations until exit on purpose; leak
  # reports would drown real faults.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  run_config asan "" -DCMAKE_BUILD_TYPE=Debug -DVEXLO_SANITIZE=address,undefined -DVEXLO_BUILD_BENCH=OFF
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  run_config tsan threads -DCMAKE_BUILD_TYPE=Debug -DVEXLO_SANITIZE=thread -DVEXLO_BUILD_BENCH=OFF
fi
step "all tests passed"
