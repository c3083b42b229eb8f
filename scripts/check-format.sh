#!/bin/sh
# Fails when a C++ source of ours differs from what clang-format makes of it.
set -eu
cd "$(dirname "$0")/.."
find bench common components core engine gui main securedelete tests \
    \( -name '*.cpp' -o -name '*.h' \) -print0 \
    | xargs -0 "${CLANG_FORMAT:-clang-format}" --dry-run --Werror
