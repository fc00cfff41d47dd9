#!/bin/sh
# check.sh desktop|appstream|firewalld|icon FILE
# Checks one installed data file with the tool made for it. Exits 77 (skipped) when the
# tool is missing, 1 when the file has a fault, 0 when it is clean.
kind=$1
file=$2

need() {
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "$1 is not installed (tools/install-deps); skipped"
        exit 77
    fi
}

case $kind in
desktop)
    # Any output, error, warning or hint, is a fault.
    need desktop-file-validate
    out=$(desktop-file-validate "$file" 2>&1)
    rc=$?
    [ -z "$out" ] || printf '%s\n' "$out"
    [ "$rc" -eq 0 ] && [ -z "$out" ]
    ;;
appstream)
    # Errors and warnings fail; infos and pedantic notes do not.
    need appstreamcli
    out=$(appstreamcli validate --no-net --no-color "$file" 2>&1)
    rc=$?
    printf '%s\n' "$out"
    [ "$rc" -eq 0 ] && ! printf '%s\n' "$out" | grep -q '^[EW]:'
    ;;
firewalld)
    need xmllint
    xmllint --noout "$file" || exit 1
    # firewalld reads the service's short name and its one source port.
    out=$(xmllint --xpath 'string(/service/short)' "$file")
    [ "$out" = tcpipset ] || { echo "short name is '$out'"; exit 1; }
    out=$(xmllint --xpath 'concat(/service/source-port/@protocol, " ", /service/source-port/@port)' "$file")
    [ "$out" = "udp 5001" ] || { echo "source port is '$out'"; exit 1; }
    ;;
icon)
    # A 32x32 PNG that keeps the transparent background of the window's picture.
    need identify
    out=$(identify -format '%m %wx%h opaque=%[opaque]' "$file" 2>&1)
    echo "$out"
    [ "$out" = "PNG 32x32 opaque=False" ] || [ "$out" = "PNG 32x32 opaque=false" ]
    ;;
*)
    echo "usage: check.sh desktop|appstream|firewalld|icon FILE" >&2
    exit 2
    ;;
esac
