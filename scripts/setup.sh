#!/bin/sh
# Installs every Debian package needed to build, run and test Cryptelle.
# Safe to run again: packages already present are left as they are.
set -eu

PACKAGES="
build-essential g++ cmake ninja-build pkg-config git clang-format clang libclang-rt-14-dev
qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
libssl-dev libargon2-dev libbotan-2-dev libzip-dev zlib1g-dev
libgtest-dev libgmock-dev libbenchmark-dev
e2fsprogs util-linux coreutils unzip zip p7zip-full xvfb xauth desktop-file-utils
openssl age gnupg hyperfine time bash-completion
adwaita-icon-theme hicolor-icon-theme shared-mime-info
python3-gi gir1.2-glib-2.0
dpkg-dev file lintian appstream libxml2-utils man-db
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "setup: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

echo "setup: installing$missing"
$SUDO apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
