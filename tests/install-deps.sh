#!/usr/bin/env bash
# Installs the Debian packages that the builds and tests need and that a
# fresh machine lacks. Does nothing when they are all there.
set -euo pipefail

packages=(
  cmake g++ libgtest-dev python3   # the Linux build and its tests
  python3-pyte                     # drawing a terminal's screen in the tests
  clang libclang-rt-14-dev         # the sanitizers and libFuzzer
  g++-mingw-w64-i686               # the Windows exe
  wine wine32:i386                 # running the exe in the tests
  icoutils                         # reading the exe's resources back
  dpkg-dev                         # the package's Depends (dpkg-shlibdeps)
  lintian desktop-file-utils man-db  # checking what the package holds
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Run as root, or install these Debian packages first." >&2
  exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
