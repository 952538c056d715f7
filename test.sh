#!/usr/bin/env bash
# Builds the test configuration (Debug, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test headless. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
rockvane_install_deps
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DROCKVANE_TESTS=ON -DROCKVANE_SANITIZE=ON
cmake --build build/test -j"$(rockvane_jobs)"
# The site-server engine is tested against a real PostgreSQL server: a throwaway one in a
# temporary folder, stopped and removed when this script ends, also when a test fails.
if ! ROCKVANE_TEST_PG=$(scripts/test-server.sh start); then
    echo "The throwaway PostgreSQL server for the site-server tests could not be started." >&2
    exit 1
fi
export ROCKVANE_TEST_PG
pg_folder=${ROCKVANE_TEST_PG#host=}
pg_folder=${pg_folder%% *}
trap 'scripts/test-server.sh stop "$pg_folder"' EXIT
# Readings are wall-clock values: the suite runs under two time zones.
# The package's checks (label "package") and the short load run of the site server (label
# "load") do not depend on the zone: they run once.
for zone in UTC America/New_York; do
    echo "== Tests with TZ=$zone"
    once=()
    [ "$zone" = UTC ] || once=(-LE 'package|load')
    TZ=$zone ctest --test-dir build/test --output-on-failure -j"$(rockvane_jobs)" "${once[@]}"
done
