#!/usr/bin/env bash
# package.sh build DEB_BUILD OUT_DIR VERSION EXPECTED_LIST
#   Builds the Debian package of debian/ with DEB_BUILD (tools/deb-build) into OUT_DIR,
#   checks its control fields and its files (each one in EXPECTED_LIST, owned by root,
#   programs executable), and unpacks it into OUT_DIR/root.
# package.sh lintian OUT_DIR
#   Runs lintian on the build's .changes, the package and its debugging symbols: an error
#   or a warning fails.
# package.sh unpacked OUT_DIR TESTNET POINTER_CURSOR ARTIFACT_DIR DISCOVERY_SCRIPT
#   Runs tcpipctl --version from the unpacked root, then starts the window as the menu
#   would, from its desktop entry's Exec line with the root's paths, in a throwaway test
#   segment with three of the package's own simulated devices, where DISCOVERY_SCRIPT
#   checks that all three are listed.
# A missing tool or, for the segment, missing root exits 77: the case is skipped.
set -euo pipefail

skip() {
    echo "$*; skipped"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
need() {
    command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed (tools/install-deps)"
}
the_changes() {
    local changes=("$1"/tcpipset_*.changes)
    [[ -f ${changes[0]} ]] || fail "no package in $1: the package case must run first"
    echo "${changes[0]}"
}

build() {
    local deb_build=$1 out=$2 version=$3 expected=$4
    need dpkg-buildpackage
    need dh
    rm -rf "$out"
    "$deb_build" local "$out" || fail "the package build failed"
    local deb
    deb="$out/tcpipset_${version}_$(dpkg --print-architecture).deb"
    [[ -f $deb ]] || fail "the build did not write $deb: $(ls "$out")"

    local field want
    for field in Package=tcpipset Version="$version" Section=net Priority=optional; do
        want=${field#*=}
        [[ $(dpkg-deb -f "$deb" "${field%%=*}") == "$want" ]] ||
            fail "${field%%=*} is '$(dpkg-deb -f "$deb" "${field%%=*}")', not '$want'"
    done
    [[ $(dpkg-deb -f "$deb" Maintainer) == *@* ]] || fail "the maintainer has no address"
    # The font by name, the Qt libraries as dpkg-shlibdeps found them.
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for want in fonts-ipafont-gothic qt6-qpa-plugins 'libqt6widgets6 (>=' 'libc6 (>='; do
        [[ $depends == *"$want"* ]] || fail "Depends lacks $want: $depends"
    done

    local contents
    contents=$(dpkg-deb -c "$deb")
    ! grep -v '^[-dl][rwx-]* root/root ' <<<"$contents" || fail "entries not owned by root"
    ! grep '^-' <<<"$contents" | grep -v '^-rw-r--r-- \|^-rwxr-xr-x .*/usr/bin/' ||
        fail "files with modes other than 644, or 755 for a program"
    grep '^-' <<<"$contents" | awk '{print $NF}' | sed 's|^\./||' | LC_ALL=C sort >"$out/files"
    LC_ALL=C sort "$expected" | diff -u - "$out/files" ||
        fail "the package's files (+) differ from $expected (-)"

    dpkg-deb -x "$deb" "$out/root"
    echo "built $(basename "$deb"): $(wc -l <"$out/files") files; Depends: $depends"
}

run_lintian() {
    need lintian
    local changes
    changes=$(the_changes "$1")
    lintian --fail-on error,warning --display-info "$changes"
    echo "lintian: no error or warning in $(basename "$changes")"
}

unpacked() {
    local out=$1 testnet=$2 pointer_cursor=$3 artifacts=$4 discovery=$5
    local root=$out/root
    [[ -d $root ]] || fail "no unpacked package in $out: the package case must run first"

    local version
    version=$("$root/usr/bin/tcpipctl" --version) || fail "tcpipctl --version failed"
    echo "tcpipctl --version from the package: $version"

    # The menu starts Exec with the field codes dropped and the program looked up in PATH.
    local entry=$root/usr/share/applications/tcpipset.desktop
    local exec_line
    exec_line=$(sed -n 's/^Exec=//p' "$entry" | head -1 | sed 's/ *%[fFuUick]//g')
    [[ -n $exec_line ]] || fail "$entry has no Exec line"
    local program=${exec_line%% *}
    [[ $program == /* ]] && program=$root$program
    local found
    found=$(PATH=$root/usr/bin command -v "$program") ||
        fail "Exec's program $program is not in the package"
    [[ $found == "$root"/* ]] || fail "Exec's program $program is not the package's"

    local launcher=$out/launch-from-menu
    printf '#!/bin/sh\nPATH=%q/usr/bin:$PATH XDG_DATA_DIRS=%q/usr/share exec %s\n' \
        "$root" "$root" "$exec_line" >"$launcher"
    chmod +x "$launcher"
    echo "starting the window as: $exec_line, from $root/usr/bin"

    mkdir -p "$artifacts"
    local status=0
    "$testnet" --devices 3 --xvfb --sim-bin "$root/usr/bin/tcpipsim" -- \
        "$discovery" "$launcher" "$root/usr/bin/tcpipctl" "$artifacts" "$pointer_cursor" ||
        status=$?
    return "$status"
}

case ${1:-} in
build) build "${@:2}" ;;
lintian) run_lintian "${@:2}" ;;
unpacked) unpacked "${@:2}" ;;
*)
    echo "usage: package.sh build|lintian|unpacked ..." >&2
    exit 2
    ;;
esac
