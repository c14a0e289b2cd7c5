#!/usr/bin/env bash
# Builds the installer stub (win32 preset) and the native tool and tests (native preset).
# Extra presets to build may be named as arguments (e.g. sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32 native "$@"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
