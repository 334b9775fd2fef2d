#!/usr/bin/env bash
# Renders the screenshot the AppStream metainfo names from the program itself
# (the sample index's window) into resources/desktop/screenshots/. Run from the
# repository root after a build.
set -euo pipefail
build=${BUILD_DIR:-build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
QT_QPA_PLATFORM=offscreen ORVEX_SAVE_PICTURES="$out" \
    "$build/tests/app/test_app" --gtest_filter=Desktop.TheSampleIndexWindowAsSoftwareCentresShowIt
mkdir -p resources/desktop/screenshots
cp "$out/index-window@1x.png" resources/desktop/screenshots/index-window.png
