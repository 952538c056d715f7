#!/usr/bin/env bash
# Draws the pictures of the README and the manual into docs/images/: the real windows,
# started offscreen on sample data. Run it after changing a window; commit the pictures.
#   scripts/shots.sh [picture.png ...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
# pdftoppm draws the first page of the weekly report, as it prints, into a picture.
rockvane_install_deps poppler-utils
cmake -S . -B build/shots -DCMAKE_BUILD_TYPE=Release -DROCKVANE_SHOTS=ON >/dev/null
cmake --build build/shots -j"$(rockvane_jobs)" --target rockvane-shots
QT_QPA_PLATFORM=offscreen build/shots/shots/rockvane-shots docs/images "$@"
