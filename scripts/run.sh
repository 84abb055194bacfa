#!/usr/bin/env bash
# Installs what is needed, builds the product, makes sure a demo user exists on the embedded
# default (the private database in the user's data folder) and starts the desktop client, which
# starts the data service itself and stops it when it closes.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release
# The client (with the packages it loads) and the data service; tests and benchmarks are not needed.
cmake --build --preset release --target vlt vlt-dataservice

# The folder the client's embedded service keeps its databases in.
data="${XDG_DATA_HOME:-$HOME/.local/share}/Vlt/service"
mkdir -p "$data"
echo
build/release/server/vlt-dataservice --data "$data" --seed-demo --prepare-only
echo

client_dir=build/release/client
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "There is no display here. To run the client on a virtual one:"
  echo "  (cd $client_dir && LANG=zh_CN.UTF-8 xvfb-run -a -s '-screen 0 1366x768x24' ./vlt)"
  exit 0
fi
cd "$client_dir"
exec ./vlt "$@"
