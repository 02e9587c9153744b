#!/usr/bin/env bash
# Installs what is needed, builds Quillmeter with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-test -G Ninja -DQM_SANITIZE=ON -DQM_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-test
cd build-test
ctest --output-on-failure -j2
