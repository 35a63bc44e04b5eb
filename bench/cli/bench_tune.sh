#!/usr/bin/env bash
# vexlo-tune on a tray of cameras: `apply --all --store` of one profile on 1
# and on 8 virtual cameras (one process each run, the virtual camera
# preloaded), wall time of each run and the ratio of the medians. Target: 8
# cameras take at most 1.5 x one camera's time. Not part of ctest.
#
#   bash bench/cli/bench_tune.sh [BUILD_DIR]     (default build/test; builds what it needs)
#   RUNS (5) runs per tray size
#
# Exit code 0 when the target holds and no run had a protocol violation.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/test}
runs=${RUNS:-5}
nice -n 10 cmake --build "$build" -j2 --target vexlo-tune vcam >/dev/null
tune=$build/cli/vexlo-tune
vcam=$(realpath "$build/tools/vcam/libvexlo-vcam.so")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/line.profile" <<'PROFILE'
[General]
bright_mode=true
skin_smoothing=false
aec_Mod=1
afd_value=2
awb_value=6
aperture_value=320
exposure_time=-5
iso_value=3
ev_value=2
sce_value=900
saturation_value=7
contrast_value=3
sharpness_value=20
warmness_value=-4
uvc_mce_r=10
uvc_mce_g=20
uvc_mce_b=30
color_temperature=35

[profile]
name=bench
PROFILE

# median of the numbers on stdin
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

declare -A med
violations=0
printf '%-8s %-6s %s\n' cameras run seconds
for n in 1 8; do
  nodes=$(seq -s, 0 2 $((2 * n - 2)))
  times=()
  for r in $(seq "$runs"); do
    rm -rf "$work/home" "$work/state"* "$work/store"*
    mkdir -p "$work/home"
    start=$(date +%s.%N)
    HOME=$work/home XDG_RUNTIME_DIR=$work VEXLO_VCAM_NODES=$nodes VEXLO_VCAM_STORE=$work/store \
      VEXLO_VCAM_STATE=$work/state LD_PRELOAD=$vcam "$tune" apply --all --store "$work/line.profile" \
      >/dev/null 2>"$work/err" || { cat "$work/err"; exit 1; }
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc)
    times+=("$t")
    printf '%-8s %-6s %.3f\n' "$n" "$r" "$t"
    v=$(awk '$1 == "violations" {s += $2} END {print s + 0}' "$work"/state*)
    violations=$((violations + v))
  done
  med[$n]=$(printf '%s\n' "${times[@]}" | median)
done
ratio=$(echo "scale=3; ${med[8]} / ${med[1]}" | bc)
printf '\nmedian 1 camera %.3f s, 8 cameras %.3f s: ratio %.2f (target <= 1.5), violations %d\n' \
  "${med[1]}" "${med[8]}" "$ratio" "$violations"
[ "$violations" -eq 0 ] && [ "$(echo "$ratio <= 1.5" | bc)" -eq 1 ]
