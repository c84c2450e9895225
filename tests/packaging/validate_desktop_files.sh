#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the desktop entry and the AppStream metainfo, which must draw no note at all,
# not even a pedantic one; the metainfo's screenshot must be the address of a picture of
# the tree's docs/ (which the package installs). Skips (77) where a validator is missing.
set -euo pipefail
data=$1
command -v desktop-file-validate >/dev/null || { echo "desktop-file-validate missing"; exit 77; }
command -v appstreamcli >/dev/null || { echo "appstreamcli missing"; exit 77; }
desktop-file-validate "$data/org.tessaro.Tessaro.desktop"
metainfo=$data/org.tessaro.tessaro.metainfo.xml
notes=$(appstreamcli validate --pedantic --explain --no-net "$metainfo" 2>&1) ||
  { echo "$notes"; exit 1; }
if grep -qE '^[EWIP]: ' <<<"$notes"; then
  echo "$notes"; echo "the metainfo draws notes"; exit 1
fi
screenshot=$(sed -n 's:.*<image>https\://tessaro\.org/\(docs/[a-z0-9-]*\.png\)</image>.*:\1:p' "$metainfo")
if [ -z "$screenshot" ] || [ ! -f "$data/../$screenshot" ]; then
  echo "the screenshot is no address of a picture in docs/: ${screenshot:-none}"; exit 1
fi
echo "desktop entry and metainfo valid, pedantic notes none, screenshot $screenshot"
