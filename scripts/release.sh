#!/usr/bin/env bash
# Makes lmvpack's release from this checkout and writes it to dist/:
#
#   lmvpack_<version>_amd64.deb             for Debian 12 and later: apt-get install ./...
#   lmvpack-<version>-linux-x86_64.tar.gz   the same files in a folder that works wherever it
#                                           is unpacked (bin/lmvpack, share/...)
#   lmvpack-<version>-win32.zip             lmvpack.exe, lmvstub.exe, lmvuninst.exe, the
#                                           documents and the Aurora sample, for Windows
#   SHA256SUMS
#
# The version is the project's (CMakeLists.txt). It builds from a clean copy of the tree (the
# files git tracks and the new ones it does not ignore: no build folder, nothing left over),
# with the release's settings (no tests; an installed lmvpack finds its files beside itself only),
# installs each build's components into staging folders and packs them with
# scripts/release_packages.py. Every time stamp is the last commit's (SOURCE_DATE_EPOCH), so
# two runs of the same commit give the same bytes. Needs no root.
#
#   scripts/release.sh                 a fresh build in a temporary folder
#   scripts/release.sh --out DIR       the packages into DIR instead of dist/
#   scripts/release.sh --work DIR      keeps the copy (DIR/src), the builds (DIR/native,
#                                      DIR/win32) and the staged trees (DIR/stage/linux,
#                                      DIR/stage/windows) in DIR, and builds only what changed
#                                      since the last run there (what the test command does)
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd -P)

out=dist
work=""
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    -h|--help) sed -n '2,24p' "$0"; exit 0 ;;
    *) echo "release: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done

for tool in cmake ninja i686-w64-mingw32-g++ dpkg-deb dpkg-shlibdeps python3 git; do
  command -v "$tool" >/dev/null || {
    echo "release: $tool is missing; scripts/setup.sh installs it" >&2
    exit 1
  }
done

if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/lmvpack-release.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work" "$out"
work=$(cd "$work" && pwd -P)
out=$(cd "$out" && pwd -P)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
if [ -n "$(git status --porcelain --untracked-files=normal)" ]; then
  echo "release: the tree has changes that are not committed; the packages hold them, but a" \
    "release of the commit alone would differ" >&2
fi

# The clean copy. File times are kept, so that an earlier build in the same work folder
# rebuilds only what changed.
echo "== copying the tree to $work/src"
src=$work/src
rm -rf "$src.new"
mkdir -p "$src.new"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  tar --null --files-from=- --format=posix -cf - | tar -xf - -C "$src.new"
rm -rf "$src"
mv "$src.new" "$src"

# No path of the build machine in the programs, so that they are the same wherever they are
# built: the sources' and the build folders' paths are written relative to the work folder
# (also in the debugging information, from which the linker derives the Linux tool's build
# id). The Linux tool is optimised as the tested build is (RelWithDebInfo), its debugging
# information stripped when it is installed; the Windows programs as the win32 preset builds
# them.
prefix_map="-ffile-prefix-map=$work/="
echo "== building lmvpack for Linux ($work/native)"
cmake -S "$src" -B "$work/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLMV_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$prefix_map" -DCMAKE_C_FLAGS="$prefix_map" \
  >/dev/null
cmake --build "$work/native"
echo "== building the Windows programs ($work/win32)"
cmake -S "$src" -B "$work/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DLMV_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS="$prefix_map" \
  -DCMAKE_C_FLAGS="$prefix_map" >/dev/null
cmake --build "$work/win32"

echo "== staging the packages' trees ($work/stage)"
stage=$work/stage
rm -rf "$stage"
cmake --install "$work/native" --component linux --prefix "$stage/linux" --strip >/dev/null
cmake --install "$work/win32" --component linux --prefix "$stage/linux" >/dev/null
cmake --install "$work/win32" --component windows --prefix "$stage/windows" >/dev/null

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/native/CMakeCache.txt")
echo "== packing lmvpack $version (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH) into ${out#"$checkout"/}"
python3 "$src/scripts/release_packages.py" --linux "$stage/linux" --windows "$stage/windows" \
  --version "$version" --epoch "$SOURCE_DATE_EPOCH" --out "$out"
(cd "$out" && cat SHA256SUMS)
