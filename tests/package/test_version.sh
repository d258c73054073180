#!/usr/bin/env bash
# Every place that shows the package's version shows the one that
# debian/changelog names (dpkg-parsechangelog reads it as dpkg-buildpackage
# does): the programs' --version, the manual pages' title lines; and the
# plug-in's version stamp carries its first three numbers.
#
#   test_version.sh SOURCE_DIR DIAGHOST MODEMSIM VERINFO
set -u
source_dir=$1
diaghost=$2
modemsim=$3
verinfo=$4

command -v dpkg-parsechangelog >/dev/null || { echo "install dpkg-dev (dpkg-parsechangelog)"; exit 1; }
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version) || exit 1
[ -n "$version" ] || { echo "debian/changelog names no version"; exit 1; }
plugin=${version%.*}

failed=0
# expect WHAT GOT WANT
expect() {
    if [ "$2" != "$3" ]; then
        printf '%s: got "%s", want "%s"\n' "$1" "$2" "$3"
        failed=1
    fi
}
expect "diaghost --version" "$("$diaghost" --version 2>&1)" "diaghost $version"
expect "modemsim --version" "$("$modemsim" --version 2>&1)" "modemsim $version"
for page in "$source_dir"/package/man/*.1; do
    title=$(grep -m1 '^\.TH ' "$page")
    expect "$(basename "$page")'s title line" "$(echo "$title" | grep -o '"modemdiag [^"]*"')" "\"modemdiag $version\""
done
stamp=$("$verinfo")
expect "verinfo's numbers" "$(echo "$stamp" | sed -n 's/^static const char \* const VL_D_Version_\([0-9]*\)_\([0-9]*\)_\([0-9]*\)_.*/\1.\2.\3/p')" "$plugin"
expect "verinfo's text" "$(echo "$stamp" | sed -n 's/.* = "\([0-9.]*\)\..*";$/\1/p')" "$plugin"

[ $failed = 0 ] && echo "every version is $version (the plug-in's $plugin)"
exit $failed
