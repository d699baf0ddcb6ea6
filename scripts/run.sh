#!/usr/bin/env bash
# Builds Velmora and starts its main window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ -x build/app/Velmora ]; then
  exec build/app/Velmora
else
  echo "Velmora's main window is not there yet: the engine and its tools are built in build/."
fi
