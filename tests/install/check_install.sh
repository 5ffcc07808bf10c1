#!/bin/sh
# Installs a build into a scratch prefix, once directly and once staged with DESTDIR, and checks
# that programs, desktop entry, AppStream metainfo, MIME type, icon, manual, man pages and bash
# completion land where a Linux desktop looks.
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
for tool in appstreamcli groff; do
    command -v "$tool" >/dev/null || fail "no $tool (scripts/setup installs it)"
done

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
    desktop=$root/share/applications/io.github.kurvex.Kurvex.desktop
    need "$desktop"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "desktop entry is not valid"
    fi
    need "$root/share/metainfo/io.github.kurvex.Kurvex.metainfo.xml"
    # The tree's check also finds the desktop entry that the metainfo launches.
    appstreamcli validate-tree --no-net "$root" || fail "AppStream metainfo is not valid"
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
    for program in kurvex-cli kurvex; do
        [ -e "$root/bin/$program" ] || continue
        page=$root/share/man/man1/$program.1.gz
        need "$page"
        [ -e "$page" ] || continue
        warnings=$(gzip -dc "$page" | LC_ALL=C.UTF-8 groff -man -ww -Tutf8 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$program.1: $warnings"
    done
    # Where kurvex-cli writes a bash completion it is installed, for both programs' names.
    if "$root/bin/kurvex-cli" completion bash >/dev/null 2>&1; then
        completions=$root/share/bash-completion/completions
        need "$completions/kurvex-cli"
        need "$completions/kurvex"
        bash -c ". '$completions/kurvex-cli' && complete -p kurvex-cli" >/dev/null 2>&1 ||
            fail "the bash completion completes nothing for kurvex-cli"
    fi
}

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/direct.log" 2>&1 ||
    { cat "$scratch/direct.log"; fail "cmake --install --prefix failed"; }
check_tree "$scratch/prefix"
# The direct install refreshed the caches wherever the tools exist.
if command -v update-mime-database >/dev/null; then
    need "$scratch/prefix/share/mime/application/x-kurvex.xml"
fi
if command -v update-desktop-database >/dev/null; then
    grep -q '^application/x-kurvex=.*io.github.kurvex.Kurvex.desktop' \
        "$scratch/prefix/share/applications/mimeinfo.cache" ||
        fail "desktop database does not offer kurvex for .kfd"
fi

DESTDIR="$scratch/stage" cmake --install "$build" --prefix /usr/local >"$scratch/staged.log" 2>&1 ||
    { cat "$scratch/staged.log"; fail "DESTDIR install failed"; }
check_tree "$scratch/stage/usr/local"
# A staged install leaves the caches to the package.
[ ! -e "$scratch/stage/usr/local/share/mime/mime.cache" ] || fail "staged install built a MIME cache"

[ "$failures" -eq 0 ] && echo "install tree complete"
exit "$failures"
