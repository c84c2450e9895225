#!/usr/bin/env bash
# Builds the Debian package from a Release configuration of its own and checks what it
# holds and what it depends on. Skips (77) where dpkg tools are missing.
set -euo pipefail
source_dir=$1
build_dir=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
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

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for runtime in libqt6widgets6 libqt6gui6 libqt6core6 libc6; do
  if grep -q "$runtime" <<<"$depends"; then echo "ok: depends on $runtime"; else
    echo "MISSING dependency: $runtime"; failures=$((failures + 1)); fi
done
if grep -Eq -- '-dev\b|libasan|libubsan' <<<"$depends"; then
  echo "WRONG: depends on a development or sanitizer package"; failures=$((failures + 1))
fi

if command -v apt-get >/dev/null && [ "$(id -u)" -eq 0 ]; then
  if apt-get install --simulate "$deb" >/dev/null 2>&1; then echo "ok: installable"; else
    echo "NOT installable:"; apt-get install --simulate "$deb" || true; failures=$((failures + 1)); fi
fi
[ "$failures" -eq 0 ] && echo "package ok" || { echo "$failures package check(s) failed"; exit 1; }
