#!/usr/bin/env bash
# Renders the windows under Xvfb into <build>/screenshots/ through the Qt Quick tests that draw them.
set -euo pipefail
build=${1:-build}
rm -rf "$build/screenshots"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build" -R '^tst_qml_' --output-on-failure
ls -1 "$build"/screenshots/*.png
