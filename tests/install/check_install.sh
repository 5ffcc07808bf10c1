#!/bin/sh
# Installs a build into a scratch prefix, once directly and once staged with DESTDIR, and checks
# that programs, desktop entry, MIME type, icon and manual land where a Linux desktop looks.
set -eu
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
need() { [ -e "$1" ] || fail "missing $1"; }

check_tree() {
    root=$1
    need "$root/bin/kurvex-cli"
    "$root/bin/kurvex-cli" --help >/dev/null 2>&1 || fail "installed kurvex-cli does not run"
    if [ -e "$build/src/app/kurvex" ]; then
        need "$root/bin/kurvex"
        # --version needs no display.
        version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/kurvex" --version) ||
            fail "installed kurvex --version failed"
        case $version in "kurvex "[0-9]*) ;; *) fail "kurvex --version said '$version'" ;; esac
    fi
    desktop=$root/share/applications/kurvex.desktop
    need "$desktop"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "desktop entry is not valid"
    fi
    grep -q '^MimeType=.*application/x-kurvex;' "$desktop" || fail "desktop entry lacks the .kfd type"
    need "$root/share/mime/packages/kurvex.xml"
    need "$root/share/icons/hicolor/scalable/apps/kurvex.svg"
    manual=$root/share/doc/kurvex/manual
    need "$manual/index.html"
    # Every page's local links and pictures resolve inside the installed manual.
    for page in "$manual"/*.html; do
        for target in $(grep -o -E '(href|src)="[^"#:]+' "$page" | sed 's/^[a-z]*="//' | sort -u); do
            [ -e "$manual/$target" ] || fail "$(basename "$page") links to missing $target"
        done
    done
    [ ! -L "$manual/icons" ] || fail "the manual's icons are a link, not pictures"
}

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/direct.log" 2>&1 ||
    { cat "$scratch/direct.log"; fail "cmake --install --prefix failed"; }
check_tree "$scratch/prefix"
# The direct install refreshed the caches wherever the tools exist.
if command -v update-mime-database >/dev/null; then
    need "$scratch/prefix/share/mime/application/x-kurvex.xml"
fi
if command -v update-desktop-database >/dev/null; then
    grep -q '^application/x-kurvex=.*kurvex.desktop' "$scratch/prefix/share/applications/mimeinfo.cache" ||
        fail "desktop database does not offer kurvex for .kfd"
fi

DESTDIR="$scratch/stage" cmake --install "$build" --prefix /usr/local >"$scratch/staged.log" 2>&1 ||
    { cat "$scratch/staged.log"; fail "DESTDIR install failed"; }
check_tree "$scratch/stage/usr/local"
# A staged install leaves the caches to the package.
[ ! -e "$scratch/stage/usr/local/share/mime/mime.cache" ] || fail "staged install built a MIME cache"

[ "$failures" -eq 0 ] && echo "install tree complete"
exit "$failures"
