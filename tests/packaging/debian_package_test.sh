#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package twice with `dpkg-buildpackage -b` from two copies of the source
# tree (the files git tracks or would track) at different paths, with different umasks,
# time zones and locales, and checks that both builds give the same bytes; checks what the
# package holds, what it depends on, and what lintian --pedantic says of it and of the
# source package. Then, as root, installs it without recommended packages into a fresh
# minimal Debian 12 made with debootstrap from this machine's mirror and runs the
# autopkgtest's checks and the panel's pixel comparison there (clean_install_check.sh).
# Skips (77) where the packaging tools are missing.
# Usage: debian_package_test.sh SOURCE_DIR WORK_DIR LAYOUT_TOOL (tests/e2e/window_layout.cpp)
set -euo pipefail
source_dir=$1
work=$(readlink -f "$2")
layout_tool=$3
here=$(dirname "$(readlink -f "$0")")
for tool in git dpkg-buildpackage dpkg-source dh dpkg-deb lintian; do
  command -v "$tool" >/dev/null || { echo "$tool missing"; exit 77; }
done
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
failures=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "WRONG: $1"; failures=$((failures + 1)); fi
}

# Unpacks the snapshot of the source tree into DIR, builds the source package from it and
# then the binary package with UMASK and the environment VARIABLEs, checking its tests or,
# with CHECK "nocheck", neither building nor running them (the nocheck build profile and
# build option); both land in DIR.
# Usage: build_package DIR UMASK check|nocheck VARIABLE=VALUE...
build_package() {
  local dir=$1 umask=$2 check=$3
  local tree=$dir/tessaro-$version options="parallel=$(nproc)" profile=()
  shift 3
  if [ "$check" = nocheck ]; then options="nocheck $options"; profile=(-Pnocheck); fi
  mkdir -p "$tree"
  tar -xf "$work/source.tar" -C "$tree"
  (cd "$dir" && dpkg-source -b "tessaro-$version" >/dev/null)
  if ! (cd "$tree" && umask "$umask" && env "$@" DEB_BUILD_OPTIONS="$options" \
          dpkg-buildpackage -b -us -uc "${profile[@]}" >"$tree.log" 2>&1); then
    tail -30 "$tree.log"; echo "WRONG: dpkg-buildpackage -b failed in $tree"; exit 1
  fi
}
rm -rf "$work"
mkdir -p "$work"
# The files git tracks or would track, taken once for both builds.
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null) >"$work/source.tar"
started=$(date +%s)
build_package "$work/first" 022 check TZ=UTC LC_ALL=C.UTF-8
echo "first build, with its unit tests: $(($(date +%s) - started)) s"
build_package "$work/second/elsewhere" 002 nocheck TZ=Asia/Taipei LC_ALL=de_DE.UTF-8
echo "both builds: $(($(date +%s) - started)) s"
deb=$work/first/tessaro_${version}_amd64.deb
[ -f "$deb" ] || { echo "WRONG: no $deb"; exit 1; }
for built in "$work"/first/*.deb "$work"/first/*.tar.xz; do
  check "$(basename "$built") is byte for byte the same from both builds" \
    "cmp '$built' '$work/second/elsewhere/$(basename "$built")'"
done
# The build that checks ran the unit tests and all passed; the nocheck build ran no test
# and built none.
first_log=$work/first/tessaro-$version.log
second_log=$work/second/elsewhere/tessaro-$version.log
unit_summary=$(grep -E '^100% tests passed, 0 tests failed out of [0-9]+$' "$first_log" || true)
echo "unit tests in the first build: ${unit_summary:-none}"
check "the first build ran the unit tests, and only those" \
  "[ -n \"\$unit_summary\" ] && grep -q 'ctest -L unit' '$first_log' &&
   [ \"\$(grep -c '^unit  *= ' '$first_log')\" = 1 ] && ! grep -qE '^(e2e|slow|platform|packaging|structure)  *= ' '$first_log'"
check "the nocheck build neither built nor ran a test" \
  "! grep -qE 'ctest|tests passed| tests/[a-z0-9]+/CMakeFiles/' '$second_log'"

expect_file() {
  if dpkg-deb -c "$deb" | awk '{print $6}' | grep -qx "./usr/$1"; then
    echo "ok: /usr/$1"
  else
    echo "MISSING: /usr/$1"; failures=$((failures + 1))
  fi
}
expect_file bin/tessaro
expect_file bin/tessaro-query
expect_file bin/tessaro-vcutter
expect_file share/applications/org.tessaro.Tessaro.desktop
expect_file share/metainfo/org.tessaro.tessaro.metainfo.xml
expect_file share/icons/hicolor/scalable/apps/org.tessaro.Tessaro.svg
expect_file share/icons/hicolor/48x48/apps/org.tessaro.Tessaro.png
expect_file share/man/man1/tessaro.1.gz
expect_file share/man/man1/tessaro-query.1.gz
expect_file share/man/man1/tessaro-vcutter.1.gz
expect_file share/bash-completion/completions/tessaro-query
expect_file share/doc/tessaro/copyright
expect_file share/doc/tessaro/changelog.gz
expect_file share/doc/tessaro/README.md
# Every picture the guide shows is installed beside it.
for picture in $(grep -o '](docs/[a-z0-9-]*\.png)' "$source_dir/README.md" | sed 's/^](//; s/)$//' | sort -u); do
  expect_file "share/doc/tessaro/$picture"
done
check "members compressed with xz" \
  "[ \"\$(ar t '$deb' | tr '\n' ' ')\" = 'debian-binary control.tar.xz data.tar.xz ' ]"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for runtime in libqt6widgets6 libqt6gui6 libqt6core6 libc6; do
  if grep -qF "$runtime" <<<"$depends"; then echo "ok: depends on $runtime"; else
    echo "MISSING dependency: $runtime"; failures=$((failures + 1)); fi
done
# The caption face is built in: no font package.
if grep -Eq -- '-dev\b|libasan|libubsan|fonts-' <<<"$depends"; then
  echo "WRONG: depends on a development, sanitizer or font package"; failures=$((failures + 1))
fi

recommends=$(dpkg-deb -f "$deb" Recommends)
grep -qw qt6-wayland <<<"$recommends" && echo "ok: recommends qt6-wayland" ||
  { echo "MISSING recommendation: qt6-wayland"; failures=$((failures + 1)); }

"$here/package_documents_check.sh" "$deb" "$version" || failures=$((failures + 1))

# lintian, every tag shown: none. (A native package draws no initial-upload-closes-no-bugs:
# that tag is for a first Debian revision, -1.)
lintian_output=$(lintian --pedantic --display-info "$deb" "$work/first/tessaro_$version.dsc" 2>&1 |
  grep -v 'running with root' || true)
echo "lintian --pedantic: ${lintian_output:-clean}"
if [ -n "$lintian_output" ]; then
  echo "WRONG: lintian tags on the binary or source package"; failures=$((failures + 1))
fi

if [ "$(id -u)" -eq 0 ] && command -v debootstrap >/dev/null; then
  "$here/clean_install_check.sh" "$deb" "$work" "$layout_tool" \
    "$work/first/tessaro-$version/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)/tessaro" \
    "$source_dir/debian/tests" || failures=$((failures + 1))
else
  echo "not root or no debootstrap: the clean install is not checked"
fi
[ "$failures" -eq 0 ] && echo "package ok" || { echo "$failures package check(s) failed"; exit 1; }
