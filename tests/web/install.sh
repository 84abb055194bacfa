#!/usr/bin/env bash
# Installs the browser tests' npm package (playwright-core; no browser of its own: the tests drive
# the system's Chromium). Does nothing when the locked version is already installed, so a run
# without network access works once it was installed.
set -euo pipefail
cd "$(dirname "$0")"
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1

if node -e '
  const lock = require("./package-lock.json").packages["node_modules/playwright-core"].version;
  const have = require("./node_modules/playwright-core/package.json").version;
  process.exit(lock === have ? 0 : 1);
' 2>/dev/null; then
  echo "playwright-core is installed"
  exit 0
fi
npm ci --no-audit --no-fund --prefer-offline
