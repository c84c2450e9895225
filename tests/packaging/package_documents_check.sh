#!/usr/bin/env bash
# The package's documents: a machine-readable copyright file under the GPL 3 or later, a
# changelog whose newest entry is the package's version, the metainfo's licence, and man
# pages that lead to the installed user guide.
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
zcat "$doc/changelog.Debian.gz" >"$root/changelog"
check "the changelog's newest entry is $version" \
  "[ \"\$(dpkg-parsechangelog -l '$root/changelog' -S Version)\" = '$version' ]"
check "the metainfo's licence is GPL-3.0-or-later" \
  "grep -q '<project_license>GPL-3.0-or-later</project_license>' \
     '$root/usr/share/metainfo/org.tessaro.Tessaro.metainfo.xml'"
check "the guide starts with Tessaro's introduction and holds the user guide" \
  "head -1 '$doc/README.md' | grep -qx '# Tessaro' && grep -qx '## User guide' '$doc/README.md'"
for page in tessaro tessaro-vcutter; do
  check "man page $page points to the guide" \
    "zcat '$root/usr/share/man/man1/$page.1.gz' | grep -q '/usr/share/doc/tessaro/README.md'"
done
[ "$failures" -eq 0 ]
