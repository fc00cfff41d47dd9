#!/usr/bin/env bash
# collection.sh PROJECT_VERSION: the collection builds with the project's version in
# Galaxy's form (galaxy.yml says how), installs, and ansible-doc renders each module.
set -u
source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/ansible/ansible-lib.sh
source "$source/tests/ansible/ansible-lib.sh"
IFS=. read -r major minor patch tweak <<<"$1"
failed=0
# a line, the command whose output must hold it
while IFS='|' read -r line command; do
    if bash -c "$command" | grep -qxF -- "$line"; then echo "ok   $line"; else echo "FAIL $line"; failed=$((failed + 1)); fi
done <<TABLE
tcpipset-printservers-$major.$minor.$((patch * 100 + tweak)).tar.gz|ls "$work"
= inventory|ansible-doc tcpipset.printservers.print_servers
- rounds|ansible-doc tcpipset.printservers.print_servers_info
TABLE
echo "$((3 - failed)) passed, $failed failed"
((failed == 0))
