#!/usr/bin/env bash
# Installs what the build and the tests need, when it is missing (Debian 12).
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev mingw-w64 g++-mingw-w64-x86-64-posix
          wine wine64 libgtest-dev libgmock-dev googletest libbenchmark-dev libsndfile1-dev
          xvfb xauth zip valgrind chromium python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The page tests run on Node.js: Debian's, unless a node is already there.
command -v node >/dev/null 2>&1 || missing+=(nodejs npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The page tests' npm packages (exact versions from the lock file), again when the lock file changes.
ui_tests="$(cd "$(dirname "$0")/../tests/ui" && pwd)"
if [ ! -f "$ui_tests/node_modules/.package-lock.json" ] ||
   [ "$ui_tests/package-lock.json" -nt "$ui_tests/node_modules/.package-lock.json" ]; then
  (cd "$ui_tests" && npm ci --no-audit --no-fund --loglevel=error)
fi
