#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The package's documents: a machine-readable copyright file under the GPL 3 or later, a
# changelog whose newest entry is the package's version, the metainfo's licence and the
# programs it names, and man pages that man-db reads, dated, leading to the user guide.
# Usage: package_documents_check.sh DEB VERSION
set -euo pipefail
deb=$1
version=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
doc=$root/usr/share/doc/tessaro
failures=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "WRONG: $1"; failures=$((failures + 1)); fi
}

check "copyright is in the machine-readable format" \
  "head -1 '$doc/copyright' | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'"
check "copyright: every file under GPL-3+, its text named" \
  "grep -qx 'Files: \*' '$doc/copyright' && grep -qx 'License: GPL-3+' '$doc/copyright' &&
   grep -q '/usr/share/common-licenses/GPL-3' '$doc/copyright'"
zcat "$doc/changelog.gz" >"$root/changelog"
check "the changelog's newest entry is $version" \
  "[ \"\$(dpkg-parsechangelog -l '$root/changelog' -S Version)\" = '$version' ]"
check "the metainfo's licence is GPL-3.0-or-later" \
  "grep -q '<project_license>GPL-3.0-or-later</project_license>' \
     '$root/usr/share/metainfo/org.tessaro.tessaro.metainfo.xml'"
check "the guide starts with Tessaro's introduction and holds the user guide" \
  "head -1 '$doc/README.md' | grep -qx '# Tessaro' && grep -qx '## User guide' '$doc/README.md'"
for program in "$root"/usr/bin/*; do
  check "the metainfo provides $(basename "$program")" \
    "grep -q '<binary>$(basename "$program")</binary>' '$root/usr/share/metainfo/org.tessaro.tessaro.metainfo.xml'"
done
for page in tessaro tessaro-query tessaro-vcutter; do
  manual=$root/usr/share/man/man1/$page.1.gz
  check "man page $page points to the guide" \
    "zcat '$manual' | grep -q '/usr/share/doc/tessaro/README.md'"
  check "man page $page: lexgrog reads its name line" "lexgrog '$manual' | grep -q ': \"$page - '"
  date_line=$(zcat "$manual" | sed -n 's/^\.TH [^ ]* [^ ]* "\([^"]*\)".*/\1/p')
  check "man page $page is dated ($date_line)" "date -d '$date_line' >/dev/null 2>&1"
done
[ "$failures" -eq 0 ]
