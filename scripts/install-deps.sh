#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, non-interactively.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git clang-format clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  mariadb-server-core mariadb-client-core mariadb-client libmariadb-dev libsodium-dev libssl-dev libcpp-httplib-dev
  galera-4 haproxy
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-charts-dev libqt6opengl6-dev libxlsxwriter-dev poppler-utils python3 fonts-noto-cjk adwaita-icon-theme
  xvfb xauth chromium
)
# Node and npm for the browser tests; a Node from elsewhere that brings its own npm will do.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
