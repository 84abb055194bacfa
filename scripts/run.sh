#!/usr/bin/env bash
# Installs what is needed, builds the product and starts it on its private database.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

client=build/release/launcher/vlt
if [ ! -x "$client" ]; then
  echo
  echo "Built the core data layer (build/release/core) and its benchmark"
  echo "(build/release/bench/vlt-bench-core)."
  echo "Not there yet: the data service (vlt-dataservice) with its private MariaDB, and the"
  echo "desktop client (vlt). This command starts them once they are built."
  exit 0
fi
exec "$client"
