#!/bin/sh
# Starts Cryptelle's main window from the build tree.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$here/build/bin"
if [ ! -x "$bin/zqv" ]; then
    echo "zqv is not built yet: run cmake --preset default && cmake --build --preset default" >&2
    exit 1
fi
exec "$bin/zqv" "$@"
