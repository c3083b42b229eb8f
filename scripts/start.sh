#!/bin/sh
# Starts Cryptelle from the build tree.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
if [ -x "$bin/zqv" ]; then
    exec "$bin/zqv" "$@"
fi
echo "Cryptelle is built in $bin."
echo "The main window is not part of this build yet. Start an operation with the engine:"
echo "  $bin/zqvengine /e<file>   encrypt      $bin/zqvengine /d<file.zqv>   decrypt"
echo "  $bin/zqvengine /w<file>   wipe         $bin/zqvengine /s<file>       self-extracting"
echo "  $bin/zqvengine /f<folder> pack and encrypt a folder"
