#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test (ctest labels: unit, db, window).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset ci
cmake --build --preset ci
if ! ctest --preset ci -j "$(nproc)"; then
  # The failing tests' own output again, last, where a short excerpt of the log still shows it.
  bash scripts/failed-output.sh build/ci
  exit 8
fi
