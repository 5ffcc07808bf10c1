#!/bin/bash
# kurvex-cli completion bash run in a bash, and --version against the project's
# version. Usage: completion_check.sh KURVEX-CLI SOURCE-DIR [KURVEX]
set -u
cli=$1 source=$2 viewer=${3:-}
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }

version=$(sed -n 's/^project(Kurvex VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[[ $("$cli" --version) == "kurvex-cli $version" ]] || fail "kurvex-cli --version: $("$cli" --version)"
if [[ -n $viewer ]]; then
    [[ $("$viewer" --version) == "kurvex $version" ]] || fail "kurvex --version: $("$viewer" --version)"
    "$viewer" --help-all | grep -q '^Environment:$' || fail "kurvex --help-all has no Environment"
fi

dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
"$cli" completion bash > "$dir/kurvex.bash" || fail "completion bash: status $?"
bash -n "$dir/kurvex.bash" || fail "the script does not parse"
mkdir "$dir/files" "$dir/files/sub"
touch "$dir/files/a.raw" "$dir/files/b.TXT" "$dir/files/c.png"

# Each case: the words, the last being completed, and the answers expected.
cases=(
    "kurvex-cli ''|completion info measure"
    "kurvex-cli --help-|--help-all"
    "kurvex-cli convert a.raw --format ''|csv kfd kfd7 mat tsv txt"
    "kurvex-cli fft a.raw --window h|hamming hann"
    "kurvex-cli measure a.raw --cyc|--cycles"
    "kurvex-cli info ''|a.raw b.TXT sub"
    "kurvex-cli convert a.raw -o ''|a.raw b.TXT c.png sub"
    "kurvex-cli eval a.raw ''|"
    "kurvex-cli completion ''|bash"
    "kurvex --s|--send"
    "kurvex a.raw ''|a.raw b.TXT sub"
)
for c in "${cases[@]}"; do
    got=$(cd "$dir/files" && bash -c '
        source "$1"
        eval "COMP_WORDS=($2)"
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        [[ ${COMP_WORDS[0]} == kurvex ]] && _kurvex || _kurvex_cli
        printf "%s\n" "${COMPREPLY[@]}" | sort | grep -v "^$" | tr "\n" " "
    ' bash "$dir/kurvex.bash" "${c%%|*}")
    want=${c#*|}
    # The expected answers may be a part of the reply for the long lists.
    for w in $want; do [[ " $got " == *" $w "* ]] || fail "${c%%|*}: $w missing from '$got'"; done
    [[ -z $want && -n $got ]] && fail "${c%%|*}: expected nothing, got '$got'"
    [[ ${c%%|*} == *"info ''" && " $got " == *" c.png "* ]] && fail "info offers c.png"
done

if command -v help2man > /dev/null; then
    help2man --no-info --help-option=--help-all -N "$cli" > "$dir/kurvex-cli.1" ||
        fail "help2man refused --help-all"
    for s in SYNOPSIS OPTIONS FILES ENVIRONMENT EXAMPLES; do
        grep -q "^\.SH $s" "$dir/kurvex-cli.1" || fail "the man page has no $s"
    done
fi
exit $((fails > 0))
