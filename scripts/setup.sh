#!/usr/bin/env bash
# Installs everything the project needs on a Debian 12 machine, as root: the native and the
# mingw-w64 i686 toolchains, the libraries of the authoring tool and of the tests, and a
# 32-bit Wine that starts fast on kernels without 32-bit support. Safe to run again: it only
# installs what is missing.
set -euo pipefail

need_root() { [ "$(id -u)" = 0 ] || { echo "setup: run as root" >&2; exit 1; }; }
need_root
export DEBIAN_FRONTEND=noninteractive

native_pkgs=(build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcli11-dev libtomlplusplus-dev nlohmann-json3-dev libstb-dev libcairo2-dev libfreetype-dev
  fonts-dejavu-core
  clang libclang-rt-14-dev clang-format gzip python3-yaml python3-pefile)
cross_pkgs=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686)
wine_pkgs=(wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick x11-utils libxtst6 locales)
signing_pkgs=(osslsigncode openssl)
# The release (scripts/release.sh) and its check on a clean Debian root; groff renders the
# manual page for its test.
release_pkgs=(dpkg-dev mmdebstrap groff-base)

missing() {
  local p out=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || out+=("$p")
  done
  echo "${out[@]}"
}

# Wine's 32-bit half needs the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  touch /tmp/.lmv-apt-stale
fi

# A fast qemu-user-static comes from bookworm-backports; reuse the machine's own mirror.
if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  uri=$(grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources | grep -v security | head -n1 | awk '{print $2}')
  [ -n "$uri" ] || uri=$(grep -hsE '^deb ' /etc/apt/sources.list | grep -v security | head -n1 | awk '{print $2}')
  cat > /etc/apt/sources.list.d/lmv-backports.sources <<SRC
Types: deb
URIs: ${uri}
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  touch /tmp/.lmv-apt-stale
fi

todo=$(missing "${native_pkgs[@]}" "${cross_pkgs[@]}" "${wine_pkgs[@]}" "${signing_pkgs[@]}" \
  "${release_pkgs[@]}")
qemu_ok=0
if dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null | grep -qE '^1:(9|1[0-9])'; then qemu_ok=1; fi
if [ -n "$todo" ] || [ "$qemu_ok" = 0 ]; then
  if [ -e /tmp/.lmv-apt-stale ] || [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v lock)" ] || [ -n "$todo" ]; then
    apt-get update -qq
    rm -f /tmp/.lmv-apt-stale
  fi
  if [ -n "$todo" ]; then
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $todo
  fi
  if [ "$qemu_ok" = 0 ]; then
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static
  fi
fi

# Wine takes the Windows locale and its ANSI code page from the locale it starts in; the
# end-to-end tests run the installer on a Japanese Windows (code page 932) through this one.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# 32-bit ELF programs (Wine's loader) go to qemu when the kernel cannot run them itself.
if ! [ -e /proc/sys/fs/binfmt_misc/register ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
fi
if [ -e /proc/sys/fs/binfmt_misc/register ] && ! [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FOC' \
    > /proc/sys/fs/binfmt_misc/register
fi
echo "setup: all tools present"
