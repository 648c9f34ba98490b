#!/usr/bin/env bash
# Renders every wizard page and menu tab offscreen into docs/wizard/ (PNG), filled with a
# sample state. Builds the renderer in the default build first.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build/default --target wizard_screenshots -j 2
QT_QPA_PLATFORM=offscreen build/default/wizard/wizard_screenshots docs/wizard
