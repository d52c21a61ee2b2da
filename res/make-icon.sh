#!/usr/bin/env bash
# Renders the icon's drawing into the files the build and the README use.
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils).
set -euo pipefail
cd "$(dirname "$0")"
for tool in rsvg-convert icotool; do
  command -v "$tool" >/dev/null || {
    echo "$tool is missing: apt-get install librsvg2-bin icoutils" >&2
    exit 1
  }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rsvg-convert --width 32 --height 32 glimmerquay.svg -o "$tmp/32.png"
# -b 32 keeps every pixel's own colour and alpha; without it icotool may
# reduce an image of few colours to a palette.
icotool --create --bit-depth=32 -o glimmerquay.ico "$tmp/32.png"
# The 32x32 image again, as the Linux package's icon.
cp "$tmp/32.png" glimmerquay-32.png
rsvg-convert --width 128 --height 128 glimmerquay.svg -o glimmerquay.png
