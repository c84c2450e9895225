#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the package with --no-install-recommends into a fresh minimal Debian 12 made by
# debootstrap from this machine's configured mirror, after measuring what apt downloads
# for it; runs the autopkgtest's checks (debian/tests) there, directly, beside an Xvfb of
# that root; draws the panel there, where no CJK font is installed, and compares its nine
# captions with the same program drawn here, where CJK fonts are (the caption face is built
# in: a colon without a glyph would draw as a box, one borrowed from an installed face
# would differ); then purges it. The
# root lives in the work directory and is removed. Needs root and the network to the mirror.
# Usage: clean_install_check.sh DEB WORK_DIR LAYOUT_TOOL (tests/e2e/window_layout.cpp)
#                               PROGRAM (tessaro built from the same source) TESTS_DIR (debian/tests)
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
# Starts a program, saves the picture of its window and ends it (on an X server of its
# own where DISPLAY is unset).
shoot_window=$here/../e2e/shoot_window.py
deb=$1
work=$(readlink -f "$2")/clean-install
layout_tool=$3
program=$4
tests_dir=$5
root=$work/root
# What apt may download for the package and what it needs, --no-install-recommends.
max_download_bytes=72000000
failures=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "WRONG: $1"; failures=$((failures + 1)); fi
}
elapsed() { echo "$(($(date +%s) - started)) s"; }

# The first bookworm mirror of /etc/apt/sources.list(.d), one-line or deb822 form.
configured_mirror() {
  {
    grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
      sed 's/\[[^]]*\]//' | awk '$3 == "bookworm" { print $2 }'
    for file in /etc/apt/sources.list.d/*.sources; do
      [ -f "$file" ] && awk 'BEGIN { RS = "" }
        /(^|\n)Types:[^\n]* deb( |\n|$)/ && /(^|\n)Suites:[^\n]* bookworm( |\n|$)/ {
          match($0, /URIs: *[^ \n]+/); split(substr($0, RSTART, RLENGTH), uri, / +/); print uri[2] }' "$file"
    done
  } | head -1
}

unmount_root() {
  grep -o " $root/[^ ]*" /proc/mounts | sort -r | while read -r mount; do umount -l "$mount"; done
}
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  unmount_root
  rm -rf "$work" "/tmp/.X$display-lock"
}
# A display number no xvfb-run -a here counts up to, reserved by its lock file.
display=$((400 + $$ % 500))
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work"
echo $$ >"/tmp/.X$display-lock"

mirror=$(configured_mirror)
[ -n "$mirror" ] || { echo "WRONG: no bookworm mirror in /etc/apt/sources.list(.d)"; exit 1; }
started=$(date +%s)
if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1; then
  tail -20 "$work/debootstrap.log"; echo "WRONG: debootstrap from $mirror failed"; exit 1
fi
echo "debootstrap from $mirror: $(elapsed)"
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
# Pseudo-terminals of the root's own, for the virtual cutter.
mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"
cp "$deb" "$root/tmp/tessaro.deb"
cp -r "$tests_dir" "$root/tmp/tests"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
in_root apt-get update -qq
download=$(in_root apt-get install --no-install-recommends --print-uris -qq /tmp/tessaro.deb |
  awk '{ bytes += $3 } END { print bytes + 0 }')
check "apt-get install --no-install-recommends downloads $(awk "BEGIN { printf \"%.1f\", $download / 1e6 }") MB, at most $((max_download_bytes / 1000000)) MB" \
  "[ '$download' -le '$max_download_bytes' ]"
# With what the autopkgtest's checks depend on (debian/tests/control).
test_depends=$(sed -n 's/^Depends: *//p' "$tests_dir/control" | tr ',' '\n' | grep -vx ' *tessaro *' | tr -d ' ' | sort -u)
in_root apt-get install -y -qq --no-install-recommends /tmp/tessaro.deb $test_depends >"$work/apt.log" 2>&1 ||
  { tail -20 "$work/apt.log"; echo "WRONG: apt-get install failed"; exit 1; }
echo "installed with --no-install-recommends: $(elapsed)"
check "copyright, changelog and guide installed" \
  "[ -s '$root/usr/share/doc/tessaro/copyright' ] && [ -s '$root/usr/share/doc/tessaro/changelog.gz' ] &&
   [ -s '$root/usr/share/doc/tessaro/README.md' ] && [ -s '$root/usr/share/doc/tessaro/docs/main-window.png' ]"
check "autopkgtest version" "in_root /tmp/tests/version"
# Installed without its recommends, so without Qt's Wayland plugin: in a Wayland session
# Tessaro names what is missing instead of asking for a desktop session.
wayland_said=$(in_root WAYLAND_DISPLAY=wayland-1 tessaro 2>&1 | tail -n 1 || true)
check "without qt6-wayland a Wayland session is told what to install: $wayland_said" \
  '[[ $wayland_said == *"Wayland platform plugin is missing: install the package qt6-wayland"* ]]'

# -noreset: a server that resets as its last client leaves drops one connecting meanwhile.
mkdir -m 1777 -p "$root/tmp/.X11-unix"
chroot "$root" Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
check "autopkgtest window" "in_root DISPLAY=:$display AUTOPKGTEST_TMP=/tmp /tmp/tests/window"
mkdir -m 700 "$root/tmp/runtime"
check "no CJK font in the clean root" \
  "! compgen -G '$root/usr/share/fonts/*/*/*[Cc][Jj][Kk]*' >/dev/null && [ ! -d '$root/usr/share/fonts/truetype/wqy' ]"
check "Tessaro shows its window in the clean root" \
  "python3 -B '$shoot_window' '$work/clean.png' chroot '$root' env -i DISPLAY=:$display XDG_RUNTIME_DIR=/tmp/runtime tessaro"
kill "${pids[0]}"
pids=()
mkdir -m 700 "$work/runtime"
check "Tessaro shows its window here" \
  "env -u DISPLAY XDG_RUNTIME_DIR='$work/runtime' python3 -B '$shoot_window' '$work/full.png' '$program'"

# The frame of the nine rows, where the main window says it stands: captions only, the
# values are empty at start. Wizard dialogs share the title and may name a frame GroupBox1
# too, and windows are listed in no fixed order: the main window is the one with Poll Size.
rows=$({ QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$layout_tool" 2>/dev/null || true; } |
  awk -F'\t' '$1 == "Tessaro" && $3 == "Poll Size" { main = $2 }
               $1 == "Tessaro" && $3 == "GroupBox1" { frame[$2] = $4 }
               END { if (main in frame) print frame[main] }')
check "the main window tells where its rows stand" "[ -n '$rows' ]"
read -r x y width height <<<"${rows:-1 1 1 1}"
for shot in clean full; do
  [ -f "$work/$shot.png" ] &&
    convert "$work/$shot.png" -crop "${width}x${height}+${x}+${y}" +repage "$work/$shot-rows.png"
done
differing=$(compare -metric AE -fuzz 10% "$work/full-rows.png" "$work/clean-rows.png" null: 2>&1 || true)
check "the nine captions are drawn as here ($differing pixels differ)" "[ '${differing%%[^0-9]*}' = 0 ]"
[ "$failures" -eq 0 ] || cp "$work"/*.png "$(dirname "$work")/" 2>/dev/null || true

in_root apt-get purge -y -qq tessaro >"$work/purge.log" 2>&1
check "purged: no program and no documents left" \
  "[ ! -e '$root/usr/bin/tessaro' ] && [ ! -e '$root/usr/share/doc/tessaro' ]"
echo "clean install checked in $(elapsed)"
[ "$failures" -eq 0 ]
