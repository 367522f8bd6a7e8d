#!/bin/sh
# The manual pages render as man(1) renders them without a single warning,
# name the project's version, and document every long option that their
# program's --help names; an option the page gives an item of its own is one
# --help names, and any other option a page names (in its synopsis, its
# examples) is one of the programs' or of FOREIGN. With --options, the option
# reference in the documentation names the same options as --help, in a table
# under "## PROGRAM".
#
#   man-pages.sh VERSION MANDIR [--options DOC.md] [PROGRAM...]
#
# Each PROGRAM is checked against MANDIR/<its name>.1.
set -u

version=$1
mandir=$2
shift 2
doc=
if [ "${1-}" = --options ]; then
    doc=$2
    shift 2
fi
failures=0
# Options of other commands the pages name.
FOREIGN='--restore'
known=$FOREIGN

fail()
{
    printf 'FAIL %s\n' "$*"
    failures=$((failures + 1))
}

if ! command -v man >/dev/null; then
    echo "man is not installed (Debian packages man-db and groff-base)" >&2
    exit 1
fi

for page in "$mandir"/*.1; do
    # Warnings of groff and of man itself come on standard error.
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    status=$?
    if [ "$status" -ne 0 ] || [ -n "$warnings" ]; then
        fail "$page renders with status $status and these warnings:"
        printf '%s\n' "$warnings" | sed 's/^/    /'
    fi
    if ! grep -q "^\.TH [^ ]* 1 [^ ]* \"Grantwise $version\"" "$page"; then
        fail "$page: its .TH line does not name Grantwise $version"
    fi
done

for program in "$@"; do
    name=$(basename "$program")
    page=$mandir/$name.1
    if [ ! -f "$page" ]; then
        fail "$name has no manual page $page"
        continue
    fi
    if ! help=$("$program" --help) || [ -z "$help" ]; then
        fail "$program --help failed"
        continue
    fi
    # The long options --help names in its usage lines and its option table
    # (not those of other commands its text mentions).
    options=$(printf '%s\n' "$help" | grep -oE -- "^Usage: .*|^ +$name .*|^ +-[-a-z]+(, -[-a-z]+)*" \
        | grep -oE -- '--[a-z][a-z-]*' | sort -u)
    known="$known $options"
    # The page's text with "\-" as "-".
    text=$(sed 's/\\-/-/g' "$page")
    # The options the page gives an item (the tag line of a .TP or .TQ).
    items=$(printf '%s\n' "$text" | grep -A1 -E '^\.(TP|TQ)' | grep -E '^\.(B|BI|BR|IR|I) ' \
        | grep -oE -- '--[a-z][a-z-]*' | sort -u)
    for option in $items; do
        printf '%s\n' "$options" | grep -qxF -- "$option" \
            || fail "$page has an item for $option, which $name --help does not name"
    done
    # The options the documentation's table for this program names, in its
    # first column.
    if [ -n "$doc" ]; then
        listed=$(awk -v name="## $name" '/^## / { inside = ($0 == name) } inside && /^\| *`/' "$doc" \
            | cut -d'|' -f2 | grep -oE -- '--[a-z][a-z-]*' | sort -u)
        [ -n "$listed" ] || fail "$doc has no table of options under \"## $name\""
        for option in $listed; do
            printf '%s\n' "$options" | grep -qxF -- "$option" \
                || fail "$doc lists $option for $name, which $name --help does not name"
        done
        for option in $options; do
            printf '%s\n' "$listed" | grep -qxF -- "$option" \
                || fail "$doc does not list $option, which $name --help names"
        done
    fi
    for option in $options; do
        printf '%s\n' "$text" | grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" \
            || fail "$page does not document $option, which $name --help names"
        # An item of its own: the tag line of a .TP or .TQ names it, so that
        # no option's text runs into another's paragraph.
        printf '%s\n' "$text" | grep -A1 -E '^\.(TP|TQ)' \
            | grep -qE -- "^\.(B|BI|BR|IR|I) (.*[^a-z-])?$option([^a-z-]|\$)" \
            || [ "$option" = --help ] || [ "$option" = --version ] \
            || fail "$page has no item of its own for $option"
    done
done

# With every program's options known: the options each page names anywhere.
if [ $# -gt 0 ]; then
    for page in "$mandir"/*.1; do
        for option in $(sed 's/\\-/-/g' "$page" | grep -oE -- '(^|[^a-z-])--[a-z][a-z-]*' | grep -oE -- '--.*' | sort -u); do
            printf '%s\n' $known | grep -qxF -- "$option" \
                || fail "$page names $option, which no program's --help names"
        done
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures manual page checks failed"
    exit 1
fi
echo "manual page checks passed"
