#!/usr/bin/env bash
# What it costs to show the live picture: the tuning tool and ffplay, one after
# the other, on the virtual camera (MJPG at 30 fps) under Xvfb, with ffplay's
# window the size of the tool's fitted preview (900 x 506).
#
#   bench/frame_cost.sh [-b BUILD] [-B BEFORE] [-s 1080|720] [-t SECONDS] [-w WARMUP] [-r RUNS] [-n NICE] [-p]
#
# For each program it prints CPU time per shown frame with and without Mesa's
# llvmpipe threads (OpenGL in software under Xvfb; on a desktop a GPU does that
# work), frames shown per second and resident memory, from /proc/PID/task/*/stat
# read after the warm-up and again at the end. The tool's line is followed by
# its threads: capture (read + decode + convert), GUI (hand-over and scaling),
# Qt's thread pool (scaling), scene-graph render thread (upload and draw).
# Frames shown: the tool's scene-graph render count (QSG_RENDER_TIMING), at most
# the frames it took from the camera (a render without a new frame shows none),
# ffplay's frames taken from the camera less those it dropped (its status line). With
# several runs the programs alternate and the run with the least CPU per frame
# (without llvmpipe) is reported: the machine may be shared. On a busy machine
# -n -10 runs Xvfb and both programs at that niceness (as root), so that other
# work does not make them drop frames; both are treated alike. -B adds the tool
# of a second build (say, before a change) to the same run, as "before". -p adds
# the tool with its image statistics panel shown and a region measured, as
# "stats" (its statistics thread is listed apart).
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
size=1080
seconds=12
warmup=6
runs=2
niceness=0
stats=
while getopts "b:B:s:t:w:r:n:p" opt; do
  case $opt in
    b) build=$OPTARG ;;
    B) before=$(cd "$OPTARG" && pwd)/vexlo-tuner ;;
    s) size=$OPTARG ;;
    t) seconds=$OPTARG ;;
    w) warmup=$OPTARG ;;
    r) runs=$OPTARG ;;
    n) niceness=$OPTARG ;;
    p) stats=1 ;;
    *) sed -n '2,30p' "$0"; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd)
tool="$build/vexlo-tuner"
vcam="$build/tools/vcam/libvexlo-vcam.so"
for f in "$tool" "$vcam" $before; do
  [ -e "$f" ] || { echo "missing $f (build vexlo-tuner and vcam)" >&2; exit 1; }
done
case $size in
  1080) width=1920 height=1080 index=0 ;;
  720) width=1280 height=720 index=1 ;;
  *) echo "size is 1080 or 720" >&2; exit 2 ;;
esac

if ! command -v ffplay >/dev/null; then
  echo "installing Debian's ffmpeg for ffplay" >&2
  [ "$(id -u)" -eq 0 ] || { echo "run as root to install ffmpeg" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ffmpeg >&2
fi

# The tool's preview: the tuning window fits a 16:9 frame into 900 x 506. A
# build whose main window is still the start-up window (the picture fills it)
# gets that window at 900 x 506 instead.
src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
toolargs=()
if ! grep -q 'id: *leftItem' "$src/qml/main.qml" 2>/dev/null; then
  toolargs=(-geometry 900x506)
fi

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
nice -n "$niceness" Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
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
      else if ($2 == "StatsThread") st += d
      else other += d
    }
    END { printf "%d %d %d %d %d %d %d %d\n", all, gl, gui, cap, rnd, pool, other, st }' "$before" "$after"
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
# "frames ticks_all ticks_llvmpipe gui capture render pool other stats rss_kb".
measure() {
  local kind=$1
  local home="$work/home"
  rm -rf "$home" "$work/trace" "$work/err"
  mkdir -p "$home/Vexlo"
  # The preview fitted to its area (display zoom on), at the chosen size.
  printf '[General]\npreview_index=%d\ndisplay_zoom=true\n' "$index" > "$home/Vexlo/config.ini"
  [ "$kind" = stats ] && printf 'stats_panel=true\nstats_region=0.3 0.1 0.25 0.3\n' >> "$home/Vexlo/config.ini"
  if [ "$kind" != ffplay ]; then
    local binary=$tool
    [ "$kind" = before ] && binary=$before
    HOME="$home" XDG_RUNTIME_DIR="$work" QSG_RENDER_TIMING=1 LD_PRELOAD="$vcam" \
      VEXLO_VCAM_STORE="$work/store" VEXLO_VCAM_TRACE="$work/trace" VEXLO_VCAM_TRACE_ALL=1 nice -n "$niceness" "$binary" "${toolargs[@]}" >/dev/null 2>"$work/err" &
  else
    HOME="$home" LD_PRELOAD="$vcam" VEXLO_VCAM_STORE="$work/store" \
      VEXLO_VCAM_TRACE="$work/trace" VEXLO_VCAM_TRACE_ALL=1 \
      nice -n "$niceness" ffplay -hide_banner -loglevel error -stats -an -f v4l2 -input_format mjpeg \
      -video_size "${width}x${height}" -framerate 30 -i /dev/video0 -x 900 -y 506 \
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
  sleep "$seconds"
  threads "$app_pid" > "$work/t1"
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
  local sums
  sums=$(classify "$app_pid" "$work/t0" "$work/t1")
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=
  echo "$(( (f1 - f0) - (${d1:-0} - ${d0:-0}) )) $sums $rss"
}

echo "virtual camera MJPG ${width}x${height} @30, preview 900x506, ${warmup} s warm-up, ${seconds} s measured, best of $runs"
echo "tool: $tool ${toolargs[*]}"
[ -n "$before" ] && echo "before: $before"
kinds="tool ffplay"
[ -n "$stats" ] && kinds="tool stats ffplay"
[ -n "$before" ] && kinds="before $kinds"
declare -A best
for run in $(seq "$runs"); do
  for kind in $kinds; do
    measure "$kind" > "$work/line" # not in a subshell: cleanup must see app_pid
    line=$(cat "$work/line")
    read -r frames all gl gui cap rnd pool other st rss <<<"$line"
    if [ "$frames" -le 0 ]; then
      echo "run $run $kind: no frames shown" >&2
      continue
    fi
    # Milliseconds per frame without llvmpipe, for the best-of choice.
    score=$(awk -v a="$all" -v g="$gl" -v f="$frames" -v t="$tck" 'BEGIN { printf "%.3f", (a - g) * 1000 / t / f }')
    echo "run $run $kind: $score ms/frame without llvmpipe, $frames frames" >&2
    if [ -z "${best[$kind]:-}" ] || awk -v s="$score" -v b="${best[$kind]%% *}" 'BEGIN { exit !(s < b) }'; then
      best[$kind]="$score $line"
    fi
  done
done

printf '\n| program | CPU/frame whole process | CPU/frame without llvmpipe | frames/s | RSS |\n|---|---|---|---|---|\n'
for kind in $kinds; do
  [ -n "${best[$kind]:-}" ] || continue
  read -r _ frames all gl gui cap rnd pool other st rss <<<"${best[$kind]}"
  awk -v k="$kind" -v f="$frames" -v a="$all" -v g="$gl" -v t="$tck" -v s="$seconds" -v r="$rss" '
    function ms(x) { return sprintf("%.1f ms", x * 1000 / t / f) }
    BEGIN { printf "| %s | %s | %s | %.1f | %d MB |\n", k, ms(a), ms(a - g), f / s, r / 1024 }'
done
for kind in $kinds; do
  [ "$kind" != ffplay ] && [ -n "${best[$kind]:-}" ] || continue
  read -r _ frames all gl gui cap rnd pool other st rss <<<"${best[$kind]}"
  awk -v k="$kind" -v f="$frames" -v t="$tck" -v gui="$gui" -v cap="$cap" -v rnd="$rnd" -v pool="$pool" -v o="$other" -v gl="$gl" -v st="$st" '
    function ms(x) { return sprintf("%.2f", x * 1000 / t / f) }
    BEGIN { printf "\n%s per frame (ms): capture thread %s, GUI thread %s, thread pool %s, render thread %s, statistics thread %s, other %s, llvmpipe %s\n",
            k, ms(cap), ms(gui), ms(pool), ms(rnd), ms(st), ms(o), ms(gl) }'
done

stages="$build/bench/camera/bench_capture_stages"
if [ -x "$stages" ]; then
  echo
  LD_PRELOAD="$vcam" VEXLO_VCAM_STORE="$work/store" "$stages" "$width" "$height"
fi
