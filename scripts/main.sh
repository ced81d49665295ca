#!/usr/bin/env bash
# Main job: build both configurations and lay out the product folder and zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs"
# Listening demo: a synthesised scene rendered dry and through each intensity.
mkdir -p build/host/demo
echo
build/host/bin/kestrune_demo build/host/demo

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
cmake --build build/windows --target package_folder >/dev/null
(cd build/windows && cpack -G ZIP >/dev/null)

# The page that the app shows, tested in Chromium against a stand-in for the app,
# then end to end through the app's bridge and the product installed under Wine.
(cd tests/ui && npm test --silent && npm run test:wine --silent)

echo
echo "Product folder: $PWD/build/windows/product/Orvantis"
echo "Zip:            $PWD/build/windows/Orvantis-0.9.4-win64.zip"

# The running product, one event end to end in a private Wine prefix: install,
# a headset, a game starting and ending, uninstall; prints the timeline.
echo
bash scripts/e2e_demo.sh build/windows
