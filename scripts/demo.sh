#!/usr/bin/env bash
# Sets everything up, builds, and shows the main job: lmvpack builds an installer from the
# sample manifest (the sample screen saver Aurora, built from samples/aurora/src, with lmvpack's
# own uninstaller), lists it, and the installer installs it silently under Wine. It ends with
# pictures of the installer's title screen and of Aurora running, in out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

mkdir -p out
echo "== lmvpack build samples/aurora/aurora.toml -o out/AuroraSetup.exe"
build/native/lmvpack build samples/aurora/aurora.toml -o out/AuroraSetup.exe --stub build/win32/lmvstub.exe
echo "== lmvpack list out/AuroraSetup.exe"
build/native/lmvpack list out/AuroraSetup.exe
echo "== lmvpack verify out/AuroraSetup.exe"
build/native/lmvpack verify out/AuroraSetup.exe
python3 scripts/demo_install.py out/AuroraSetup.exe --helpers build/win32 --work out/demo \
  --pictures out
