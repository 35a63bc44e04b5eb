#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it.
# - No video capture device on this machine: the program starts with the
#   virtual camera (an emulated camera of this family).
# - No display: the program runs on a virtual display; once its window is up a
#   screenshot of the window is saved, and the program is ended cleanly.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
echo "run: building (Release) in build/release"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVEXLO_BUILD_TESTS=OFF -DVEXLO_BUILD_BENCH=OFF >/dev/null
targets=(vexlo-tuner)
if [ -f tools/vcam/CMakeLists.txt ]; then targets+=(vcam); fi
cmake --build build/release -j"$(nproc)" --target "${targets[@]}"

program=build/release/vexlo-tuner
preload=""
has_capture_node() {
  local d
  for d in /dev/video*; do
    [ -e "$d" ] || continue
    if v4l2-ctl -d "$d" --info 2>/dev/null | grep -q "Video Capture"; then return 0; fi
  done
  return 1
}
if ! has_capture_node; then
  vcam=$(find build/release/tools/vcam -maxdepth 1 -name 'lib*vcam*.so' 2>/dev/null | head -n 1 || true)
  if [ -n "$vcam" ]; then
    echo "run: no video capture device here; starting with the virtual camera"
    preload=$(readlink -f "$vcam")
  else
    echo "run: no video capture device here; the program will ask for a camera"
  fi
fi

if [ -n "${DISPLAY:-}" ]; then
  echo "run: starting $program"
  exec env ${preload:+LD_PRELOAD=$preload} "$program"
fi

# Headless: a virtual display, a screenshot, a clean end.
shot=$(pwd)/build/release/screenshot.png
display=:$((90 + RANDOM % 100))
echo "run: no display; starting a virtual display $display"
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

echo "run: starting $program"
env ${preload:+LD_PRELOAD=$preload} "$program" &
pid=$!
up=no win=""
for _ in $(seq 150); do
  # The main window, by its title ("Vexlo camera tuning tool", "Vexlo相机...").
  win=$(xwininfo -root -tree 2>/dev/null | awk '/"Vexlo/ {print $1; exit}')
  if [ -n "$win" ]; then up=yes; break; fi
  if ! kill -0 $pid 2>/dev/null; then break; fi
  sleep 0.2
done
if [ "$up" = yes ]; then
  # Let the first frames arrive: up to 30 s, until the picture area (right of
  # the parameter column) is no longer black; a loaded machine needs a while.
  for _ in $(seq 60); do
    sleep 0.5
    mean=$(xwd -id "$win" -silent | xwdtopnm 2>/dev/null | pamcut -left 600 -top 100 -width 500 -height 500 2>/dev/null \
           | pamsumm -mean -brief 2>/dev/null || echo 0)
    [ "${mean%.*}" -gt 8 ] && break
  done
  sleep 1
  xwd -id "$win" -silent | xwdtopnm 2>/dev/null | pnmtopng > "$shot"
  echo "run: the window is up; screenshot saved to $shot"
else
  echo "run: the window did not come up" >&2
fi
kill -TERM $pid 2>/dev/null || true
rc=0
wait $pid || rc=$?
echo "run: the program ended (exit code $rc)"
[ "$up" = yes ] && [ $rc -eq 0 ]
