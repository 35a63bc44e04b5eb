#!/usr/bin/env bash
# Stress, soak and bad-input runs on the virtual camera, with their figures.
# Not part of ctest. One command from the source tree:
#
#   bash bench/stress/run.sh                  # everything (about 30 minutes)
#   bash bench/stress/run.sh stress           # only the stress runs, or: soak, badinput, badcamera
#
# badcamera: 60 s of mixed frame faults at 1080p30 after a healthy stream, in
# the normal and ASan+UBSan builds, then the program itself with one frame in
# ten claiming 30000 x 30000 and ended by SIGTERM.
#
# The stress run goes through the normal build and the ASan+UBSan and TSan
# builds (configured and built here as needed, only the targets it uses); the
# soak and the bad-input sweep use the normal build.
#
#   STRESS_SECONDS (60)  SOAK_SECONDS (600)  BADINPUT_COUNT (210)
#   BUILDS ("normal asan tsan")  NORMAL_BUILD (build/test)
#   VEXLO_STRESS_SEED (random)  VEXLO_STRESS_JOBS (3 start-ups at once)
#
# Exit code 0 only when every run passes: no protocol violation, no
# interleaved transaction, no sanitizer report, no hang (exit code 3 is the
# watchdog), memory and threads flat, every start-up clean.
set -uo pipefail
cd "$(dirname "$0")/../.."

what=${1:-all}
STRESS_SECONDS=${STRESS_SECONDS:-60}
SOAK_SECONDS=${SOAK_SECONDS:-600}
BADINPUT_COUNT=${BADINPUT_COUNT:-210}
BUILDS=${BUILDS:-normal asan tsan}
NORMAL_BUILD=${NORMAL_BUILD:-build/test}
export TMPDIR=${TMPDIR:-/tmp}
mkdir -p "$TMPDIR"
failed=0

dir_of() {
  case $1 in
    normal) echo "$NORMAL_BUILD" ;;
    *) echo "build/$1" ;;
  esac
}

build() {
  local kind=$1 dir
  dir=$(dir_of "$kind")
  local flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  case $kind in
    asan) flags=(-DCMAKE_BUILD_TYPE=Debug -DVEXLO_SANITIZE=address,undefined -DVEXLO_BUILD_TESTS=OFF) ;;
    tsan) flags=(-DCMAKE_BUILD_TYPE=Debug -DVEXLO_SANITIZE=thread -DVEXLO_BUILD_TESTS=OFF) ;;
  esac
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" "${flags[@]}" "${launcher[@]}" -DVEXLO_BUILD_BENCH=ON >/dev/null || return 1
  fi
  cmake --build "$dir" -j"$(nproc)" --target bench_stress vexlo-tuner vcam >/dev/null || return 1
}

# Runs the bench program with the build's sanitizer settings; prints its
# figures and the sanitizer report count; sets failed on a failing run.
run() {
  local kind=$1 name=$2
  shift 2
  local dir log rc reports
  dir=$(dir_of "$kind")
  log=$(mktemp "$TMPDIR/stress-$kind-$name.XXXXXX.log")
  echo "== $name ($kind build)"
  local gap=10
  [ "$kind" != normal ] && gap=60
  VEXLO_STRESS_PATIENCE_S=$gap \
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  TSAN_OPTIONS="halt_on_error=0:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$PWD/tests/tsan.supp" \
    "$dir/bench/stress/bench_stress" "$name" "$@" 2>"$log"
  rc=$?
  reports=$(grep -cE 'ERROR: AddressSanitizer|runtime error:|WARNING: ThreadSanitizer|ERROR: LeakSanitizer' "$log")
  printf '%-35s %s\n' "sanitizer reports:" "$reports"
  [ "$rc" = 3 ] && echo "HANG (watchdog), stacks above"
  if [ "$rc" != 0 ] || [ "$reports" != 0 ]; then
    failed=1
    echo "FAILED (exit code $rc); log: $log"
    grep -m3 -A25 -E 'ERROR: AddressSanitizer|runtime error:|WARNING: ThreadSanitizer' "$log"
  else
    rm -f "$log"
  fi
  echo
}

if [ "$what" = all ] || [ "$what" = stress ]; then
  for kind in $BUILDS; do
    build "$kind" || { echo "build $kind failed"; failed=1; continue; }
    run "$kind" stress "$STRESS_SECONDS"
  done
fi
if [ "$what" = all ] || [ "$what" = soak ]; then
  build normal && run normal soak "$SOAK_SECONDS" || failed=1
fi
if [ "$what" = all ] || [ "$what" = badinput ]; then
  dir=$(dir_of normal)
  build normal && run normal badinput "$PWD/$dir/vexlo-tuner" "$PWD/$dir/tools/vcam/libvexlo-vcam.so" \
    "$BADINPUT_COUNT" || failed=1
fi
if [ "$what" = all ] || [ "$what" = badcamera ]; then
  for kind in normal asan; do
    build "$kind" || { echo "build $kind failed"; failed=1; continue; }
    run "$kind" badcamera "$STRESS_SECONDS"
  done
  # The program: memory peak under bigdim:10, then SIGTERM.
  dir=$(dir_of normal)
  home=$(mktemp -d "$TMPDIR/badcamera-home.XXXXXX")
  mkdir -p "$home/Vexlo"
  for fault in none bigdim:10; do
    HOME=$home LD_PRELOAD=$PWD/$dir/tools/vcam/libvexlo-vcam.so VEXLO_VCAM_FRAME_FAULT=$fault \
      QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software "$dir/vexlo-tuner" >/dev/null 2>&1 &
    pid=$!
    sleep "$STRESS_SECONDS"
    peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    t0=$(date +%s%N)
    kill -TERM "$pid"
    wait "$pid"
    rc=$?
    t1=$(date +%s%N)
    printf '%-35s %s\n' "program, frame fault $fault:" "rss peak $((peak / 1024)) MB, SIGTERM to exit $(((t1 - t0) / 1000000)) ms, exit code $rc"
    [ "$rc" = 0 ] || failed=1
  done
  rm -rf "$home"
fi
[ "$failed" = 0 ] && echo "ALL PASSED" || echo "SOME RUNS FAILED"
exit "$failed"
