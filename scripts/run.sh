#!/usr/bin/env bash
# Builds Velmora and the update program and starts Velmora's main window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target Velmora update
exec build/app/Velmora
