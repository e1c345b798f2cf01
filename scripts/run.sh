#!/usr/bin/env bash
# Installs what is missing, builds the updater and runs its main job against the simulated
# keyboard: in a window when a display is there, otherwise headless, pressing the offered action.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DRIRUD_BUILD_TESTS=OFF -DRIRUD_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target rirud-uvariza
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/release/app/rirud-uvariza --simulate
else
  exec ./build/release/app/rirud-uvariza --simulate --headless --yes
fi
