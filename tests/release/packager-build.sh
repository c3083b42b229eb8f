#!/bin/sh
# Builds the tree the way a distribution packager does: a plain Release
# configuration without our presets, warnings not turned into errors, the
# distribution's hardening flags, tests included (they are part of a source
# build). Any compiler warning fails the check, so nothing that would stop a
# warnings-as-errors build can hide behind optimisation levels the presets do
# not use.
#
# Environment: SOURCE_DIR, WORK_DIR; LAUNCHER (optional compiler launcher).
set -eu

if ! command -v dpkg-buildflags >/dev/null 2>&1; then
    echo "dpkg-buildflags is missing (package dpkg-dev)" >&2
    exit 77
fi

CFLAGS=$(dpkg-buildflags --get CFLAGS)
CXXFLAGS=$(dpkg-buildflags --get CXXFLAGS)
CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS CPPFLAGS LDFLAGS

rm -rf "$WORK_DIR"
mkdir -p "$WORK_DIR"
log="$WORK_DIR/build.log"

set -- -S "$SOURCE_DIR" -B "$WORK_DIR/tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCRYPTELLE_BUILD_BENCH=OFF -DCRYPTELLE_FUZZ=OFF
if [ -n "${LAUNCHER:-}" ]; then
    set -- "$@" "-DCMAKE_CXX_COMPILER_LAUNCHER=$LAUNCHER" "-DCMAKE_C_COMPILER_LAUNCHER=$LAUNCHER"
fi

if ! cmake "$@" >"$log" 2>&1 || ! cmake --build "$WORK_DIR/tree" >>"$log" 2>&1; then
    tail -n 60 "$log"
    echo "The plain Release build failed; the whole log is $log" >&2
    exit 1
fi

if grep -n -i -E "warning:|warning \(" "$log" >"$WORK_DIR/warnings.txt"; then
    cat "$WORK_DIR/warnings.txt"
    echo "The plain Release build warns (listed above); a warnings-as-errors build would stop there" >&2
    exit 1
fi

for program in zqv zqvengine libzqvdod.so; do
    if [ ! -e "$WORK_DIR/tree/bin/$program" ]; then
        echo "The plain Release build made no $program" >&2
        exit 1
    fi
done
rm -rf "$WORK_DIR/tree"
echo "Plain Release build with the distribution's flags: built, no warnings"
