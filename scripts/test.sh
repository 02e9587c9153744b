#!/usr/bin/env bash
# Installs what is needed, builds Quillmeter with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the whole test suite through CTest, then
# runs every fuzz target for 20 s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# The web page's test runs in headless Chromium; without it that test skips.
if ! command -v chromium >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq chromium >/dev/null 2>&1 \
    || echo "chromium could not be installed: the web page test will be skipped"
fi
cmake -S . -B build-test -G Ninja -DQM_SANITIZE=ON -DQM_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-test
(cd build-test && ctest --output-on-failure -j2)
# Every fuzz target for 20 s from its seed corpus.
bash scripts/fuzz.sh 20
