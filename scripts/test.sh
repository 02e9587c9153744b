#!/usr/bin/env bash
# Installs what is needed, builds Quillmeter with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the whole test suite through CTest, runs
# the tests of the threads (the run, the transports, the web view) once more
# under ThreadSanitizer, then runs every fuzz target for 20 s.
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
# ThreadSanitizer on the tests where threads meet: the run on its worker
# thread, the transports, the web server and its metrics. tests/tsan.supp covers Debian's
# uninstrumented Qt (CMake hands it to the tests in TSAN_OPTIONS).
TSAN_TESTS=(engine_run_tst_run engine_link_tst_transport engine_web_tst_webserver engine_web_tst_metrics)
cmake -S . -B build-tsan -G Ninja -DQM_TSAN=ON -DQM_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-tsan --target "${TSAN_TESTS[@]}"
(cd build-tsan && ctest --output-on-failure -j2 -R "^($(IFS='|'; echo "${TSAN_TESTS[*]}"))\$")
# Every fuzz target for 20 s from its seed corpus.
bash scripts/fuzz.sh 20
