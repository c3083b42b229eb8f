#!/bin/sh
# One step of the package test, named by the first argument. The "build" step
# makes the package from the build tree and unpacks it; the others check it.
# Set by CTest: BUILD_DIR SOURCE_DIR WORK_DIR VERSION NOT_SHIPPED PROBE
# DRIVER_DIR CPACK.
set -eu

step="$1"
root="$WORK_DIR/root"
program_dir="$root/usr/lib/cryptelle"
failures=0
export QT_QPA_PLATFORM=offscreen

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

need() {
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: '$tool' is not installed (scripts/setup.sh installs it)"
            exit 77
        fi
    done
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "ok"
}

package_file() {
    echo "$WORK_DIR/out/cryptelle_${VERSION}_$(dpkg --print-architecture).deb"
}

# Version and date (YYYY-MM-DD) of the changelog's top entry.
changelog_field() {
    zcat "$root/usr/share/doc/cryptelle/changelog.gz" >"$WORK_DIR/changelog"
    dpkg-parsechangelog -l "$WORK_DIR/changelog" -S "$1"
}

step_build() {
    need dpkg-deb dpkg-shlibdeps
    rm -rf "$WORK_DIR"
    mkdir -p "$WORK_DIR"
    if ! "$CPACK" --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$WORK_DIR/out" >"$WORK_DIR/cpack.log" 2>&1; then
        cat "$WORK_DIR/cpack.log"
        fail "cpack could not build the package"
        finish
    fi
    deb="$(package_file)"
    [ -f "$deb" ] || fail "the package is not named $(basename "$deb")"
    dpkg-deb -x "$deb" "$root"
    dpkg-deb -c "$deb"
    finish
}

step_contents() {
    need dpkg-deb
    deb="$(package_file)"
    dpkg-deb -I "$deb"

    # The program folder holds exactly what the build put in its program
    # folder, tests and benchmarks left out.
    (cd "$BUILD_DIR/bin" && find . ! -type d | sort) >"$WORK_DIR/built"
    (cd "$program_dir" && find . ! -type d | sort) >"$WORK_DIR/shipped"
    while read -r path; do
        grep -qxF "$BUILD_DIR/bin/${path#./}" "$NOT_SHIPPED" && continue
        grep -qxF "$path" "$WORK_DIR/shipped" || fail "${path#./} is in the build's program folder but not in the package (left from an older build? remove it)"
    done <"$WORK_DIR/built"
    while read -r path; do
        grep -qxF "$path" "$WORK_DIR/built" || fail "${path#./} is in the package but not in the build's program folder"
        if grep -qxF "$BUILD_DIR/bin/${path#./}" "$NOT_SHIPPED"; then fail "the test or benchmark program ${path#./} is in the package"; fi
    done <"$WORK_DIR/shipped"

    for file in usr/lib/cryptelle/zqvengine usr/lib/cryptelle/libzqvdod.so usr/lib/cryptelle/zqvsfx \
        usr/share/applications/cryptelle.desktop usr/share/applications/cryptelle-decrypt.desktop \
        usr/share/mime/packages/cryptelle.xml usr/share/icons/hicolor/scalable/mimetypes/application-x-zqv.svg \
        usr/share/man/man1/zqv.1.gz usr/share/man/man1/zqvengine.1.gz \
        usr/lib/cryptelle/cryptelle usr/share/man/man1/cryptelle.1.gz usr/share/bash-completion/completions/cryptelle \
        usr/share/icons/hicolor/scalable/apps/cryptelle.svg \
        usr/share/doc/cryptelle/copyright usr/share/doc/cryptelle/changelog.gz; do
        [ -f "$root/$file" ] || fail "the package has no /$file"
    done
    [ -n "$(find "$root/usr/share/metainfo" -name '*.metainfo.xml' 2>/dev/null)" ] || fail "the package has no metainfo"

    # Each program has its launcher, a relative link into the program folder,
    # so it still resolves after the package is unpacked anywhere.
    for program in zqv zqvengine cryptelle; do
        [ -e "$program_dir/$program" ] || continue
        target="$(readlink "$root/usr/bin/$program" || true)"
        [ "$target" = "../lib/cryptelle/$program" ] || fail "/usr/bin/$program links to '$target'"
    done

    # Nothing outside the places a Debian desktop application uses.
    (cd "$root" && find . ! -type d) | while read -r path; do
        case "$path" in
        ./usr/bin/* | ./usr/lib/cryptelle/* | ./usr/share/applications/* | ./usr/share/metainfo/* | \
            ./usr/share/mime/packages/* | ./usr/share/icons/hicolor/* | ./usr/share/man/man1/* | \
            ./usr/share/doc/cryptelle/* | ./usr/share/lintian/overrides/cryptelle | \
            ./usr/share/bash-completion/completions/cryptelle) ;;
        *) echo "FAIL: $path is outside the standard locations" ;;
        esac
    done >"$WORK_DIR/outside"
    if [ -s "$WORK_DIR/outside" ]; then
        cat "$WORK_DIR/outside"
        failures=$((failures + 1))
    fi

    # Debian's libraries are dependencies, never copies; our own are private.
    for lib in $(cd "$root" && find . -name '*.so*'); do
        case "$(basename "$lib")" in
        libzqv*.so) ;;
        *) fail "$lib is bundled" ;;
        esac
    done
    control() { dpkg-deb -f "$deb" "$1"; }
    [ "$(control Package)" = cryptelle ] || fail "package name '$(control Package)'"
    [ "$(control Version)" = "$VERSION" ] || fail "version '$(control Version)', the project's is $VERSION"
    [ "$(control Version)" = "$(changelog_field Version)" ] || fail "the changelog's top entry is not $(control Version)"
    for dependency in libc6 libqt6widgets6 libssl3 libargon2-1; do
        control Depends | tr ',' '\n' | grep -q "^ *$dependency " ||
            fail "Depends does not name $dependency: $(control Depends)"
    done
    finish
}

step_desktop() {
    need desktop-file-validate
    entry="$root/usr/share/applications/cryptelle.desktop"
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the desktop entry"
    command="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")"
    [ -x "$root/usr/bin/$command" ] || fail "the desktop entry starts '$command', which the package does not install"
    icon="$(sed -n 's/^Icon=//p' "$entry")"
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon '$icon' in the hicolor theme"
    if grep -q '^MimeType=' "$entry"; then fail "the menu's desktop entry claims file types; the hidden one does"; fi

    # The hidden entry that opens a ".zqv" with the engine's decrypt dialog.
    opener="$root/usr/share/applications/cryptelle-decrypt.desktop"
    desktop-file-validate "$opener" || fail "desktop-file-validate rejects cryptelle-decrypt.desktop"
    grep -qx 'NoDisplay=true' "$opener" || fail "cryptelle-decrypt.desktop shows in the menus"
    grep -qx 'MimeType=application/x-zqv;' "$opener" || fail "cryptelle-decrypt.desktop does not open application/x-zqv"
    grep -qx 'Exec=zqvengine /d %f' "$opener" || fail "cryptelle-decrypt.desktop does not start the decrypt dialog"
    # Not even a hint: the categories are the ones the validator expects together.
    for file in "$entry" "$opener"; do
        notes="$(desktop-file-validate "$file" 2>&1)"
        [ -z "$notes" ] || fail "desktop-file-validate notes on $(basename "$file"): $notes"
    done
    finish
}

# A ".zqv" file opens the way a desktop opens it (GLib: the default handler of
# its type, started with the file) in the engine's decrypt dialog.
step_open_zqv() {
    # Debian's own python3, where python3-gi lives, ahead of any other.
    python3=/usr/bin/python3
    [ -x "$python3" ] || python3=python3
    need "$python3"
    "$python3" -c 'import gi; gi.require_version("Gio", "2.0")' 2>/dev/null || {
        echo "SKIP: python3-gi is not installed (scripts/setup.sh installs it)"
        exit 77
    }
    need update-desktop-database
    home="$WORK_DIR/open-home"
    rm -rf "$home" && mkdir -p "$home/share"
    # The index of handlers the installed system's trigger builds.
    cp -r "$root/usr/share/applications" "$home/share/"
    update-desktop-database "$home/share/applications" || fail "update-desktop-database failed"
    file="$home/report 100%.pdf.zqv"
    "$PROBE" encrypt "$root/usr/share/doc/cryptelle/copyright" "$file"
    status=0
    (
        export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state"
        export XDG_DATA_DIRS="$home/share:$root/usr/share" XDG_CONFIG_DIRS="$home/etc" PATH="$root/usr/bin:$PATH"
        export QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$DRIVER_DIR" QT_QPA_GENERIC_PLUGINS=zqvdriver
        export ZQV_DRIVER_QUIT_ON=frmDecrypt
        unset LD_LIBRARY_PATH
        timeout 60 "$python3" - "$file" <<'PYTHON'
import os, sys
import gi
gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib
app = Gio.AppInfo.get_default_for_type("application/x-zqv", False)
print("default:", app.get_id() if app else None)
if app is None or app.get_id() != "cryptelle-decrypt.desktop":
    sys.exit(4)
pids = []
app.launch_uris_as_manager([Gio.File.new_for_path(sys.argv[1]).get_uri()], None,
                           GLib.SpawnFlags.SEARCH_PATH | GLib.SpawnFlags.DO_NOT_REAP_CHILD, None, None,
                           lambda _a, pid, _d: pids.append(pid), None)
sys.exit(max(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) for pid in pids))
PYTHON
    ) >"$WORK_DIR/open.log" 2>&1 || status=$?
    cat "$WORK_DIR/open.log"
    [ "$status" = 0 ] || fail "opening the .zqv ended with status $status"
    grep -q 'shown: frmDecrypt with its icon' "$WORK_DIR/open.log" || fail "the decrypt dialog did not open with its icon"
    finish
}

step_metainfo() {
    need appstreamcli dpkg-parsechangelog xmllint
    for metainfo in "$root"/usr/share/metainfo/*.metainfo.xml; do
        appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $(basename "$metainfo")"
        id="$(xmllint --xpath 'string(/component/id)' "$metainfo")"
        [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "file name does not match the id '$id'"
        launchable="$(xmllint --xpath 'string(/component/launchable)' "$metainfo")"
        [ -f "$root/usr/share/applications/$launchable" ] || fail "launchable '$launchable' is not in the package"
        # One licence, the same in the metadata and the copyright file.
        license="$(xmllint --xpath 'string(/component/project_license)' "$metainfo")"
        [ "$license" = "GPL-3.0-or-later" ] || fail "the metainfo's licence is '$license'"
        grep -qx 'License: GPL-3+' "$root/usr/share/doc/cryptelle/copyright" ||
            fail "the copyright file does not give GPL-3+ as the metainfo does"
        release="$(xmllint --xpath 'string(/component/releases/release[1]/@version)' "$metainfo")"
        [ "$release" = "$VERSION" ] || fail "the newest release is '$release', the project is $VERSION"
        date="$(xmllint --xpath 'string(/component/releases/release[1]/@date)' "$metainfo")"
        changelog_date="$(date -u -d "$(changelog_field Date)" +%Y-%m-%d)"
        [ "$date" = "$changelog_date" ] || fail "release date $date, the changelog says $changelog_date"
        # Every screenshot is one the README shows, so the published files are ours and current.
        images="$(xmllint --xpath '//screenshot/image/text()' "$metainfo" 2>/dev/null)" ||
            fail "the metainfo lists no screenshots"
        for image in $images; do
            case "$image" in https://*) ;; *) fail "screenshot '$image' is not an https address" ;; esac
            name="${image##*/}"
            grep -q "(docs/help/$name)" "$SOURCE_DIR/README.md" || fail "screenshot '$name' is not one of the README's"
            [ -f "$SOURCE_DIR/docs/help/$name" ] || fail "screenshot '$name' is missing from docs/help"
        done
    done
    finish
}

step_mime() {
    need xmllint update-mime-database
    xml="$root/usr/share/mime/packages/cryptelle.xml"
    xmllint --noout "$xml" || fail "the MIME file is not well-formed XML"

    # The database a file manager reads, built by the tool the installed
    # system's trigger runs; it complains on stderr about what it cannot use.
    data="$WORK_DIR/mime-data"
    rm -rf "$data" && mkdir -p "$data/mime/packages" "$WORK_DIR/mime-home"
    cp "$xml" "$data/mime/packages/"
    XDG_DATA_DIRS="$data" update-mime-database "$data/mime" 2>"$WORK_DIR/update-mime.err" || fail "update-mime-database failed"
    if [ -s "$WORK_DIR/update-mime.err" ]; then
        cat "$WORK_DIR/update-mime.err"
        fail "update-mime-database complains about the MIME file"
    fi

    [ "$(xmllint --xpath 'string(//*[local-name()="generic-icon"]/@name)' "$xml")" = package-x-generic ] ||
        fail "the type has no generic icon"
    [ -s "$data/mime/generic-icons" ] && grep -q '^application/x-zqv:package-x-generic' "$data/mime/generic-icons" ||
        fail "the MIME database does not know the type's generic icon"
    svg="$root/usr/share/icons/hicolor/scalable/mimetypes/application-x-zqv.svg"
    [ "$(xmllint --xpath 'local-name(/*)' "$svg" 2>/dev/null)" = svg ] || fail "no mimetypes icon application-x-zqv"

    files="$WORK_DIR/mime-files"
    rm -rf "$files" && mkdir -p "$files"
    printf 'the only copy\n' >"$files/report.pdf"
    "$PROBE" encrypt "$files/report.pdf" "$files/report.pdf.zqv"
    cp "$files/report.pdf.zqv" "$files/renamed.bin"
    printf 'plain text\n' >"$files/notes.zqv"
    printf 'plain text\n' >"$files/notes.txt"
    printf '\211ZQW\r\n\032\n0123456789abcdef' >"$files/almost.bin"
    printf '\211PNG\r\n\032\n0123456789abcdef' >"$files/picture.bin"
    # mode, file, expected type
    while read -r mode file expected; do
        got="$(HOME="$WORK_DIR/mime-home" XDG_DATA_HOME="$WORK_DIR/mime-home" \
            XDG_DATA_DIRS="$data:/usr/share" "$PROBE" "$mode" "$files/$file")"
        [ "$got" = "$expected" ] || fail "$file ($mode) is $got, expected $expected"
    done <<TABLE
mime report.pdf.zqv application/x-zqv
mime-content renamed.bin application/x-zqv
mime notes.zqv application/x-zqv
mime notes.txt text/plain
mime-content almost.bin application/octet-stream
mime-content picture.bin image/png
TABLE
    finish
}

step_icons() {
    need xmllint
    icons="$root/usr/share/icons/hicolor"
    for size in 16 22 24 32 48 64 128 256; do
        png="$icons/${size}x${size}/apps/cryptelle.png"
        if [ ! -f "$png" ]; then
            fail "no ${size}x${size} icon"
            continue
        fi
        got="$("$PROBE" image-size "$png" || true)"
        [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is '$got'"
    done
    # The windows embed the same sizes.
    expected="$(for size in 16 22 24 32 48 64 128 256; do echo "${size}x${size}"; done)"
    got="$("$PROBE" window-icon - | sort -n)"
    [ "$got" = "$expected" ] || fail "the windows' icon has the sizes $(echo $got), not $(echo $expected)"
    svg="$icons/scalable/apps/cryptelle.svg"
    [ "$(xmllint --xpath 'local-name(/*)' "$svg")" = svg ] || fail "the scalable icon is not an SVG drawing"
    finish
}

step_manpages() {
    need man
    for program in "$root"/usr/bin/*; do
        name="$(basename "$program")"
        page="$root/usr/share/man/man1/$name.1.gz"
        if [ ! -f "$page" ]; then
            fail "no manual page for $name"
            continue
        fi
        warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
        [ -z "$warnings" ] || fail "man warns about $name.1: $warnings"
        zcat "$page" | grep -q "^\.TH $(echo "$name" | tr '[:lower:]' '[:upper:]') 1 .*$VERSION" ||
            fail "$name.1 does not carry version $VERSION"
    done
    finish
}

step_lintian() {
    need lintian
    lintian --fail-on error --display-info --no-tag-display-limit "$(package_file)" >"$WORK_DIR/lintian.log" 2>&1 ||
        fail "lintian reports errors"
    cat "$WORK_DIR/lintian.log"
    # Debian's hardening: every binary bound at start-up and fortified.
    if grep -q 'hardening-' "$WORK_DIR/lintian.log"; then fail "lintian finds binaries built without hardening"; fi
    if command -v readelf >/dev/null 2>&1; then
        for binary in $(cd "$program_dir" && find . -type f); do
            file -b "$program_dir/$binary" | grep -q '^ELF' || continue
            readelf -d "$program_dir/$binary" | grep -q 'FLAGS.*BIND_NOW' || fail "${binary#./} is not bound at start-up"
            readelf -lW "$program_dir/$binary" | grep -q 'GNU_RELRO' || fail "${binary#./} has no read-only relocations"
        done
    fi
    finish
}

# Runs the unpacked engine through its launcher, offscreen, with the driver
# pressing Wipe; prints the engine's exit status.
run_engine() {
    engine_root="$1"
    victim="$2"
    (
        export HOME="$WORK_DIR/engine-home" XDG_CONFIG_HOME="$WORK_DIR/engine-home/config"
        export XDG_STATE_HOME="$WORK_DIR/engine-home/state" QT_QPA_PLATFORM=offscreen
        export QT_PLUGIN_PATH="$DRIVER_DIR" QT_QPA_GENERIC_PLUGINS=zqvdriver ZQV_DRIVER_CLICK=cmdShred
        unset LD_LIBRARY_PATH
        status=0
        timeout 60 "$engine_root/usr/bin/zqvengine" /w "$victim" >"$WORK_DIR/engine.log" 2>&1 || status=$?
        echo "$status"
    )
}

step_installed_engine() {
    mkdir -p "$WORK_DIR/engine-home"

    # The installed layout: the engine finds the library in its own folder
    # and the file is gone.
    victim="$WORK_DIR/engine-home/victim.txt"
    printf 'the only copy\n' >"$victim"
    status="$(run_engine "$root" "$victim")"
    cat "$WORK_DIR/engine.log"
    [ "$status" = 0 ] || fail "the unpacked engine ended with status $status"
    grep -q 'clicked: cmdShred' "$WORK_DIR/engine.log" || fail "the wipe dialog never offered its Wipe button"
    [ ! -e "$victim" ] || fail "the unpacked engine did not wipe the file"

    # The same run without the library must say so and keep the file, or the
    # run above proves nothing about where the library was found.
    broken="$WORK_DIR/root-without-library"
    rm -rf "$broken" && cp -a "$root" "$broken" && rm "$broken/usr/lib/cryptelle/libzqvdod.so"
    printf 'the only copy\n' >"$victim"
    status="$(run_engine "$broken" "$victim")"
    cat "$WORK_DIR/engine.log"
    grep -q 'message: .*libzqvdod.so could not be loaded' "$WORK_DIR/engine.log" ||
        fail "without its library the engine did not report it (status $status)"
    [ -e "$victim" ] || fail "without its library the engine still removed the file"
    rm -rf "$broken"
    finish
}

step_installed_main() {
    # The main window comes up from the unpacked launcher, with the icon.
    if [ ! -x "$program_dir/zqv" ]; then
        fail "the package has no zqv"
        finish
    fi
    home="$WORK_DIR/main-home"
    rm -rf "$home" && mkdir -p "$home"
    status=0
    (
        export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state"
        export XDG_DATA_DIRS="$root/usr/share:/usr/share" QT_QPA_PLATFORM=offscreen
        export QT_PLUGIN_PATH="$DRIVER_DIR" QT_QPA_GENERIC_PLUGINS=zqvdriver ZQV_DRIVER_QUIT_ON=frmMain
        unset LD_LIBRARY_PATH
        cd "$home"
        timeout 60 "$root/usr/bin/zqv"
    ) >"$WORK_DIR/main.log" 2>&1 || status=$?
    cat "$WORK_DIR/main.log"
    [ "$status" = 0 ] || fail "the unpacked zqv ended with status $status"
    grep -q 'shown: frmMain with its icon' "$WORK_DIR/main.log" || fail "the main window did not appear with its icon"
    finish
}

case "$step" in
build | contents | desktop | open_zqv | metainfo | mime | icons | manpages | lintian | installed_engine | installed_main) "step_$step" ;;
*)
    echo "unknown step '$step'"
    exit 2
    ;;
esac
