#!/usr/bin/env bash
# The program as a package installs it: the build is installed into a temporary staging tree
# (DESTDIR, prefix /usr) and checked there.
#   install_test.sh tree BUILD_DIR VERSION      the file list, and the installed program run on a file
#   install_test.sh desktop BUILD_DIR VERSION   the desktop files pass the freedesktop validators
# Exit 77 (skipped) when the validators are not installed.
set -uo pipefail
mode=$1
build=$2
version=$3
id=org.example.accel3

tmp=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null; fi
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

root=$tmp/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "cmake --install"; }
usr=$root/usr

check_tree() {
    [ "$(ls "$root")" = usr ] || fail "files outside /usr: $(ls "$root")"
    [ "$(ls "$usr/bin" | tr '\n' ' ')" = "accel3 accel3-boardsim axdtool " ] || fail "bin/ holds: $(ls "$usr/bin")"
    local f
    for f in \
        share/accel3/Scales.scl share/accel3/help/index.html \
        share/applications/$id.desktop share/metainfo/$id.metainfo.xml share/mime/packages/$id.xml \
        share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/16x16/apps/$id.png \
        share/icons/hicolor/48x48/apps/$id.png share/icons/hicolor/256x256/apps/$id.png \
        share/man/man1/accel3.1.gz share/man/man1/axdtool.1.gz share/man/man1/accel3-boardsim.1.gz \
        lib/udev/rules.d/60-accel3.rules share/doc/accel3/README.md share/doc/accel3/copyright \
        share/doc/accel3/changelog.Debian.gz; do
        [ -s "$usr/$f" ] || fail "missing or empty: /usr/$f"
    done
    for f in accel3 axdtool accel3-boardsim; do
        [ -x "$usr/bin/$f" ] || fail "not executable: /usr/bin/$f"
    done
    [ "$(ls "$usr/share/accel3/help" | wc -l)" -ge 2 ] || fail "help pages missing"
    # Access is given per board (the rule the program writes), never to every adapter of a bridge.
    ! grep -v '^[[:space:]]*#' "$usr/lib/udev/rules.d/60-accel3.rules" | grep -q 'idVendor' ||
        fail "the packaged udev rule claims every adapter of a bridge"
    # The licence in Debian's machine-readable form, and a changelog gzip can read.
    head -1 "$usr/share/doc/accel3/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
        fail "copyright is not machine-readable"
    grep -q '^License: GPL-3.0-or-later$' "$usr/share/doc/accel3/copyright" || fail "copyright names no licence"
    gzip -dc "$usr/share/doc/accel3/changelog.Debian.gz" | head -1 | grep -q "^accel3 ($version-1) " ||
        fail "changelog.Debian.gz does not start with this version"
    # Every relative link of the installed documents leads to an installed file.
    local doc link
    for doc in "$usr"/share/doc/accel3/*.md; do
        for link in $(grep -o '](\([^)#:]*\))' "$doc" | sed 's/^](\(.*\))$/\1/'); do
            [ -e "$(dirname "$doc")/$link" ] || fail "$(basename "$doc") links to $link, which is not installed"
        done
    done
    # No invented addresses, and no menu entry that drops all but the first of several files.
    grep -rq 'example\.org' "$usr/share/metainfo" "$usr/share/applications" && fail "an invented address is installed"
    grep -q '^Exec=accel3 %f$' "$usr/share/applications/$id.desktop" || fail "the menu entry does not open each file"
    # PNG signature of a drawn icon.
    [ "$(head -c 4 "$usr/share/icons/hicolor/48x48/apps/$id.png" | od -An -tx1 | tr -d ' ')" = 89504e47 ] ||
        fail "48x48 icon is no PNG"
}

run_installed_program() {
    # --help and --version answer without any display.
    local out
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/accel3" --version) || fail "--version failed"
    [ "$out" = "accel3 $version" ] || fail "--version printed: $out"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/accel3" --help | grep -q 'accel3' ||
        fail "--help printed no usage"
    # A wrong option is a usage error, also where there is no display to start on.
    local status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/accel3" --bogus 2>"$tmp/bogus.err" || status=$?
    [ "$status" -eq 2 ] && grep -q -- '--bogus' "$tmp/bogus.err" || fail "accel3 --bogus: status $status"
    for f in axdtool accel3-boardsim; do
        out=$("$usr/bin/$f" --version) || fail "$f --version failed"
        [ "$out" = "$f $version" ] || fail "$f --version printed: $out"
    done
    status=0
    "$usr/bin/accel3-boardsim" --bogus 2>/dev/null || status=$?
    [ "$status" -eq 2 ] || fail "accel3-boardsim --bogus: status $status"

    # A measurement file: 3 channels, 3200 Hz, K = 1, C = 0, ten frames, a Russian comment
    # in Windows-1251, as the program writes it.
    mkdir -p "$tmp/data" "$tmp/home"
    {
        printf '\x03\x80\x10\x01\x07\x3c\x00\x00\x00'   # type word, 16, 1, channels XYZ, 60 bytes
        printf '\x00\x00\x00\x00\x00\x88\x73\x40'       # sampling period 312.5 us
        for _ in 1 2 3; do printf '\x00\x00\x00\x00\x00\x00\xf0\x3f'; done
        for _ in 1 2 3; do printf '\x00\x00\x00\x00\x00\x00\x00\x00'; done
        printf 't\0a\0'
        for _ in $(seq 10); do printf '\x01\x00\x02\x00\x00\x01'; done
        printf 'Замер 5: стол у окна\r\nЗаписаны оси XYZ' | iconv -f UTF-8 -t CP1251
    } >"$tmp/data/run5.axd"

    # Started as a file manager starts it from the data folder, with a relative name.
    (
        cd "$tmp/data" &&
            exec env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
                ACCEL3_DEVICE=sim QT_LOGGING_RULES="accel3.startup.info=true" \
                "$usr/bin/accel3" run5.axd
    ) 2>"$tmp/accel3.log" &
    pid=$!
    local waited=0
    until grep -q '^comment:' "$tmp/accel3.log"; do
        kill -0 "$pid" 2>/dev/null || { cat "$tmp/accel3.log"; fail "the program ended before opening the file"; }
        [ "$waited" -lt 600 ] || { cat "$tmp/accel3.log"; fail "the file was not opened within a minute"; }
        sleep 0.1
        waited=$((waited + 1))
    done
    grep -q "file: $tmp/data/run5.axd\$" "$tmp/accel3.log" || { cat "$tmp/accel3.log"; fail "another file was opened"; }
    grep -q '^comment: Замер 5: стол у окна$' "$tmp/accel3.log" || { cat "$tmp/accel3.log"; fail "the comment is not shown"; }

    kill -TERM "$pid"
    local status=0
    wait "$pid" || status=$?
    pid=
    [ "$status" -eq 0 ] || { cat "$tmp/accel3.log"; fail "exit status $status after SIGTERM"; }

    local config=$tmp/config/accel3
    grep -qi '^\[' "$config/tremor.ini" 2>/dev/null || fail "no settings in $config/tremor.ini"
    [ -s "$config/app.ini" ] || fail "no spectrum settings in $config/app.ini"
    cmp -s "$config/Scales.scl" "$usr/share/accel3/Scales.scl" || fail "the shipped Scales.scl was not copied"
    [ "$(ls "$usr/bin" | wc -l)" -eq 3 ] || fail "the program wrote beside itself: $(ls "$usr/bin")"
    [ -z "$(ls -A "$tmp/home")" ] || fail "files outside XDG_CONFIG_HOME: $(ls -A "$tmp/home")"
}

check_desktop_files() {
    local missing=()
    command -v desktop-file-validate >/dev/null || missing+=(desktop-file-utils)
    command -v appstreamcli >/dev/null || missing+=(appstream)
    command -v update-mime-database >/dev/null || missing+=(shared-mime-info)
    if [ ${#missing[@]} -gt 0 ]; then
        echo "SKIPPED: not installed: ${missing[*]} (tools/deps.sh installs them)"
        exit 77
    fi
    desktop-file-validate "$usr/share/applications/$id.desktop" || fail "desktop-file-validate"
    appstreamcli validate --no-net --pedantic "$usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
    update-mime-database "$usr/share/mime" || fail "update-mime-database"
    grep -q "application/x-accel3-axd" "$usr/share/mime/globs2" || fail "no *.axd glob"
    if command -v gio >/dev/null; then
        # Recognised by its first bytes alone, without the extension; another binary file is not.
        printf '\x03\x00\x10\x01\x01\x00\x00\x00\x00' >"$tmp/plain-type-word.bin"
        printf '\x03\x80\x11\x01\x01\x00\x00\x00\x00' >"$tmp/other.bin"
        local t
        t=$(XDG_DATA_HOME="$usr/share" gio info -a standard::content-type "$tmp/plain-type-word.bin")
        echo "$t" | grep -q 'application/x-accel3-axd' || fail "magic not recognised: $t"
        t=$(XDG_DATA_HOME="$usr/share" gio info -a standard::content-type "$tmp/other.bin")
        echo "$t" | grep -q 'application/x-accel3-axd' && fail "magic too loose: $t"
    else
        echo "note: gio not installed, the magic was not tried"
    fi
}

case $mode in
tree)
    check_tree
    run_installed_program
    ;;
desktop) check_desktop_files ;;
*) fail "unknown mode $mode" ;;
esac
echo "OK"
