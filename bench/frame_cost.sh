#!/usr/bin/env bash
# What it costs to show the live picture: the tuning tool on each of its two
# scene graphs and ffplay, one after the other, on the virtual camera (MJPG at
# 30 fps) under Xvfb, at 1080p and 720p, with the preview fitted (fit mode) and
# at one pixel per pixel (pixel mode).
#
#   bench/frame_cost.sh [-b BUILD] [-B BEFORE] [-s "1080 720"] [-m "fit pixel"]
#                       [-t SECONDS] [-w WARMUP] [-r RUNS] [-n NICE] [-p]
#
# The programs: "software", the tool as it starts on this machine (Xvfb has no
# GPU: Qt Quick's software scene graph and the painted preview item; its choice
# is printed); "gl", the tool on the OpenGL scene graph with the GL item
# (QT_QUICK_BACKEND=opengl); "ffplay", with a window of the tool's fitted
# preview (900 x 506) in fit mode and of the frame's size in pixel mode. -B adds
# the tool of a second build (say, before a change) as "before", as it starts.
#
# For each it prints CPU time per shown frame with and without Mesa's llvmpipe
# threads (OpenGL in software under Xvfb; on a desktop a GPU does that work),
# the ratio of the whole-process figure to ffplay's, frames shown per second
# and resident memory, and the X server's CPU per frame (the screen copies, in
# another process), from /proc/PID/task/*/stat read after the warm-up and
# again at the end; then each tool's threads: capture (read + decode +
# convert), GUI (hand-over, scaling, and on the software scene graph the
# drawing), Qt's thread pool (scaling), scene-graph render thread (upload and
# draw), llvmpipe.
# Frames shown: the tool's scene-graph render count (its render loop's timing
# lines), at most
# the frames it took from the camera (a render without a new frame shows none),
# ffplay's frames taken from the camera less those it dropped (its status line). With
# several runs the programs alternate and the run with the least CPU per frame
# (without llvmpipe) is reported: the machine may be shared. On a busy machine
# -n -10 runs Xvfb and the programs at that niceness (as root), so that other
# work does not make them drop frames; all are treated alike.
#
# Then, when the build has it, bench/camera/bench_capture_stages prints the
# capture side stage by stage.
#
# ffplay comes from Debian's ffmpeg package, installed here if missing; it is
# for this comparison only and no dependency of the program.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build/test"
before=
sizes="1080 720"
modes="fit pixel"
seconds=12
warmup=6
runs=2
niceness=0
stats=
while getopts "b:B:s:m:t:w:r:n:p" opt; do
  case $opt in
    b) build=$OPTARG ;;
    B) before=$(cd "$OPTARG" && pwd)/vexlo-tuner ;;
    s) sizes=$OPTARG ;;
    m) modes=$OPTARG ;;
    t) seconds=$OPTARG ;;
    w) warmup=$OPTARG ;;
    r) runs=$OPTARG ;;
    n) niceness=$OPTARG ;;
    p) stats=1 ;;
    *) sed -n '2,37p' "$0"; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd)
tool="$build/vexlo-tuner"
vcam="$build/tools/vcam/libvexlo-vcam.so"
for f in "$tool" "$vcam" $before; do
  [ -e "$f" ] || { echo "missing $f (build vexlo-tuner and vcam)" >&2; exit 1; }
done
for size in $sizes; do
  case $size in 1080|720) ;; *) echo "sizes are 1080 and 720" >&2; exit 2 ;; esac
done
for mode in $modes; do
  case $mode in fit|pixel) ;; *) echo "modes are fit and pixel" >&2; exit 2 ;; esac
done

if ! command -v ffplay >/dev/null; then
  echo "installing Debian's ffmpeg for ffplay" >&2
  [ "$(id -u)" -eq 0 ] || { echo "run as root to install ffmpeg" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ffmpeg >&2
fi

# The tool's preview: the tuning window fits a 16:9 frame into 900 x 506.

work=$(mktemp -d "${TMPDIR:-/tmp}/frame_cost.XXXXXX")
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

exec 3>"$work/display"
nice -n "$niceness" Xvfb -displayfd 3 -screen 0 2048x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

tck=$(getconf CLK_TCK)

# Per-thread CPU ticks as "tid name ticks" lines.
threads() {
  local pid=$1 t
  for t in /proc/"$pid"/task/*; do
    local stat
    stat=$(cat "$t/stat" 2>/dev/null) || continue
    local name=${stat#*(}; name=${name%)*}; name=${name// /_}
    local rest=${stat##*) }
    # Fields after the name: state is field 3 of stat, utime 14, stime 15.
    set -- $rest
    echo "${t##*/} $name $(( ${12} + ${13} ))"
  done
}

# The X server's CPU ticks: it copies what the programs draw to the screen.
xticks() {
  local rest
  rest=$(cut -d')' -f2- /proc/"$xvfb_pid"/stat)
  set -- $rest
  echo $(( ${12} + ${13} ))
}

# Sums the ticks between two snapshots by thread class.
classify() {
  local pid=$1 before=$2 after=$3
  awk -v pid="$pid" '
    NR == FNR { start[$1] = $3; next }
    {
      d = $3 - ($1 in start ? start[$1] : 0)
      all += d
      if ($2 ~ /^llvmpipe/) gl += d
      else if ($1 == pid) gui += d
      else if ($2 == "CaptureThread") cap += d
      else if ($2 == "QSGRenderThread") rnd += d
      else if ($2 ~ /^Thread_\(pooled\)/) pool += d
      else other += d
    }
    END { printf "%d %d %d %d %d %d %d\n", all, gl, gui, cap, rnd, pool, other }' "$before" "$after"
}

# Lines of file $2 that match $1; 0 while the file does not exist.
count() {
  local n
  n=$(grep -c "$1" "$2" 2>/dev/null) || true
  echo "${n:-0}"
}

# Buffers given back to the camera: one per frame taken (the trace also lists
# every DQBUF attempt, the unsuccessful ones included).
requeued() { count ' QBUF$' "$1"; }
rendered() { count 'Frame rendered' "$1"; }
dropped() { { tr '\r' '\n' < "$1"; } 2>/dev/null | sed -n 's/.*fd= *\([0-9]*\).*/\1/p' | tail -n1; }

# Runs one program for warm-up + measurement; prints
# "frames ticks_all ticks_llvmpipe gui capture render pool other rss_kb ticks_xserver".
measure() {
  local kind=$1
  local home="$work/home"
  rm -rf "$home" "$work/trace" "$work/err"
  mkdir -p "$home/Vexlo"
  # The preview at the chosen size, fitted to its area (display zoom on) or not.
  local zoom=true window="-x 900 -y 506"
  [ "$mode" = pixel ] && zoom=false window="-x $width -y $height"
  printf '[General]\npreview_index=%d\ndisplay_zoom=%s\n' "$index" "$zoom" > "$home/Vexlo/config.ini"
  # -p: the image statistics panel shown, with a region (its thread counts under "other").
  [ -z "$stats" ] || printf 'stats_panel=true\nstats_region=0.3 0.1 0.25 0.3\n' >> "$home/Vexlo/config.ini"
  if [ "$kind" != ffplay ]; then
    local binary=$tool backend=
    [ "$kind" = before ] && binary=$before
    [ "$kind" = gl ] && backend=opengl
    env ${backend:+QT_QUICK_BACKEND=$backend} HOME="$home" XDG_RUNTIME_DIR="$work" QSG_RENDER_TIMING=1 \
      QT_LOGGING_RULES=qt.scenegraph.time.renderloop=true \
      LD_PRELOAD="$vcam" VEXLO_VCAM_STORE="$work/store" VEXLO_VCAM_TRACE="$work/trace" VEXLO_VCAM_TRACE_ALL=1 \
      nice -n "$niceness" "$binary" >/dev/null 2>"$work/err" &
  else
    # shellcheck disable=SC2086 # the window size is two options
    HOME="$home" LD_PRELOAD="$vcam" VEXLO_VCAM_STORE="$work/store" \
      VEXLO_VCAM_TRACE="$work/trace" VEXLO_VCAM_TRACE_ALL=1 \
      nice -n "$niceness" ffplay -hide_banner -loglevel error -stats -an -f v4l2 -input_format mjpeg \
      -video_size "${width}x${height}" -framerate 30 -i /dev/video0 $window \
      >/dev/null 2>"$work/err" &
  fi
  app_pid=$!
  # The warm-up starts with the first frame on the screen (a loaded machine
  # may take seconds to get there).
  local waited
  for waited in $(seq 300); do
    if [ "$kind" != ffplay ]; then [ "$(rendered "$work/err")" -gt 1 ] && break
    else [ -n "$(dropped "$work/err")" ] && [ "$(requeued "$work/trace")" -gt 0 ] && break; fi
    sleep 0.1
  done
  sleep "$warmup"
  local f0 d0=0 q0
  q0=$(requeued "$work/trace")
  if [ "$kind" != ffplay ]; then f0=$(rendered "$work/err"); else f0=$q0; d0=$(dropped "$work/err"); fi
  threads "$app_pid" > "$work/t0"
  local x0 x1
  x0=$(xticks)
  sleep "$seconds"
  threads "$app_pid" > "$work/t1"
  x1=$(xticks)
  local f1 d1=0 q1
  q1=$(requeued "$work/trace")
  if [ "$kind" != ffplay ]; then
    f1=$(rendered "$work/err")
    (( f1 - f0 > q1 - q0 )) && f1=$(( f0 + q1 - q0 ))
  else
    f1=$q1; d1=$(dropped "$work/err")
  fi
  local rss
  rss=$(awk '/^VmRSS/ { print $2 }' /proc/"$app_pid"/status)
  # The tool's scene-graph choice, once per program.
  if [ "$kind" != ffplay ] && [ -z "${chosen[$kind]:-}" ]; then
    chosen[$kind]=$(grep -m1 '^scene graph:' "$work/err" || echo "scene graph: OpenGL (a build without the choice)")
  fi
  local sums
  sums=$(classify "$app_pid" "$work/t0" "$work/t1")
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=
  echo "$(( (f1 - f0) - (${d1:-0} - ${d0:-0}) )) $sums $rss $(( x1 - x0 ))"
}

echo "virtual camera MJPG at 30 fps, ${warmup} s warm-up, ${seconds} s measured, best of $runs, niceness $niceness"
echo "tool: $tool"
[ -n "$before" ] && echo "before: $before"
echo "load before the runs: $(cut -d' ' -f1-3 /proc/loadavg)"
kinds="software gl ffplay"
[ -n "$before" ] && kinds="before software gl ffplay"
declare -A best chosen

# One size and mode: every program, best of the runs, the table and the threads.
config() {
  local size=$1 mode=$2 run kind line score
  case $size in
    1080) width=1920 height=1080 index=0 ;;
    720) width=1280 height=720 index=1 ;;
  esac
  best=()
  for run in $(seq "$runs"); do
    for kind in $kinds; do
      measure "$kind" > "$work/line" # not in a subshell: cleanup must see app_pid
      line=$(cat "$work/line")
      read -r frames all gl gui cap rnd pool other rss xs <<<"$line"
      if [ "$frames" -le 0 ]; then
        echo "${size}p $mode run $run $kind: no frames shown" >&2
        continue
      fi
      # Milliseconds per frame without llvmpipe, for the best-of choice.
      score=$(awk -v a="$all" -v g="$gl" -v f="$frames" -v t="$tck" 'BEGIN { printf "%.3f", (a - g) * 1000 / t / f }')
      echo "${size}p $mode run $run $kind: $score ms/frame without llvmpipe, $frames frames" >&2
      if [ -z "${best[$kind]:-}" ] || awk -v s="$score" -v b="${best[$kind]%% *}" 'BEGIN { exit !(s < b) }'; then
        best[$kind]="$score $line"
      fi
    done
  done

  local reference=0
  if [ -n "${best[ffplay]:-}" ]; then
    read -r _ frames all _ <<<"${best[ffplay]}"
    reference=$(awk -v a="$all" -v f="$frames" 'BEGIN { print a / f }')
  fi
  printf '\n%sp, %s mode (ffplay window %s)\n\n' "$size" "$mode" \
    "$([ "$mode" = fit ] && echo 900x506 || echo "${width}x${height}")"
  printf '| program | CPU/frame whole process | × ffplay | CPU/frame without llvmpipe | frames/s | RSS | X server CPU/frame |\n'
  printf '|---|---|---|---|---|---|---|\n'
  for kind in $kinds; do
    [ -n "${best[$kind]:-}" ] || continue
    read -r _ frames all gl gui cap rnd pool other rss xs <<<"${best[$kind]}"
    awk -v k="$kind" -v f="$frames" -v a="$all" -v g="$gl" -v t="$tck" -v s="$seconds" -v r="$rss" -v ref="$reference" -v x="$xs" '
      function ms(x) { return sprintf("%.1f ms", x * 1000 / t / f) }
      BEGIN {
        ratio = "-"
        if (ref > 0) ratio = sprintf("%.2f", a / f / ref)
        printf "| %s | %s | %s | %s | %.1f | %d MB | %s |\n", k, ms(a), ratio, ms(a - g), f / s, r / 1024, ms(x)
      }'
  done
  echo
  for kind in $kinds; do
    [ "$kind" != ffplay ] && [ -n "${best[$kind]:-}" ] || continue
    read -r _ frames all gl gui cap rnd pool other rss xs <<<"${best[$kind]}"
    awk -v k="$kind" -v f="$frames" -v t="$tck" -v gui="$gui" -v cap="$cap" -v rnd="$rnd" -v pool="$pool" -v o="$other" -v gl="$gl" '
      function ms(x) { return sprintf("%.2f", x * 1000 / t / f) }
      BEGIN { printf "%s per frame (ms): capture thread %s, GUI thread %s, thread pool %s, render thread %s, other %s, llvmpipe %s\n",
              k, ms(cap), ms(gui), ms(pool), ms(rnd), ms(o), ms(gl) }'
  done
}

for size in $sizes; do
  for mode in $modes; do
    config "$size" "$mode"
  done
done
echo
for kind in $kinds; do
  [ -n "${chosen[$kind]:-}" ] && echo "$kind: ${chosen[$kind]}"
done
echo "load after the runs: $(cut -d' ' -f1-3 /proc/loadavg)"

stages="$build/bench/camera/bench_capture_stages"
if [ -x "$stages" ]; then
  echo
  for size in $sizes; do
    if [ "$size" = 1080 ]; then set -- 1920 1080; else set -- 1280 720; fi
    LD_PRELOAD="$vcam" VEXLO_VCAM_STORE="$work/store" "$stages" "$@"
  done
fi
