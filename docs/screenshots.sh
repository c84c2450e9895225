#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the user guide's screenshots again from the real program, into docs/ beside this
# script: tests/e2e/screenshots.py drives Tessaro beside the virtual cutter on a virtual X
# server. It reaches the controls through the layout tool of a build with its tests, such
# as the one ./test makes.
#
# usage: docs/screenshots.sh [BUILD_DIR]     (default build, what ./test builds)
set -euo pipefail
docs=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$docs/../build}" && pwd)
layout="$build/tests/e2e/e2e_window_layout"
if [ ! -x "$layout" ]; then
  echo "$layout is missing: take the screenshots from a build with its tests (./test)" >&2
  exit 1
fi
exec python3 -B "$docs/../tests/e2e/screenshots.py" --build-dir "$build" \
  --layout-tool "$layout" --docs "$docs"
