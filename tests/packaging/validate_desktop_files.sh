#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the desktop entry and the AppStream metainfo; skips (77) where a validator is
# not installed.
set -euo pipefail
data=$1
command -v desktop-file-validate >/dev/null || { echo "desktop-file-validate missing"; exit 77; }
command -v appstreamcli >/dev/null || { echo "appstreamcli missing"; exit 77; }
desktop-file-validate "$data/org.tessaro.Tessaro.desktop"
appstreamcli validate --no-net "$data/org.tessaro.Tessaro.metainfo.xml"
echo "desktop entry and metainfo valid"
