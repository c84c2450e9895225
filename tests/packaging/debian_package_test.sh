#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a Release configuration of its own and checks what it
# holds, what it depends on and what lintian says of it; then, as root, installs it
# without recommended packages into a fresh minimal Debian 12 made with debootstrap from
# this machine's mirror, runs it there under Xvfb and compares its panel with the one
# drawn on this machine, and purges it. Skips (77) where dpkg tools are missing.
# Usage: debian_package_test.sh SOURCE_DIR BUILD_DIR LAYOUT_TOOL (tests/e2e/window_layout.cpp)
set -euo pipefail
source_dir=$1
build_dir=$2
layout_tool=$3
here=$(dirname "$(readlink -f "$0")")
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || { echo "$tool missing"; exit 77; }
done

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTESSARO_TESTS=OFF -DTESSARO_SANITIZE=OFF >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" >/dev/null
rm -f "$build_dir"/tessaro_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/tessaro_*.deb)
echo "built $deb"

failures=0
expect_file() {
  if dpkg-deb -c "$deb" | awk '{print $6}' | grep -qx "./usr/$1"; then
    echo "ok: /usr/$1"
  else
    echo "MISSING: /usr/$1"; failures=$((failures + 1))
  fi
}
expect_file bin/tessaro
expect_file bin/tessaro-vcutter
expect_file share/applications/org.tessaro.Tessaro.desktop
expect_file share/metainfo/org.tessaro.Tessaro.metainfo.xml
expect_file share/icons/hicolor/scalable/apps/org.tessaro.Tessaro.svg
expect_file share/icons/hicolor/48x48/apps/org.tessaro.Tessaro.png
expect_file share/man/man1/tessaro.1.gz
expect_file share/man/man1/tessaro-vcutter.1.gz
expect_file share/doc/tessaro/copyright
expect_file share/doc/tessaro/changelog.Debian.gz
expect_file share/doc/tessaro/README.md
# Every picture the guide shows is installed beside it.
for picture in $(grep -o '](docs/[a-z0-9-]*\.png)' "$source_dir/README.md" | sed 's/^](//; s/)$//' | sort -u); do
  expect_file "share/doc/tessaro/$picture"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for runtime in libqt6widgets6 libqt6gui6 libqt6core6 libc6 fonts-noto-cjk; do
  if grep -q "$runtime" <<<"$depends"; then echo "ok: depends on $runtime"; else
    echo "MISSING dependency: $runtime"; failures=$((failures + 1)); fi
done
if grep -Eq -- '-dev\b|libasan|libubsan' <<<"$depends"; then
  echo "WRONG: depends on a development or sanitizer package"; failures=$((failures + 1))
fi

recommends=$(dpkg-deb -f "$deb" Recommends)
grep -qw qt6-wayland <<<"$recommends" && echo "ok: recommends qt6-wayland" ||
  { echo "MISSING recommendation: qt6-wayland"; failures=$((failures + 1)); }

"$here/package_documents_check.sh" "$deb" "$(dpkg-deb -f "$deb" Version)" ||
  failures=$((failures + 1))

# lintian: no error, and no warning but the one a package made outside Debian's archive
# always draws (a first upload to Debian would close its ITP bug).
accepted_warnings='initial-upload-closes-no-bugs'
lintian_output=$(lintian --suppress-tags "$accepted_warnings" "$deb" 2>&1 | grep -v 'running with root' || true)
echo "lintian: ${lintian_output:-clean}"
if grep -Eq '^[EW]: ' <<<"$lintian_output"; then
  echo "WRONG: lintian errors or warnings"; failures=$((failures + 1))
fi

if [ "$(id -u)" -eq 0 ] && command -v debootstrap >/dev/null; then
  "$here/clean_install_check.sh" "$deb" "$build_dir" "$layout_tool" || failures=$((failures + 1))
else
  echo "not root or no debootstrap: the clean install is not checked"
fi
[ "$failures" -eq 0 ] && echo "package ok" || { echo "$failures package check(s) failed"; exit 1; }
