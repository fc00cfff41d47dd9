#!/usr/bin/env bash
# deb-check.sh WORK_DIR [STEP...]: the source package checked as Debian checks one. Steps,
# all by default, in this order:
#   reproducible  `make deb` in two clones of HEAD at different paths, the second at least
#                 a minute after the first began, under another umask, locale and time
#                 zone; every .deb, the .dsc and the source tarball must be the same bytes
#                 (diffoscope shows what differs)
#   lintian       lintian on the first build's .changes: no error, no warning
#   piuparts      install, purge, and upgrade over itself from a repository holding the
#                 same package, in a clean root, with nothing left behind
#   autopkgtest   debian/tests on this machine (the null runner), which installs the
#                 package here; a package not installed before is purged again, and
#                 net.core.rmem_max, which its postinst raises, is put back
# Needs root (piuparts, autopkgtest, the build user). Each step says how long it took.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
shift
steps=("$@")
((${#steps[@]})) || steps=(reproducible lintian piuparts autopkgtest)
mkdir -p "$work"
work=$(cd "$work" && pwd)
first=$work/first/tcpipset
first_out=$first/build/deb

fail() {
    echo "deb-check: FAIL: $*" >&2
    exit 1
}
((EUID == 0)) || fail "needs root"

need_packages() { "$here/tools/deb-build" need "$@"; }

# clone DIR COMMIT
clone() {
    rm -rf "$1"
    mkdir -p "$(dirname "$1")"
    git clone --quiet --no-hardlinks "$here" "$1"
    git -C "$1" checkout --quiet --detach "$2"
}

reproducible() {
    [[ -z $(git -C "$here" status --porcelain) ]] ||
        echo "deb-check: the tree has changes that are not committed; the clones build HEAD"
    local root second=$work/the/second/clone/tcpipset commit
    commit=$(git -C "$here" rev-parse HEAD)
    root=$("$here/tools/deb-build" root buildd)
    clone "$first" "$commit"
    local began=$SECONDS
    (umask 022 && cd "$first" && LC_ALL=C.UTF-8 TZ=UTC DEB_ROOT_TARBALL=$root make deb)
    (umask 077 && clone "$second" "$commit")
    local wait=$((60 - (SECONDS - began)))
    ((wait <= 0)) || sleep "$wait"
    (umask 077 && cd "$second" && LC_ALL=C TZ=JST-9 DEB_ROOT_TARBALL=$root make deb)

    local f name differ=()
    for f in "$first_out"/*.deb "$first_out"/*.dsc "$first_out"/*.tar.*; do
        name=$(basename "$f")
        [[ -f $second/build/deb/$name ]] || fail "the second build has no $name"
        cmp "$f" "$second/build/deb/$name" || differ+=("$name")
    done
    if ((${#differ[@]})); then
        need_packages diffoscope-minimal
        for name in "${differ[@]}"; do
            diffoscope --text "$work/diffoscope-$name.txt" "$first_out/$name" \
                "$second/build/deb/$name" || true
        done
        fail "differ between the two builds: ${differ[*]} (diffoscope: $work/diffoscope-*.txt)"
    fi
    echo "deb-check: the two builds are the same bytes: $(cd "$first_out" && ls ./*.deb ./*.dsc ./*.tar.* | sed 's|^\./||' | tr '\n' ' ')"
}

the_changes() {
    local changes=("$first_out"/tcpipset_*.changes)
    [[ -f ${changes[0]} ]] || fail "no .changes in $first_out: the reproducible step makes it"
    echo "${changes[0]}"
}

the_deb() {
    local debs=("$first_out"/tcpipset_*_"$(dpkg --print-architecture)".deb)
    [[ -f ${debs[0]} ]] || fail "no package in $first_out: the reproducible step makes it"
    echo "${debs[0]}"
}

run_lintian() {
    need_packages lintian
    local changes
    changes=$(the_changes)
    lintian --fail-on error,warning --display-info "$changes"
    echo "deb-check: lintian: no error or warning in $(basename "$changes")"
}

run_piuparts() {
    need_packages piuparts apt-utils
    local deb base repo=$work/piuparts-repo
    deb=$(the_deb)
    base=$("$here/tools/deb-build" root minbase)
    # The same package in a repository of its own, so that piuparts finds it "in the
    # archive" and upgrades that installation with the file.
    rm -rf "$repo"
    mkdir -p "$repo"
    cp "$deb" "$repo/"
    (cd "$repo" && apt-ftparchive packages . >Packages)
    # The archive that apt uses here: piuparts writes the root's sources itself.
    local release uri mirror="" sources=()
    while read -r release uri; do
        if [[ $release == bookworm ]]; then
            mirror=$uri
        else
            sources+=(--extra-repo="deb $uri $release main")
        fi
    done < <(apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 'Created-By: Packages' |
        grep '^bookworm' | sort -u)
    [[ -n $mirror ]] || fail "apt here has no bookworm source"
    rm -f "$work/piuparts.log"
    piuparts --basetgz="$base" --mirror="$mirror main" --distribution=bookworm \
        "${sources[@]}" --bindmount="$repo" --extra-repo="deb [trusted=yes] file://$repo ./" \
        --log-file="$work/piuparts.log" "$deb" >/dev/null ||
        fail "piuparts; the end of $work/piuparts.log:
$(tail -40 "$work/piuparts.log")"
    grep -E ' INFO: (PASS|Can.t test)' "$work/piuparts.log" | sed 's/^.* INFO: /deb-check: piuparts: /'
    grep -q 'PASS: Installation, upgrade and purging tests' "$work/piuparts.log" ||
        fail "piuparts ran no upgrade test"
}

run_autopkgtest() {
    need_packages autopkgtest
    local changes was_installed rmem
    changes=$(the_changes)
    was_installed=$(dpkg-query -W -f='${Status}' tcpipset 2>/dev/null || true)
    rmem=$(sysctl -n net.core.rmem_max)
    local status=0
    rm -rf "$work/autopkgtest"
    autopkgtest --output-dir="$work/autopkgtest" "$changes" -- null || status=$?
    if [[ $was_installed != "install ok installed" ]] && dpkg-query -W tcpipset >/dev/null 2>&1; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tcpipset >/dev/null || true
    fi
    sysctl -q -w net.core.rmem_max="$rmem" || true
    ((status == 0)) || fail "autopkgtest exited $status (its log: $work/autopkgtest/log)"
    echo "deb-check: autopkgtest: $(grep -c ' PASS' "$work/autopkgtest/summary") passed"
}

for step in "${steps[@]}"; do
    began=$SECONDS
    case $step in
    reproducible) reproducible ;;
    lintian) run_lintian ;;
    piuparts) run_piuparts ;;
    autopkgtest) run_autopkgtest ;;
    *) fail "no step $step" ;;
    esac
    echo "deb-check: $step took $((SECONDS - began)) s"
done
echo "deb-check: ${#steps[@]} passed, 0 failed"
