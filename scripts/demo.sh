#!/usr/bin/env bash
# Installs what is needed, builds Quillmeter and starts it against the
# built-in simulated instrument. Without a display it runs headless: a short
# run of a few cycles, printing the status texts, then it exits.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_TESTS=OFF -DQM_BENCH=OFF
cmake --build build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = "offscreen" ]; then
  datadir="$(mktemp -d)"
  exec ./build/quillmeter --headless --demo --data-dir "$datadir" --repeat 3 --log "$@"
fi
exec ./build/quillmeter --demo "$@"
