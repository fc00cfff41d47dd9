#!/usr/bin/env bash
# check-catalogues.sh SOURCE_DIR XGETTEXT ARGS...: the catalogue agrees with the sources.
set -euo pipefail
source_dir=$1 xgettext=$2
shift 2
cd "$source_dir"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

mapfile -t potfiles < <(grep -v '^#' po/POTFILES | grep .)

# Every source that marks a text is read by xgettext; a file it does not read would keep
# its texts out of every language.
while read -r file; do
    printf '%s\n' "${potfiles[@]}" | grep -qxF "$file" ||
        fail "$file marks texts but po/POTFILES does not name it"
done < <(git ls-files '*.cpp' '*.h' | grep -v '^tests/' | grep -v '^i18n/' |
         xargs grep -lE '\b(Tr|TrN|Mark|MarkN)\("' || true)

# The texts a person reads are English in the sources; their Japanese lives in po/ja.po.
if hits=$(git ls-files '*.cpp' '*.h' | grep -v '^tests/' |
          xargs grep -nP '[\x{3000}-\x{30ff}\x{4e00}-\x{9fff}\x{ff00}-\x{ffef}]'); then
    fail "Japanese in the sources, outside the catalogue:"$'\n'"$hits"
fi

# The template as xgettext makes it from the sources now, but for its date.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$xgettext" "$@" -o "$scratch/tcpipset.pot" "${potfiles[@]}"
if ! diff -u <(grep -v '^"POT-Creation-Date' po/tcpipset.pot) \
             <(grep -v '^"POT-Creation-Date' "$scratch/tcpipset.pot") >"$scratch/diff"; then
    fail "po/tcpipset.pot is out of date: run 'cmake --build build --target update-po'"
    head -40 "$scratch/diff" >&2
fi

for po in po/*.po; do
    msgfmt --check -o /dev/null "$po" || fail "$po does not pass msgfmt --check"
    # Every text of the template has its entry: a merge was not forgotten.
    msgcmp --use-untranslated "$po" po/tcpipset.pot || fail "$po lacks texts of the template"
    # A po file that LINGUAS does not name would never be compiled or installed.
    language=$(basename "$po" .po)
    grep -qxF "$language" po/LINGUAS || fail "$po is not named in po/LINGUAS"
done
exit "$failed"
