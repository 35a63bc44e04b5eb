#!/bin/bash
# The window on the virtual camera at the smallest and the default size, in
# English and in Chinese (also under a Chinese system locale), written to
# docs/screenshots/. Needs a built tree (default build/test), Xvfb, xwininfo,
# xwd and netpbm.
set -eu
build=${1:-build/test}
out=docs/screenshots
mkdir -p "$out"
shot() { # width height language LANG file
  local home display xvfb pid win
  home=$(mktemp -d)
  mkdir -p "$home/Vexlo"
  printf '[General]\nlanguage=%s\n' "$3" > "$home/Vexlo/config.ini"
  display=:$((150 + RANDOM % 100))
  Xvfb "$display" -screen 0 1600x1100x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
  for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  DISPLAY=$display HOME=$home LANG=$4 VEXLO_VCAM_STORE=$home/store \
    LD_PRELOAD=$build/tools/vcam/libvexlo-vcam.so "$build/vexlo-tuner" >/dev/null 2>&1 & pid=$!
  win=""
  for _ in $(seq 100); do
    win=$(DISPLAY=$display xwininfo -root -tree | awk '/"Vexlo/ {print $1; exit}')
    [ -n "$win" ] && break
    sleep 0.2
  done
  # No window manager: the window is resized through Xlib.
  DISPLAY=$display python3 - "$win" "$1" "$2" <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
d = ctypes.c_void_p(x.XOpenDisplay(None))
x.XResizeWindow(d, ctypes.c_ulong(int(sys.argv[1], 0)), int(sys.argv[2]), int(sys.argv[3]))
x.XCloseDisplay(d)
PY
  sleep 6 # the first frames
  DISPLAY=$display xwd -id "$win" -silent | xwdtopnm 2>/dev/null | pnmtopng > "$out/$5"
  kill -TERM $pid; wait $pid || true
  kill $xvfb
  rm -rf "$home"
  echo "screenshots: $out/$5"
}
shot 960 800 en_US en_US.UTF-8 window-960x800-en.png
shot 1280 1000 en_US en_US.UTF-8 window-1280x1000-en.png
shot 960 800 zh_CN zh_CN.UTF-8 window-960x800-zh.png
shot 1280 1000 zh_CN zh_CN.UTF-8 window-1280x1000-zh.png
