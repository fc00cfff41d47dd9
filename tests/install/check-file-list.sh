#!/bin/sh
# check-file-list.sh BUILD_DIR EXPECTED_LIST
# Installs the build with prefix /usr into a fresh DESTDIR, as a package build does, and
# compares every file and link installed with EXPECTED_LIST (one path a line, relative to
# DESTDIR, sorted), less usr/share/doc: the package's copyright file and changelog are
# debhelper's, from debian/. Needs no root: nothing is written outside the temporary
# directory.
set -eu
build_dir=$1
expected=$2
destdir=$(mktemp -d "${TMPDIR:-/tmp}/tcpipset-install.XXXXXX")
trap 'rm -rf "$destdir"' EXIT INT TERM

DESTDIR=$destdir cmake --install "$build_dir" --prefix /usr >/dev/null
(cd "$destdir" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort) \
    >"$destdir.list"
trap 'rm -rf "$destdir" "$destdir.list"' EXIT INT TERM

if ! grep -v '^usr/share/doc/' "$expected" | LC_ALL=C sort | diff -u - "$destdir.list"; then
    echo "check-file-list: the installed files (+) differ from $expected (-)" >&2
    exit 1
fi
for program in usr/bin/tcpipset usr/bin/tcpipctl usr/bin/tcpipsim; do
    if [ ! -x "$destdir/$program" ]; then
        echo "check-file-list: $program is not executable" >&2
        exit 1
    fi
done
echo "check-file-list: $(wc -l <"$destdir.list") files as expected"
