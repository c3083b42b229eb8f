#!/bin/sh
# Starts Cryptelle from the build tree.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
if [ -x "$bin/zqv" ]; then
    exec "$bin/zqv" "$@"
fi
# Until the main window is built, show how the engine is started: the switch and
# the path are two separate arguments.
echo "Cryptelle is built in $bin."
echo "The main window is not part of this build yet. Start an operation with the engine:"
echo "  $bin/zqvengine /e <file>       encrypt"
echo "  $bin/zqvengine /d <file.zqv>   decrypt"
echo "  $bin/zqvengine /w <file>       wipe"
echo "  $bin/zqvengine /s <file>       make a self-extracting program"
echo "  $bin/zqvengine /f <folder>     pack and encrypt a folder"
