#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test (ctest labels: unit, db, window).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci
ctest --preset ci -j "$(nproc)"
