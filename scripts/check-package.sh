#!/usr/bin/env bash
# Checks the Debian package the way a user meets it (not part of the test run;
# slow; run as root): builds it with scripts/package.sh, lists its files,
# installs it with apt-get into a throw-away Debian 12 root made by debootstrap
# under build/, and starts the program there from its desktop entry on a
# virtual display with the virtual camera. Passes when the window comes up and
# the program ends cleanly on SIGTERM (screenshot: build/chroot-screenshot.png).
# The mirror is the one apt uses on this machine (MIRROR=<url> to choose);
# downloads are kept in build/debootstrap-cache; KEEP_ROOT=1 keeps the root.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
root=$top/build/chroot-bookworm
cache=$top/build/debootstrap-cache
id=com.vexlo.tuner

step() { echo; echo "==== $*"; }
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }

mounts_in_root() { awk -v r="$root/" 'index($2, r) == 1 {print $2}' /proc/mounts | sort -r; }
unmount_root() {
  local m
  for m in $(mounts_in_root); do umount "$m" 2>/dev/null || umount -l "$m"; done
}
xvfb_pid="" pid=""
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  unmount_root
}
trap cleanup EXIT
# A clean environment inside the root.
in_root() {
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

bash scripts/package.sh
deb=$(ls -t build/vexlo-tuner_*.deb | head -n 1)
step "files of $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --contents "$deb"
dpkg-deb --field "$deb" Package Version Installed-Size Depends

step "throw-away Debian 12 root in $root"
if [ -z "${MIRROR:-}" ]; then
  MIRROR=$({
    cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '/^URIs:/ {print $2}'
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      sed -nE 's/^deb +(\[[^]]*\] +)?([^ ]+).*/\2/p'
  } | grep -E '/debian/?$' | head -n 1 || true)
fi
[ -n "$MIRROR" ] || fail "no Debian mirror in apt's sources; set MIRROR"
command -v debootstrap >/dev/null || apt-get install -y -q --no-install-recommends debootstrap
unmount_root
[ -z "$(mounts_in_root)" ] || fail "mounts left in $root"
rm -rf --one-file-system "$root"
mkdir -p "$cache"
debootstrap --variant=minbase --cache-dir="$cache" bookworm "$root" "$MIRROR" > build/chroot-bookworm.log 2>&1 ||
  { tail -n 20 build/chroot-bookworm.log; fail "debootstrap"; }
unmount_root
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
vcam=$(ls build/package/tools/vcam/lib*vcam*.so)
cp "$vcam" "$root/tmp/"
mount -t proc proc "$root/proc"

step "apt-get install ./$(basename "$deb")"
before=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
in_root apt-get update -q
# Without recommended packages: the dependencies alone must carry the program.
in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")"
after=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
echo "check-package: installed with $((after - before - 1)) other packages"

step "launcher"
desktop=$root/usr/share/applications/$id.desktop
[ -f "$desktop" ] || fail "no desktop entry"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
ls "$root"/usr/share/icons/hicolor/*/apps/"$icon".* || fail "no icon $icon"
ls "$root"/usr/share/metainfo/$id.metainfo.xml || fail "no metainfo"
in_root sh -c "command -v ${exec_line%% *}" || fail "$exec_line is not on the PATH"
if in_root ldd "/tmp/$(basename "$vcam")" | grep 'not found'; then fail "the virtual camera lacks libraries"; fi

step "start \"$exec_line\" on a virtual display with the virtual camera"
# A display number nobody uses; clients in the root reach the server through
# its abstract socket.
n=$((90 + RANDOM % 100))
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
display=:$n
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 300); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display xdpyinfo >/dev/null 2>&1 || fail "the virtual display $display did not start"
log=$top/build/chroot-run.log
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DISPLAY="$display" \
  LD_PRELOAD="/tmp/$(basename "$vcam")" sh -c "exec $exec_line" > "$log" 2>&1 &
pid=$!
up=no win=""
for _ in $(seq 150); do
  win=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null | awk '/"Vexlo/ {print $1; exit}')
  if [ -n "$win" ]; then up=yes; break; fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
# The window must show something: the menu bar, the parameter column, frames.
drawn=no
if [ "$up" = yes ]; then
  for _ in $(seq 60); do
    sleep 1
    DISPLAY=$display xwd -id "$win" -silent | xwdtopnm 2>/dev/null > build/chroot-screenshot.ppm || continue
    if [ "$(ppmhist -noheader build/chroot-screenshot.ppm | wc -l)" -gt 16 ]; then drawn=yes; break; fi
  done
  sleep 5 # let the first frames arrive
  DISPLAY=$display xwd -id "$win" -silent | xwdtopnm 2>/dev/null > build/chroot-screenshot.ppm || true
  pnmtopng build/chroot-screenshot.ppm > build/chroot-screenshot.png
  rm -f build/chroot-screenshot.ppm
fi
kill -TERM "$pid" 2>/dev/null || true
rc=0
wait "$pid" || rc=$?
pid=""
sed 's/^/program: /' "$log"
[ "$up" = yes ] || fail "the window did not come up"
[ "$drawn" = yes ] || fail "the window stayed blank (build/chroot-screenshot.png)"
if grep -E 'is not installed|QQmlApplicationEngine failed|failed to load' "$log"; then fail "QML did not load"; fi
[ $rc -eq 0 ] || fail "the program ended with exit code $rc"
echo "check-package: the window came up (build/chroot-screenshot.png); the program ended cleanly"

cleanup
trap - EXIT
[ -z "$(mounts_in_root)" ] || fail "mounts left in $root"
if [ "${KEEP_ROOT:-}" != 1 ]; then rm -rf --one-file-system "$root"; fi
echo "check-package: passed"
