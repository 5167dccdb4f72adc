#!/usr/bin/env bash
# Set up, build and run every test through ctest. Usage: scripts/test.sh [preset]
# Presets: default (optimised), ci (warnings are errors), asan (AddressSanitizer + UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
bash scripts/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"
