#!/usr/bin/env bash
# Builds Rockvane in Release, prepares the data folder on first use, and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
rockvane_install_deps
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$(rockvane_jobs)"
# Creates <Documents>/Brackwell/Rockvane, the database and the manual when missing;
# never overwrites anything that is there.
build/release/provision/rockvane-provision
exec build/release/app/rockvane "$@"
