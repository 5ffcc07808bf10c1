#!/bin/sh
# Makes the Debian packages from a built tree with its CPack configuration, into a scratch folder,
# and checks them: every file a staged install puts under /usr is in exactly one package, nothing
# is outside /usr, every library the programs load comes from a package that Depends names; the
# programs and the Python module run from the unpacked packages; lintian finds no error.
# check_packages.sh BUILD SOURCE [PYTHON]
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
python=${3:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
for tool in cpack dpkg-architecture dpkg-deb dpkg-shlibdeps lintian objdump; do
    command -v "$tool" >/dev/null || { echo "FAIL: no $tool (scripts/setup installs it)"; exit 1; }
done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

# A build configured for another prefix makes the same packages: CPack installs into /usr.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
packages=$(ls "$scratch"/out/*.deb)
expected="kurvex"
[ -z "$python" ] || expected="kurvex python3-kurvex"
names=$(for deb in $packages; do dpkg-deb -f "$deb" Package; done | sort | xargs)
[ "$names" = "$expected" ] || fail "packages are '$names', not '$expected'"

# Contents against a staged install of the same tree.
DESTDIR="$scratch/stage" cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; fail "staged install failed"; }
# The plain install's Python folder is the prefix's; the package's is Debian's.
(cd "$scratch/stage" && find . ! -type d) | sed -e 's|^\.||' \
    -e 's|^/usr/lib/python3\.[0-9]*/dist-packages/|/usr/lib/python3/dist-packages/|' |
    sort >"$scratch/installed"
: >"$scratch/packaged"
for deb in $packages; do
    name=$(dpkg-deb -f "$deb" Package)
    dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' | grep -v '/$' |
        sed "s|\$| $name|" >>"$scratch/packaged"
done
sort "$scratch/packaged" -o "$scratch/packaged"
awk '$1 !~ "^/usr/"' "$scratch/packaged" | while read -r file package; do
    echo "FAIL: $package has $file outside /usr"
done | grep . && failures=$((failures + 1))
cut -d' ' -f1 "$scratch/packaged" | uniq -d | while read -r file; do
    echo "FAIL: $file is in more than one package"
done | grep . && failures=$((failures + 1))
cut -d' ' -f1 "$scratch/packaged" | sort -u >"$scratch/packaged-files"
comm -23 "$scratch/installed" "$scratch/packaged-files" | while read -r file; do
    echo "FAIL: $file is installed but in no package"
done | grep . && failures=$((failures + 1))
# A package has only what the install has, and its own changelog and copyright.
comm -13 "$scratch/installed" "$scratch/packaged-files" |
    grep -v -E '^/usr/share/doc/[^/]+/(changelog\.gz|copyright)$' | while read -r file; do
    echo "FAIL: $file is in a package but not installed"
done | grep . && failures=$((failures + 1))

# Every shared library a program or the extension needs comes from a package Depends names.
for deb in $packages; do
    name=$(dpkg-deb -f "$deb" Package)
    depends=$(dpkg-deb -f "$deb" Depends)
    [ -n "$depends" ] || fail "$name declares no Depends"
    unpacked="$scratch/unpacked-$name"
    dpkg-deb -x "$deb" "$unpacked"
    # The packages' file names have no blanks, and fail must count in this shell.
    # shellcheck disable=SC2044
    for file in $(find "$unpacked" -type f); do
        objdump -p "$file" >"$scratch/elf" 2>/dev/null || continue
        for library in $(awk '$1 == "NEEDED" {print $2}' "$scratch/elf"); do
            owner=$(dpkg -S "*/$multiarch/$library" 2>/dev/null | head -n 1 | cut -d: -f1)
            [ -n "$owner" ] || { fail "no package has $library, which ${file#"$unpacked"} needs"; continue; }
            case ", $depends," in
                *", $owner "* | *", $owner,"*) ;;
                *) fail "$name: ${file#"$unpacked"} needs $library of $owner, not in Depends: $depends" ;;
            esac
        done
    done
done

# The programs and the module from the unpacked packages, from another folder.
root="$scratch/root"
for deb in $packages; do dpkg-deb -x "$deb" "$root"; done
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
export LD_LIBRARY_PATH="$root/usr/lib:$root/usr/lib/$multiarch"
version=$(dpkg-deb -f "$scratch"/out/kurvex_*.deb Version)
cli="$root/usr/bin/kurvex-cli"
said=$("$cli" --version 2>&1) && status=0 || status=$?
[ "$status:$said" = "0:kurvex-cli $version" ] ||
    fail "kurvex-cli --version said '$said' (status $status), the package is $version"
if [ -e "$root/usr/bin/kurvex" ]; then
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/kurvex" --version 2>&1) || true
    [ "$said" = "kurvex $version" ] || fail "kurvex --version said '$said', the package is $version"
fi
"$cli" info "$source/examples/buck.txt" >"$scratch/info.packaged" 2>&1 ||
    { cat "$scratch/info.packaged"; fail "packaged kurvex-cli info failed"; }
"$build/src/cli/kurvex-cli" info "$source/examples/buck.txt" >"$scratch/info.built" 2>&1 || true
cmp -s "$scratch/info.built" "$scratch/info.packaged" ||
    fail "packaged kurvex-cli info differs from the built one's"
if [ -n "$python" ]; then
    where=$(PYTHONPATH="$root/usr/lib/python3/dist-packages" PYTHONNOUSERSITE=1 \
        "$python" -c "import kurvex; print(kurvex.__file__)" 2>&1) ||
        fail "import kurvex from the package failed: $where"
    case $where in "$root"/*) ;; *) fail "kurvex was imported from $where, not the package" ;; esac
fi
cd "$scratch"

# lintian: errors fail; warnings and notes are shown.
# shellcheck disable=SC2086
lintian --fail-on error $packages 2>/dev/null || fail "lintian found errors"

[ "$failures" -eq 0 ] && echo "packages complete"
exit "$failures"
