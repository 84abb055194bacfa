#!/usr/bin/env bash
# Installs what is needed, builds the product and starts it on its private database.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

client=build/release/launcher/vlt
if [ -x "$client" ]; then
  exec "$client"
fi

# The desktop client is not built yet: start the data service on its private database, with a
# demo user, until Ctrl+C.
echo
echo "The desktop client is not there yet; starting the data service (Ctrl+C stops it)."
exec build/release/server/vlt-dataservice --seed-demo "$@"
