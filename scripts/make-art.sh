#!/usr/bin/env bash
# Remakes the committed pictures, ui/res/images.bmp, ui/res/quorvel.ico and
# ui/res/splash.jpg, with the generator of the native tree (build it first:
# scripts/build.sh, or cmake --build build/native --target quorvel-art). Commit the result: the
# art_tests test fails while the copies differ from what the generator draws.
set -euo pipefail
cd "$(dirname "$0")/.."

art=build/native/tools/art/quorvel-art
if [ ! -x "$art" ]; then
  echo "make-art.sh: $art is not built; run scripts/build.sh first" >&2
  exit 1
fi
mkdir -p ui/res
"$art" ui/res
echo "wrote ui/res/images.bmp, ui/res/quorvel.ico and ui/res/splash.jpg"
